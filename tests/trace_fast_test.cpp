// The fast kernels of the first pass against their literal twins: branch selection (cut window,
// suiv_formes, centre label), confluence count and box counting, on generated windows of every
// side of the menu.
#include "taco/trace_fast.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "analysis/first_pass.h"
#include "fractal/box_count.h"
#include "fractal/box_count_fast.h"
#include "lib/window.h"
#include "taco/taco_value.h"
#include "tests/network_gen.h"

namespace ds {
namespace {

using namespace ds::gen;

enum class Scene { Tree, Walks, Blob, BorderLines, Row0Comb, Column0Comb, Crowded };
constexpr Scene kScenes[] = {Scene::Tree,     Scene::Walks,       Scene::Blob,   Scene::BorderLines,
                             Scene::Row0Comb, Scene::Column0Comb, Scene::Crowded};

const char* name(Scene s) {
    switch (s) {
        case Scene::Tree:
            return "tree";
        case Scene::Walks:
            return "walks";
        case Scene::Blob:
            return "blob";
        case Scene::BorderLines:
            return "border lines";
        case Scene::Row0Comb:
            return "row-0 comb";
        case Scene::Column0Comb:
            return "column-0 comb";
        case Scene::Crowded:
            return "crowded";
    }
    return "?";
}

// Teeth hanging from row 0 (or from column 0 when `transpose`), with gaps between them and
// short bars in rows 1 and 2, so that row-0 seeds meet several components at once.
void comb(ByteGrid& g, Rng& rng, int top, int left, int m, bool transpose) {
    const auto at = [&](int r, int c) {
        if (transpose)
            put(g, top + c, left + r);
        else
            put(g, top + r, left + c);
    };
    const int h = half_side(m);
    for (int c = 0; c < m; c += uniform(rng, 1, 3)) {
        const int from = uniform(rng, 0, 1);
        const int len = uniform(rng, 1, std::max(2, h + 2));
        for (int r = from; r < from + len && r < m; ++r)
            at(r, c);
        if (uniform(rng, 0, 3) == 0)
            at(uniform(rng, 1, 2), c + uniform(rng, -1, 1));
    }
    // A stem from the centre up to the teeth, leaning to one side now and then.
    int c = h;
    for (int r = h; r >= 0; --r) {
        at(r, c);
        c = std::clamp(c + uniform(rng, -1, 1) * (uniform(rng, 0, 2) == 0), 0, m - 1);
    }
}

// Paints one scene into the window of side m whose cell (0, 0) is image cell (top, left).
void paint(ByteGrid& g, Rng& rng, Scene s, int m, int top, int left) {
    const int h = half_side(m);
    const int ci = top + h;
    const int cj = left + h;
    switch (s) {
        case Scene::Tree:
            random_tree(g, rng, ci, cj, uniform(rng, 2, std::min(3 * m, 1500)));
            break;
        case Scene::Walks:
            random_walk(g, rng, ci, cj, uniform(rng, m / 2, 2 * m));
            for (int w = uniform(rng, 0, 4); w > 0; --w)
                random_walk(g, rng, top + uniform(rng, 0, m - 1), left + uniform(rng, 0, m - 1),
                            uniform(rng, 2, m));
            break;
        case Scene::Blob:
            blob(g, rng, ci, cj, uniform(rng, 2, std::max(2, std::min(h, 25))),
                 uniform(rng, 20, 70) / 100.0);
            break;
        case Scene::BorderLines: {
            // Lines along and across the window's first and last rows and columns, and one
            // through the centre that runs out of the window.
            const int k = uniform(rng, 0, 7);
            const int along[4] = {0, 1, m - 2, m - 1};
            line(g, top + along[k % 4], left - 2, 0, 1, m + 4);
            line(g, top - 2, left + along[(k + 1) % 4], 1, 0, m + 4);
            if (k >= 4)
                line(g, top - 2, left - 2, 1, 1, m + 4);
            line(g, ci, cj, uniform(rng, -1, 1), k % 2 == 0 ? -1 : 1, m);
            random_walk(g, rng, ci, cj, uniform(rng, 2, m));
            break;
        }
        case Scene::Row0Comb:
            comb(g, rng, top, left, m, false);
            break;
        case Scene::Column0Comb:
            comb(g, rng, top, left, m, true);
            break;
        case Scene::Crowded: {
            std::bernoulli_distribution on(uniform(rng, 40, 90) / 100.0);
            const int reach = std::min(h, 30);
            for (int r = ci - reach; r <= ci + reach; ++r)
                for (int c = cj - reach; c <= cj + reach; ++c)
                    if (on(rng))
                        put(g, r, c);
            break;
        }
    }
    // The pass only visits network pixels with a network neighbour.
    put(g, ci, cj);
    put(g, ci, cj + (uniform(rng, 0, 1) == 0 ? 1 : -1));
}

// How many windows of each side, within the time the literal tracing allows.
int trials_for(int m) {
    if (m <= 61)
        return 40;
    if (m <= 121)
        return 8;
    if (m <= 241)
        return 3;
    return 1;
}

::testing::AssertionResult same_cells(const BranchMask& fast, const ByteGrid& tab_fract, int m) {
    int count = 0;
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c) {
            const bool want = tab_fract(r, c) == 1;
            count += want;
            if (fast.test(r, c) != want)
                return ::testing::AssertionFailure()
                       << "cell (" << r << ", " << c << ") literal " << want;
        }
    if (fast.size() != count)
        return ::testing::AssertionFailure() << "size " << fast.size() << ", literal " << count;
    return ::testing::AssertionSuccess();
}

void fill_mask(BranchMask& mask, const ByteGrid& g, int m) {
    mask.clear();
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c)
            if (g(r, c) == 1)
                mask.set(r, c);
}

// Literal selections of generated windows, one image per window, the pixel's window placed
// anywhere from the image's corner to a few cells inside it.
TEST(FastBranch, SelectionMatchesTheLiteralTraceOnEveryWindowSide) {
    Rng rng(20240601);
    for (const int m : kWindowSides) {
        BranchWorkspace ws(m);
        BranchMask mask(m);
        Window w(m);
        int through_row0 = 0;  // branches seeded in row 0 or column 0
        int large = 0;         // branches of more than m cells
        for (const Scene s : kScenes)
            for (int t = 0; t < trials_for(m); ++t) {
                const int top = uniform(rng, 0, 3);
                const int left = uniform(rng, 0, 3);
                ByteGrid img(m + top + uniform(rng, 0, 3), m + left + uniform(rng, 0, 3));
                noise(img, rng, m / 4);
                paint(img, rng, s, m, top, left);
                const int i = top + half_side(m);
                const int j = left + half_side(m);

                select_branch(w, img, i, j);
                mask.clear();
                ASSERT_TRUE(select_branch_fast(NetworkBits(img), i, j, ws, mask));
                ASSERT_TRUE(same_cells(mask, w.tab_fract, m))
                    << "window " << m << ", " << name(s) << ", trial " << t;
                bool edge = false;
                for (int k = 0; k < m - 1; ++k)
                    edge = edge || mask.test(0, k) || mask.test(k, 0);
                through_row0 += edge;
                large += mask.size() > m;
            }
        // The scenes reach the cases that matter, for every side.
        EXPECT_GT(through_row0, 0) << "window " << m;
        EXPECT_GT(large, 0) << "window " << m;
    }
}

TEST(FastBranch, ARow0SeedTakesEveryComponentWhoseFirstEventItIs) {
    // The seed (0, 5) reaches the centre's stem through (1, 6) and a second stem through
    // (1, 4); (1, 5) is empty, so the two are separate components.
    const int m = 13;
    ByteGrid img(m, m);
    line(img, 1, 6, 1, 0, 6);  // column 6, rows 1 to 6: the centre's stem
    line(img, 1, 4, 1, 0, 4);  // column 4, rows 1 to 4
    img(0, 5) = 1;
    img(6, 7) = 1;

    BranchWorkspace ws(m);
    BranchMask mask(m);
    Window w(m);
    select_branch(w, img, 6, 6);
    ASSERT_TRUE(select_branch_fast(NetworkBits(img), 6, 6, ws, mask));
    EXPECT_TRUE(same_cells(mask, w.tab_fract, m));
    EXPECT_TRUE(mask.test(0, 5));
    EXPECT_TRUE(mask.test(4, 4));
    EXPECT_EQ(mask.size(), 1 + 6 + 4 + 1);

    // An earlier row-0 pixel, (0, 3), now seeds the second stem first: the seed (0, 5) takes
    // only itself and the centre's stem.
    img(0, 3) = 1;
    select_branch(w, img, 6, 6);
    mask.clear();
    ASSERT_TRUE(select_branch_fast(NetworkBits(img), 6, 6, ws, mask));
    EXPECT_TRUE(same_cells(mask, w.tab_fract, m));
    EXPECT_FALSE(mask.test(4, 4));
    EXPECT_EQ(mask.size(), 1 + 6 + 1);
}

TEST(FastBranch, CentreWithoutNetworkNeighbourIsLeftToTheLiteralSelection) {
    const int m = 25;
    ByteGrid img(m + 4, m + 4);
    line(img, 0, 0, 1, 1, m + 4);  // a diagonal that misses the centre by one column
    const int i = 2 + half_side(m);
    const int j = 2 + half_side(m) + 2;
    img(i, j) = 1;
    img(i, j - 1) = 0;
    img(i + 1, j - 1) = 0;
    img(i - 1, j - 1) = 0;

    BranchWorkspace ws(m);
    BranchMask mask(m);
    EXPECT_FALSE(select_branch_fast(NetworkBits(img), i, j, ws, mask));
    EXPECT_EQ(mask.size(), 0);
    EXPECT_GT(mask.first_row(), mask.last_row());
    // The same workspace then serves the next pixel normally.
    img(i, j + 1) = 1;
    Window w(m);
    select_branch(w, img, i, j);
    ASSERT_TRUE(select_branch_fast(NetworkBits(img), i, j, ws, mask));
    EXPECT_TRUE(same_cells(mask, w.tab_fract, m));
}

// Random cell sets, not only traced branches: every cell of the window may be on, the border
// rings included.
ByteGrid random_cells(Rng& rng, int m) {
    ByteGrid g(m + 1, m + 1);  // as tab_fract: one line and one column more
    const int kind = uniform(rng, 0, 3);
    if (kind == 0) {
        std::bernoulli_distribution on(uniform(rng, 1, 90) / 100.0);
        for (int r = 0; r < m; ++r)
            for (int c = 0; c < m; ++c)
                g(r, c) = on(rng);
    } else if (kind == 1) {
        random_tree(g, rng, uniform(rng, 0, m - 1), uniform(rng, 0, m - 1),
                    uniform(rng, 1, std::min(4 * m, 3000)));
    } else if (kind == 2) {
        for (int w = uniform(rng, 1, 5); w > 0; --w)
            random_walk(g, rng, uniform(rng, 0, m - 1), uniform(rng, 0, m - 1),
                        uniform(rng, 1, 2 * m));
    } else {
        line(g, uniform(rng, 0, m - 1), 0, 0, 1, m);
        line(g, 0, uniform(rng, 0, m - 1), 1, 0, m);
        line(g, 0, 0, 1, 1, m);
    }
    // Keep the extra line and column empty: they are not part of the window.
    for (int k = 0; k <= m; ++k) {
        g(m, k) = 0;
        g(k, m) = 0;
    }
    return g;
}

TEST(FastConfluences, MatchTheLiteralCountWithItsMarking) {
    Rng rng(77);
    for (const int m : kWindowSides) {
        BranchWorkspace ws(m);
        BranchMask mask(m);
        const int trials = m <= 121 ? 60 : 10;
        for (int t = 0; t < trials; ++t) {
            const ByteGrid g = random_cells(rng, m);
            fill_mask(mask, g, m);
            ByteGrid tab_in = g;
            const int literal = count_confluences(tab_in, m, m);
            ASSERT_EQ(count_confluences_fast(mask, ws), literal)
                << "window " << m << ", trial " << t;
            // The mask is read only; the workspace's marks are gone for the next call.
            ASSERT_EQ(count_confluences_fast(mask, ws), literal);
        }
    }
}

TEST(FastConfluences, AMarkedCellStopsCountingForLaterCells) {
    // (5, 5) has three neighbours and is marked; (5, 6), visited next, would have three too
    // but sees only two. (9, 9) is marked; (9, 10) has four neighbours, one of them (9, 9),
    // and counts three.
    const int m = 13;
    ByteGrid g(m, m);
    for (const auto& [r, c] : std::vector<std::pair<int, int>>{{4, 4},
                                                               {4, 6},
                                                               {5, 5},
                                                               {5, 6},
                                                               {6, 7},
                                                               {8, 8},
                                                               {8, 11},
                                                               {9, 9},
                                                               {9, 10},
                                                               {9, 11},
                                                               {10, 8},
                                                               {10, 11}})
        g(r, c) = 1;
    BranchWorkspace ws(m);
    BranchMask mask(m);
    fill_mask(mask, g, m);
    ByteGrid tab_in = g;
    ASSERT_EQ(count_confluences(tab_in, m, m), 3);
    EXPECT_EQ(tab_in(5, 5), 2);
    EXPECT_EQ(tab_in(5, 6), 1);
    EXPECT_EQ(tab_in(9, 10), 2);
    EXPECT_EQ(count_confluences_fast(mask, ws), 3);
}

TEST(FastBoxCounts, MatchTheLiteralCountsOnEverySideAndPlacement) {
    Rng rng(4242);
    for (int win_fract = 0; win_fract < 12; ++win_fract) {
        const int m = kWindowSides[static_cast<std::size_t>(win_fract)];
        const BoxSides& sides = box_sides(m);
        BoxCounter counter(m);
        BranchMask mask(m);
        const int trials = m <= 61 ? 60 : m <= 121 ? 25 : m <= 241 ? 6 : 3;
        for (int t = 0; t < trials; ++t) {
            const ByteGrid g = random_cells(rng, m);
            fill_mask(mask, g, m);
            const BoxCounts literal = count_boxes(g, sides, m, m);
            const BoxCounts fast = counter.count(mask);
            for (int p = 0; p < 4; ++p)
                for (int k = 0; k < sides.max_m; ++k)
                    ASSERT_EQ(fast[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)],
                              literal[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)])
                        << "window " << m << ", trial " << t << ", placement " << p << ", side "
                        << sides.n[static_cast<std::size_t>(k) + 1];
            // The same dimensions to the last bit, whichever way the logarithms come.
            const FractResult a = counter.fract(fast);
            const FractResult b = fract_from_counts(sides, literal);
            ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "window " << m << ", trial " << t;
        }
    }
}

TEST(FastBoxCounts, EmptyAndSingleCellWindows) {
    for (int win_fract : {0, 7, 11}) {
        const int m = kWindowSides[static_cast<std::size_t>(win_fract)];
        BoxCounter counter(m);
        BranchMask mask(m);
        ByteGrid g(m + 1, m + 1);
        EXPECT_EQ(counter.count(mask), count_boxes(g, box_sides(m), m, m));
        // Each corner is in exactly one placement's square.
        for (const auto& [r, c] :
             std::vector<std::pair<int, int>>{{0, 0}, {0, m - 1}, {m - 1, 0}, {m - 1, m - 1}}) {
            mask.clear();
            mask.set(r, c);
            g.fill(0);
            g(r, c) = 1;
            EXPECT_EQ(counter.count(mask), count_boxes(g, box_sides(m), m, m))
                << "window " << m << ", corner (" << r << ", " << c << ")";
        }
    }
}

TEST(BranchMask, CellsComeInRowMajorOrderAndClearingEmptiesIt) {
    const int m = 121;  // two words per row
    BranchMask mask(m);
    const std::vector<WindowCell> in = {{7, 100}, {3, 64}, {7, 2}, {3, 63}, {120, 120}, {3, 63}};
    for (const WindowCell& x : in)
        mask.set(x.r, x.c);
    EXPECT_EQ(mask.size(), 5);
    EXPECT_EQ(mask.first_row(), 3);
    EXPECT_EQ(mask.last_row(), 120);
    std::vector<WindowCell> out;
    mask.cells(out);
    const std::vector<WindowCell> want = {{3, 63}, {3, 64}, {7, 2}, {7, 100}, {120, 120}};
    EXPECT_EQ(out, want);
    mask.reset(7, 2);
    EXPECT_FALSE(mask.test(7, 2));
    EXPECT_EQ(mask.size(), 4);
    mask.clear();
    EXPECT_EQ(mask.size(), 0);
    for (const WindowCell& x : want)
        EXPECT_FALSE(mask.test(x.r, x.c));
}

}  // namespace
}  // namespace ds
