// The fast first pass against the literal one on generated rasters: bit-equal TACO grid,
// fractal dimensions (sparse against dense), statistics and progress lines, for every window
// side of the menu, MNC 0 to 3, both treatments and several thread counts.
#include "analysis/first_pass_fast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/first_pass.h"
#include "lib/window.h"
#include "tests/network_gen.h"

namespace ds {
namespace {

using namespace ds::gen;

bool same_bits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Literal {
    RealGrid dtab;
    RealGrid dtab_v2;
    RealGrid dtab2;
    PassStats st;
    std::vector<int> lines;
};

Literal run_literal(const ByteGrid& tab, int win_fract, int MNC, bool fdp) {
    Literal lit{RealGrid(tab.rows(), tab.cols()),
                RealGrid(tab.rows(), tab.cols()),
                RealGrid(tab.rows(), tab.cols()),
                {},
                {}};
    lit.st = first_pass({tab, kWindowSides.at(static_cast<std::size_t>(win_fract)), MNC, fdp},
                        {lit.dtab, lit.dtab_v2, lit.dtab2},
                        [&](int line) { lit.lines.push_back(line); });
    return lit;
}

// Every difference between a fast run and the literal one, as text; empty when they agree.
std::string differences(const ByteGrid& tab, int win_fract, const Literal& lit,
                        const RealGrid& dtab2, const FdpFields& f, const PassStats& st,
                        const std::vector<int>& lines) {
    std::string out;
    const auto note = [&](const std::string& s) {
        if (out.size() < 2000)
            out += s + "\n";
    };
    const std::int64_t rows = tab.rows();
    const std::int64_t cols = tab.cols();
    if (std::memcmp(dtab2.data(), lit.dtab2.data(), sizeof(double) * rows * cols) != 0)
        for (std::int64_t r = 0; r < rows; ++r)
            for (std::int64_t c = 0; c < cols; ++c)
                if (!same_bits(dtab2(r, c), lit.dtab2(r, c)))
                    note("dtab2 (" + std::to_string(r) + ", " + std::to_string(c) + ") " +
                         std::to_string(dtab2(r, c)) + " literal " +
                         std::to_string(lit.dtab2(r, c)));

    // The positions are the processed pixels, row by row; every other pixel is 0.0.
    const int h = half_side(kWindowSides[static_cast<std::size_t>(win_fract)]);
    if (f.at.rows != rows || f.at.cols != cols ||
        f.at.row_start.size() != static_cast<std::size_t>(rows) + 1 ||
        f.dimension.size() != static_cast<std::size_t>(f.at.size()) ||
        f.dimension2.size() != static_cast<std::size_t>(f.at.size()))
        return out + "sparse field shapes\n";
    for (std::int64_t r = 0; r < rows; ++r) {
        std::int64_t k = f.at.begin(r);
        for (std::int64_t c = 0; c < cols; ++c) {
            const bool processed =
                r >= h && r < rows - h && c >= h && c < cols - h && tab(r, c) == 1;
            const bool stored = k < f.at.end(r) && f.at.col[static_cast<std::size_t>(k)] == c;
            if (processed != stored) {
                note("position (" + std::to_string(r) + ", " + std::to_string(c) + ")");
                continue;
            }
            const double v = stored ? f.dimension[static_cast<std::size_t>(k)] : 0.0;
            const double v2 = stored ? f.dimension2[static_cast<std::size_t>(k)] : 0.0;
            if (!same_bits(v, lit.dtab(r, c)) || !same_bits(v2, lit.dtab_v2(r, c)))
                note("dimensions (" + std::to_string(r) + ", " + std::to_string(c) + ") " +
                     std::to_string(v) + "/" + std::to_string(v2) + " literal " +
                     std::to_string(lit.dtab(r, c)) + "/" + std::to_string(lit.dtab_v2(r, c)));
            k += stored;
        }
        if (k != f.at.end(r))
            note("row " + std::to_string(r) + " stores more positions");
    }

    if (!same_bits(st.Min_DF, lit.st.Min_DF) || !same_bits(st.Max_DF, lit.st.Max_DF) ||
        !same_bits(st.Min_DF_V2, lit.st.Min_DF_V2) || !same_bits(st.Max_DF_V2, lit.st.Max_DF_V2))
        note("extremes");
    if (st.val_DF != lit.st.val_DF || st.val_DF_V2 != lit.st.val_DF_V2)
        note("histograms");
    if (st.tab_Er0 != lit.st.tab_Er0 || st.tab_Er1 != lit.st.tab_Er1)
        note("R2 classes");
    if (st.processed != lit.st.processed)
        note("processed " + std::to_string(st.processed) + " literal " +
             std::to_string(lit.st.processed));
    if (lines != lit.lines)
        note("progress lines");
    return out;
}

// Runs the fast pass with each thread count and compares it with the literal result.
void expect_same_as_literal(const ByteGrid& tab, int win_fract, int MNC, bool fdp,
                            std::initializer_list<int> threads, const std::string& what) {
    const Literal lit = run_literal(tab, win_fract, MNC, fdp);
    for (const int t : threads) {
        RealGrid dtab2(tab.rows(), tab.cols());
        dtab2.fill(-1.0);  // cleared by the pass
        FdpFields f;
        std::vector<int> lines;
        const PassStats st =
            first_pass_fast({tab, kWindowSides.at(static_cast<std::size_t>(win_fract)), MNC, fdp},
                            dtab2, f, t, [&](int line) { lines.push_back(line); });
        const std::string diff = differences(tab, win_fract, lit, dtab2, f, st, lines);
        EXPECT_TRUE(diff.empty()) << what << ", window "
                                  << kWindowSides[static_cast<std::size_t>(win_fract)] << ", MNC "
                                  << MNC << ", fdp " << fdp << ", threads " << t << ":\n"
                                  << diff;
    }
}

// A raster of walks, trees, blobs and lines with stray values, the network concentrated where
// the pass looks so that large windows keep the literal pass affordable.
ByteGrid make_raster(Rng& rng, int m, int extra_rows, int extra_cols, int kind) {
    const int rows = m + extra_rows;
    const int cols = m + extra_cols;
    ByteGrid g(rows, cols);
    const int ci = rows / 2;
    const int cj = cols / 2;
    const int budget = std::min(m * 3, 2500);  // network pixels near the processed pixels
    noise(g, rng, rows * cols / 200 + 2);      // drawn over by the network
    switch (kind % 4) {
        case 0:
            for (int w = 0; w < 6; ++w)
                random_walk(g, rng, ci + uniform(rng, -extra_rows, extra_rows),
                            cj + uniform(rng, -extra_cols, extra_cols), budget / 6);
            break;
        case 1:
            random_tree(g, rng, ci, cj, budget);
            random_tree(g, rng, uniform(rng, 0, rows - 1), uniform(rng, 0, cols - 1), budget / 4);
            break;
        case 2: {
            // A solid block of more than a quarter of the window, its corners cut so that no
            // cell has exactly three neighbours: meander values below 0. And a
            // dense blob in a corner.
            const int b = m / 2 + 2;
            for (int r = 0; r < b; ++r)
                for (int c = 0; c < b; ++c)
                    if ((r != 0 && r != b - 1) || (c != 0 && c != b - 1))
                        put(g, ci - b / 2 + r, cj - b / 2 + c);
            blob(g, rng, 0, 0, std::max(2, std::min(extra_rows, 12)), 0.6);
            random_walk(g, rng, 0, 0, budget / 2);
            break;
        }
        case 3:
            // Lines along and across the raster's borders and through the middle.
            line(g, 0, 0, 0, 1, cols);
            line(g, rows - 1, 0, 0, 1, cols);
            line(g, 0, 1, 1, 0, rows);
            line(g, 0, cols - 2, 1, 0, rows);
            line(g, ci, 0, 0, 1, cols);
            line(g, 0, cj, 1, 0, rows);
            line(g, ci - extra_rows / 2, cj - extra_cols / 2, 1, 1, std::min(rows, cols));
            random_walk(g, rng, ci, cj, budget / 4);
            break;
    }
    return g;
}

TEST(FirstPassFast, SmallWindowsMatchTheLiteralPassForEveryMncAndTreatment) {
    Rng rng(5150);
    for (int win_fract = 0; win_fract <= 4; ++win_fract) {
        const int m = kWindowSides[static_cast<std::size_t>(win_fract)];
        for (int kind = 0; kind < 4; ++kind) {
            const ByteGrid tab = make_raster(rng, m, 24, 30, kind);
            if (kind == 2) {
                // The block crowds the windows: some TACO values fall below 0.
                const Literal lit = run_literal(tab, win_fract, 0, false);
                EXPECT_LT(*std::min_element(lit.dtab2.data(), lit.dtab2.data() + lit.dtab2.size()),
                          0.0)
                    << "window " << m;
            }
            // Every MNC with both treatments on one raster, two pairings on the others.
            for (int MNC = 0; MNC <= 3; ++MNC)
                for (const bool fdp : {false, true})
                    if (kind == 0 || (fdp && MNC == kind) || (!fdp && MNC == (kind + 1) % 4))
                        expect_same_as_literal(tab, win_fract, MNC, fdp, {1, 2},
                                               "kind " + std::to_string(kind));
        }
    }
}

// Rasters of every kind with a few processed rows and columns; the literal pass costs about
// m^2 per pixel and more, so the largest windows get fewer of them.
void large_window_rasters(int win_fract, Rng& rng) {
    const int m = kWindowSides[static_cast<std::size_t>(win_fract)];
    const int extra = m <= 121 ? 12 : m <= 241 ? 5 : 2;
    for (int kind = 0; kind < 4; ++kind) {
        if (m >= 181 && (kind == 1 || kind == 2))
            continue;
        const ByteGrid tab = make_raster(rng, m, extra, extra + 2, kind);
        expect_same_as_literal(tab, win_fract, (win_fract + kind) % 4, true, {1, 2},
                               "kind " + std::to_string(kind));
    }
    const ByteGrid tab = make_raster(rng, m, extra, extra, 0);
    expect_same_as_literal(tab, win_fract, 1, false, {2}, "TACO alone");
    if (m >= 181 && m < 661)
        expect_same_as_literal(make_raster(rng, m, extra, extra, 1), win_fract, 3, true, {2},
                               "tree");
}

TEST(FirstPassFast, WindowsFrom73To121MatchTheLiteralPass) {
    Rng rng(8086);
    for (int win_fract = 5; win_fract <= 7; ++win_fract)
        large_window_rasters(win_fract, rng);
}

TEST(FirstPassFast, WindowsFrom181To241MatchTheLiteralPass) {
    Rng rng(8087);
    for (int win_fract = 8; win_fract <= 10; ++win_fract)
        large_window_rasters(win_fract, rng);
}

TEST(FirstPassFast, Window661MatchesTheLiteralPass) {
    Rng rng(8088);
    large_window_rasters(11, rng);
}

TEST(FirstPassFast, ProgressLinesComeInOrderWhateverTheThreads) {
    Rng rng(1);
    const ByteGrid tab = make_raster(rng, 13, 160, 20, 0);
    expect_same_as_literal(tab, 0, 1, true, {1, 2, 3, 5}, "tall raster");
    // A raster no taller than the window shows no line and processes nothing.
    const ByteGrid flat = make_raster(rng, 25, -12, 40, 3);
    expect_same_as_literal(flat, 1, 0, true, {2}, "flat raster");
}

TEST(FirstPassFast, IsolatedPixelsFallBackToTheLiteralSelection) {
    // Network pixels without a network neighbour (a raster that did not go through the
    // isolation step) select every unlabelled cell of their window in the literal pass.
    Rng rng(99);
    ByteGrid tab = make_raster(rng, 25, 20, 20, 0);
    for (int k = 0; k < 12; ++k) {
        const int r = uniform(rng, 14, 30);
        const int c = uniform(rng, 14, 30);
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc)
                tab(r + dr, c + dc) = 0;
        tab(r, c) = 1;
    }
    for (const bool fdp : {false, true})
        expect_same_as_literal(tab, 1, 2, fdp, {1, 2}, "isolated pixels");
}

TEST(FirstPassFast, RejectsATacoGridOfAnotherSize) {
    ByteGrid tab(40, 40);
    RealGrid dtab2(40, 41);
    FdpFields f;
    EXPECT_THROW(first_pass_fast({tab, 13, 1, true}, dtab2, f, 1, nullptr), std::invalid_argument);
}

}  // namespace
}  // namespace ds
