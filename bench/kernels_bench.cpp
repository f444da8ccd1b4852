// Kernels of the first pass, fast and literal, over every network pixel of a real raster
// (examples/sample_river.raw, or the raw file named by DRAINSHAPE_BENCH_RASTER with its side in
// DRAINSHAPE_BENCH_SIDE). One iteration processes every eligible pixel once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "analysis/first_pass.h"
#include "fractal/box_count.h"
#include "fractal/box_count_fast.h"
#include "lib/moving_mean_fast.h"
#include "lib/window.h"
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
    BoxCounter counter(static_cast<int>(state.range(0)));
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
            benchmark::DoNotOptimize(Fract_Explor(g, win_fract, m, m, er0, er1));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(grids.size()));
}

// A field as after the first smoothing steps: positive almost everywhere (about 1 value in 20000
// is 0), side range(2) (250 fits in cache, 1000 and 2000 do not).
RealGrid smoothing_field(std::int64_t side) {
    RealGrid src(side, side);
    std::uint64_t x = 88172645463325252ull;
    for (double& v : std::span(src.data(), static_cast<std::size_t>(src.size()))) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        v = static_cast<double>(x % 20000) / 97.0;
    }
    return src;
}

// One smoothing step between packed fields: range(0) the half side, range(1) the threads,
// range(2) the side, range(3) 1 when every row is known to be positive (the later steps), 0
// when the counts must be summed. One item is one pixel.
void BM_SmoothingStep(benchmark::State& state) {
    const int half = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const std::int64_t side = state.range(2);
    RealGrid src = smoothing_field(side);
    if (state.range(3) == 1)
        for (double& v : std::span(src.data(), static_cast<std::size_t>(src.size())))
            v += 1.0;
    std::vector<std::uint64_t> in(static_cast<std::size_t>(src.size()));
    std::vector<std::uint64_t> out(in.size());
    std::vector<std::uint8_t> in_full(static_cast<std::size_t>(side));
    std::vector<std::uint8_t> out_full(in_full.size());
    const double vmax = 20000.0 / 97.0 + 1.0;
    running::PackedField f{
        {in.data(), in_full.data(), 0, side}, side, 0, running::packing_for(vmax, half)};
    running::pack_rows(src, 0, side, f, threads);
    running::PackedField g{
        {out.data(), out_full.data(), 0, side}, side, 0, running::packing_for(vmax, half + 1)};
    for (auto _ : state) {
        running::packed_mean_step(f, half, half, side - half, g, threads);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * src.size());
}

// The bound that memory sets on a step: a copy of a field of doubles of the same size (read
// once, written once, as a step reads one field and writes the other), split over the threads.
void BM_FieldCopy(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(1));
    const std::int64_t side = state.range(2);
    const RealGrid src = smoothing_field(side);
    RealGrid dst(side, side);
    for (auto _ : state) {
#pragma omp parallel for num_threads(threads) schedule(static)
        for (std::int64_t i = 0; i < side; ++i)
            std::memcpy(dst.row(i).data(), src.row(i).data(),
                        static_cast<std::size_t>(side) * sizeof(double));
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * src.size());
}

// Window menu indices: 13, 49, 121 and 661 (the literal kernels only up to 121).
BENCHMARK(BM_SelectBranchFast)->Arg(0)->Arg(3)->Arg(7)->Arg(11)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectBranchLiteral)->Arg(0)->Arg(3)->Arg(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConfluencesFast)->Arg(0)->Arg(3)->Arg(7)->Arg(11)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxCountFast)->Arg(0)->Arg(3)->Arg(7)->Arg(11)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxCountLiteral)->Arg(0)->Arg(3)->Arg(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FieldCopy)
    ->ArgsProduct({{0}, {1, 2}, {1000, 2000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SmoothingStep)
    ->ArgsProduct({{1, 24, 60, 120, 330}, {1, 2}, {1000, 2000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace ds

BENCHMARK_MAIN();
