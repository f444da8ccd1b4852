// Kernels of the first pass, fast and literal, over every network pixel of a real raster
// (examples/sample_river.raw, or the raw file named by DRAINSHAPE_BENCH_RASTER with its side in
// DRAINSHAPE_BENCH_SIDE), one iteration processing every eligible pixel once; and the smoothing
// of that raster's TACO field, one step and all of them, beside a copy of a field of its size.
#include <benchmark/benchmark.h>

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/first_pass.h"
#include "analysis/first_pass_fast.h"
#include "fractal/box_count.h"
#include "fractal/box_count_fast.h"
#include "lib/moving_mean_fast.h"
#include "lib/window.h"
#include "network/summary.h"
#include "network/thinning.h"
#include "taco/smoothing_fast.h"
#include "taco/taco_value.h"
#include "taco/trace_fast.h"

namespace ds {
namespace {

const ByteGrid& raster() {
    static const ByteGrid tab = [] {
        const char* path = std::getenv("DRAINSHAPE_BENCH_RASTER");
        const char* side = std::getenv("DRAINSHAPE_BENCH_SIDE");
        const std::string file =
            path ? path : std::string(DRAINSHAPE_SOURCE_DIR) + "/examples/sample_river.raw";
        const int n = side ? std::atoi(side) : 400;
        ByteGrid g(n, n);
        FILE* f = std::fopen(file.c_str(), "rb");
        if (!f || std::fread(g.data(), 1, static_cast<std::size_t>(n) * n, f) !=
                      static_cast<std::size_t>(n) * n)
            throw std::runtime_error("cannot read " + file);
        std::fclose(f);
        return g;
    }();
    return tab;
}

std::vector<std::pair<int, int>> eligible(int m) {
    const ByteGrid& tab = raster();
    const int h = half_side(m);
    std::vector<std::pair<int, int>> px;
    for (int i = h; i < tab.rows() - h; ++i)
        for (int j = h; j < tab.cols() - h; ++j)
            if (tab(i, j) == 1)
                px.emplace_back(i, j);
    return px;
}

int side_of(const benchmark::State& state) {
    return kWindowSides.at(static_cast<std::size_t>(state.range(0)));
}

void BM_SelectBranchFast(benchmark::State& state) {
    const int m = side_of(state);
    const NetworkBits net(raster());
    const auto px = eligible(m);
    BranchWorkspace ws(m);
    BranchMask mask(m);
    for (auto _ : state)
        for (const auto& [i, j] : px) {
            benchmark::DoNotOptimize(select_branch_fast(net, i, j, ws, mask));
            mask.clear();
        }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(px.size()));
}

void BM_SelectBranchLiteral(benchmark::State& state) {
    const int m = side_of(state);
    const auto px = eligible(m);
    Window w(m);
    for (auto _ : state)
        for (const auto& [i, j] : px) {
            select_branch(w, raster(), i, j);
            benchmark::DoNotOptimize(w.tab_fract.data());
        }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(px.size()));
}

// The branches of every pixel, selected once.
std::vector<BranchMask> branches(int m) {
    const NetworkBits net(raster());
    BranchWorkspace ws(m);
    std::vector<BranchMask> out;
    for (const auto& [i, j] : eligible(m)) {
        out.emplace_back(m);
        select_branch_fast(net, i, j, ws, out.back());
    }
    return out;
}

void BM_ConfluencesFast(benchmark::State& state) {
    const int m = side_of(state);
    const auto all = branches(m);
    BranchWorkspace ws(m);
    for (auto _ : state)
        for (const BranchMask& b : all)
            benchmark::DoNotOptimize(count_confluences_fast(b, ws));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(all.size()));
}

void BM_BoxCountFast(benchmark::State& state) {
    const int m = side_of(state);
    const auto all = branches(m);
    BoxCounter counter(m);
    for (auto _ : state)
        for (const BranchMask& b : all)
            benchmark::DoNotOptimize(counter.fract(counter.count(b)));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(all.size()));
}

void BM_BoxCountLiteral(benchmark::State& state) {
    const int m = side_of(state);
    const auto all = branches(m);
    const int win_fract = static_cast<int>(state.range(0));
    std::vector<ByteGrid> grids;
    for (const BranchMask& b : all) {
        ByteGrid g = Window(m).tab_fract;
        for (int r = 0; r < m; ++r)
            for (int c = 0; c < m; ++c)
                g(r, c) = b.test(r, c);
        grids.push_back(std::move(g));
    }
    R2Histogram er0{};
    R2Histogram er1{};
    for (auto _ : state)
        for (const ByteGrid& g : grids)
            benchmark::DoNotOptimize(Fract_Explor(g, m, er0, er1));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(grids.size()));
}

// The TACO field of the raster for an analysis window (menu index), from the fast first pass.
const RealGrid& taco_field(int win_fract) {
    static std::vector<std::unique_ptr<RealGrid>> fields(kWindowSides.size());
    auto& f = fields.at(static_cast<std::size_t>(win_fract));
    if (!f) {
        f = std::make_unique<RealGrid>(raster().rows(), raster().cols());
        FdpFields unused;
        first_pass_fast({raster(), kWindowSides.at(static_cast<std::size_t>(win_fract)), 1, false},
                        *f, unused, 2, {});
    }
    return *f;
}

// The field that smoothing step `half` reads: synthetic (0: positive everywhere, as in the later
// steps; 1: about 1 value in 20000 is 0, scattered, so that most windows near one must be
// counted) or real (2: the TACO field of the raster for the window of 49, smoothed by the steps
// before), packed for that step, its frame of zeros known.
struct StepField {
    std::vector<std::uint64_t> cells;
    std::vector<std::uint8_t> full;
    running::PackedField field;
};

StepField step_field(int half, int kind, double& vmax) {
    const std::int64_t rows = raster().rows();
    const std::int64_t cols = raster().cols();
    RealGrid src(rows, cols);
    std::int64_t border = 0;
    if (kind == 2) {
        src = taco_field(3);
        RealGrid scratch(rows, cols);
        progressive_smoothing_fast(src, scratch, 2 * half - 1, 2, {});
        border = half - 1;
    } else {
        std::uint64_t x = 88172645463325252ull;
        for (double& v : std::span(src.data(), static_cast<std::size_t>(src.size()))) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            v = static_cast<double>(x % 20000) / 97.0 + (kind == 0 ? 1.0 : 0.0);
        }
    }
    vmax = 0.0;
    for (std::int64_t i = 0; i < src.size(); ++i)
        vmax = std::max(vmax, src.data()[i]);
    StepField s{std::vector<std::uint64_t>(static_cast<std::size_t>(src.size())),
                std::vector<std::uint8_t>(static_cast<std::size_t>(rows)),
                {}};
    s.field = {
        {s.cells.data(), s.full.data(), 0, cols}, rows, border, running::packing_for(vmax, half)};
    running::pack_rows(src, 0, rows, s.field, 2);
    return s;
}

// One smoothing step between packed fields of the raster's size: range(0) the half side,
// range(1) the threads, range(2) the field (step_field). One item is one pixel.
void BM_SmoothingStep(benchmark::State& state) {
    const int half = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    double vmax = 0.0;
    const StepField in = step_field(half, static_cast<int>(state.range(2)), vmax);
    const std::int64_t rows = in.field.raster_rows;
    StepField out{
        std::vector<std::uint64_t>(in.cells.size()), std::vector<std::uint8_t>(in.full.size()), {}};
    out.field = {{out.cells.data(), out.full.data(), 0, in.field.rows.cols},
                 rows,
                 0,
                 running::packing_for(vmax, half + 1)};
    for (auto _ : state) {
        running::packed_mean_step(in.field, half, half, rows - half, out.field, threads);
        benchmark::DoNotOptimize(out.cells.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.cells.size()));
}

// The bound that memory sets on a step: a copy of a field of doubles of the raster's size (read
// once and written once, as a step reads one field and writes the other), split over range(1)
// threads.
void BM_FieldCopy(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(1));
    const RealGrid src = taco_field(3);
    RealGrid dst(src.rows(), src.cols());
    for (auto _ : state) {
#pragma omp parallel for num_threads(threads) schedule(static)
        for (std::int64_t i = 0; i < src.rows(); ++i)
            std::memcpy(dst.row(i).data(), src.row(i).data(),
                        static_cast<std::size_t>(src.cols()) * sizeof(double));
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * src.size());
}

// The whole progressive smoothing of the raster's TACO field, analysis and regional windows of
// the same side (menu index range(0)), range(1) threads, the steps chained down the rows where
// a run chains them (range(2) = 1) or each over the whole raster in turn (0). One item is one
// pixel of one step.
void BM_ProgressiveSmoothing(benchmark::State& state) {
    const int win_fract = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    set_chain_cache(state.range(2) == 1 ? 0 : std::numeric_limits<std::int64_t>::max());
    const int slid_win = kWindowSides.at(static_cast<std::size_t>(win_fract));
    const RealGrid& field = taco_field(win_fract);
    RealGrid dtab2(field.rows(), field.cols());
    RealGrid dtab3(field.rows(), field.cols());
    for (auto _ : state) {
        state.PauseTiming();
        dtab2 = field;
        state.ResumeTiming();
        progressive_smoothing_fast(dtab2, dtab3, slid_win, threads, {});
        benchmark::DoNotOptimize(dtab3.data());
    }
    set_chain_cache(0);
    state.SetItemsProcessed(state.iterations() * field.size() * half_side(slid_win));
}

// The check that `drainshape run` makes of every river (one pass), the whole summary of
// `drainshape check`, and the thinning of a raster that is already one pixel wide (one pass
// that finds nothing to remove).
void BM_CountRedundant(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(count_redundant(raster()));
    state.SetItemsProcessed(state.iterations() * raster().size());
}

void BM_SummarizeNetwork(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(summarize_network(raster()));
    state.SetItemsProcessed(state.iterations() * raster().size());
}

void BM_ThinNetwork(benchmark::State& state) {
    for (auto _ : state) {
        ByteGrid g = raster();
        benchmark::DoNotOptimize(thin_network(g));
    }
    state.SetItemsProcessed(state.iterations() * raster().size());
}

BENCHMARK(BM_CountRedundant)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SummarizeNetwork)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThinNetwork)->Unit(benchmark::kMillisecond);

// Window menu indices: 13, 49, 121 and 661 (the literal kernels only up to 121).
BENCHMARK(BM_SelectBranchFast)->Arg(0)->Arg(3)->Arg(7)->Arg(11)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectBranchLiteral)->Arg(0)->Arg(3)->Arg(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConfluencesFast)->Arg(0)->Arg(3)->Arg(7)->Arg(11)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxCountFast)->Arg(0)->Arg(3)->Arg(7)->Arg(11)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxCountLiteral)->Arg(0)->Arg(3)->Arg(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldCopy)->ArgsProduct({{0}, {1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SmoothingStep)
    ->ArgsProduct({{1, 12, 24, 60}, {1, 2}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ProgressiveSmoothing)
    ->ArgsProduct({{3, 7}, {1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace ds

BENCHMARK_MAIN();
