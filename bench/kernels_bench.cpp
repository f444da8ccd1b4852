// Kernels of the first pass, fast and literal, over every network pixel of a real raster
// (examples/sample_river.raw, or the raw file named by DRAINSHAPE_BENCH_RASTER with its side in
// DRAINSHAPE_BENCH_SIDE). One iteration processes every eligible pixel once.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
#include "network/summary.h"
#include "network/thinning.h"
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

// One smoothing step (running mean of the positive values) over a square field that is
// positive almost everywhere, as after the first steps: range(0) the half side, range(1) the
// threads, range(2) the side (250 fits in cache, 1000 does not). One item is one pixel.
void BM_RunningMean(benchmark::State& state) {
    const int half = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const std::int64_t side = state.range(2);
    RealGrid src(side, side);
    RealGrid dst(side, side);
    std::uint64_t x = 88172645463325252ull;
    for (double& v : std::span(src.data(), static_cast<std::size_t>(src.size()))) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        v = static_cast<double>(x % 20000) / 97.0;  // about 1 in 20000 is 0
    }
    for (auto _ : state) {
        running_positive_mean(src, half, dst, threads);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(state.iterations() * src.size());
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
BENCHMARK(BM_RunningMean)
    ->ArgsProduct({{1, 24, 60, 80, 100, 120, 330}, {1, 2}, {1000}})
    ->Args({1, 1, 250})
    ->Args({1, 2, 250})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace ds

BENCHMARK_MAIN();
