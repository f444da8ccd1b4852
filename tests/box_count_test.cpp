#include "fractal/box_count.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <stdexcept>
#include <vector>

#include "lib/window.h"

namespace ds {
namespace {

// The branch grid of a window: one line and one column larger than the window, as in a run.
ByteGrid branch_grid(int win_size) {
    return Window(win_size).tab_fract;
}

std::vector<int> counts_of(const BoxCounts& itot, int p, int max_m) {
    const auto& row = itot[static_cast<std::size_t>(p)];
    return {row.begin(), row.begin() + max_m};
}

int total(const R2Histogram& h) {
    return std::accumulate(h.begin(), h.end(), 0);
}

struct Outcome {
    BoxCounts itot{};
    FractResult r;
    R2Histogram er0{};
    R2Histogram er1{};
};

Outcome explore(const ByteGrid& g, int win_fract) {
    const int w = kWindowSides[static_cast<std::size_t>(win_fract)];
    Outcome out;
    out.itot = count_boxes(g, box_sides(w), w, w);
    out.r = Fract_Explor(g, w, out.er0, out.er1);
    return out;
}

TEST(BoxCount, MiddleRowAndColumnOfThirteen) {
    ByteGrid row = branch_grid(13);
    ByteGrid column = branch_grid(13);
    for (int i = 0; i < 13; ++i) {
        row(6, i) = 1;
        column(i, 6) = 1;
    }
    for (const ByteGrid* g : {&row, &column}) {
        const Outcome t = explore(*g, 0);
        for (int p = 0; p < 4; ++p)
            EXPECT_EQ(counts_of(t.itot, p, 4), (std::vector<int>{12, 6, 4, 3}))
                << "placement " << p;
        EXPECT_NEAR(t.r.DF, 0.8535, 5e-5);
        EXPECT_NEAR(t.r.DF_V2, 0.8088, 5e-5);
        EXPECT_NEAR(t.r.ER_0, 0.9991, 5e-5);
        EXPECT_NEAR(t.r.ER_1, 0.9997, 5e-5);
        EXPECT_EQ(t.er0[999], 1);
        EXPECT_EQ(t.er1[1000], 1);
        EXPECT_EQ(total(t.er0), 1);
        EXPECT_EQ(total(t.er1), 1);
    }
}

TEST(BoxCount, DiagonalPlacementsDisagreeAndAreAveraged) {
    ByteGrid g = branch_grid(13);
    for (int i = 0; i < 13; ++i)
        g(i, i) = 1;
    const Outcome t = explore(g, 0);
    EXPECT_EQ(counts_of(t.itot, 0, 4), (std::vector<int>{12, 6, 4, 3}));
    EXPECT_EQ(counts_of(t.itot, 1, 4), (std::vector<int>{11, 11, 7, 5}));
    EXPECT_EQ(counts_of(t.itot, 2, 4), (std::vector<int>{11, 11, 7, 5}));
    EXPECT_EQ(counts_of(t.itot, 3, 4), (std::vector<int>{12, 6, 4, 3}));
    EXPECT_NEAR(t.r.DF, 0.6728, 5e-5);
    EXPECT_NEAR(t.r.DF_V2, 0.9044, 5e-5);
    EXPECT_NEAR(t.r.ER_0, 0.8821, 5e-5);
    EXPECT_NEAR(t.r.ER_1, 0.9998, 5e-5);
    EXPECT_EQ(t.er0[882], 1);
    EXPECT_EQ(t.er1[1000], 1);
}

TEST(BoxCount, FullWindowOfThirteen) {
    ByteGrid g = branch_grid(13);
    for (int i = 0; i < 13; ++i)
        for (int j = 0; j < 13; ++j)
            g(i, j) = 1;
    const Outcome t = explore(g, 0);
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(counts_of(t.itot, p, 4), (std::vector<int>{144, 36, 16, 9}));
    EXPECT_NEAR(t.r.DF, 1.9331, 5e-5);
    EXPECT_NEAR(t.r.DF_V2, 1.8895, 5e-5);
}

TEST(BoxCount, MiddleRowOfTwentyFive) {
    ByteGrid g = branch_grid(25);
    for (int j = 0; j < 25; ++j)
        g(12, j) = 1;
    const Outcome t = explore(g, 1);
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(counts_of(t.itot, p, 6), (std::vector<int>{24, 12, 8, 6, 4, 3}));
    EXPECT_NEAR(t.r.DF, 0.8829, 5e-5);
    EXPECT_NEAR(t.r.DF_V2, 0.8505, 5e-5);
}

TEST(BoxCount, CentreAloneHasNoDimension) {
    ByteGrid g = branch_grid(13);
    g(6, 6) = 1;
    const Outcome t = explore(g, 0);
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(counts_of(t.itot, p, 4), (std::vector<int>{1, 1, 1, 1}));
    EXPECT_LT(std::abs(t.r.DF), 1e-15);
    // Without side 1 the plain-double sums cancel less exactly (about 1.2e-15 here).
    EXPECT_LT(std::abs(t.r.DF_V2), 1e-14);
    EXPECT_EQ(t.r.ER_0, 0.0);
    EXPECT_EQ(t.r.ER_1, 0.0);
    EXPECT_EQ(t.er0[0], 1);
    EXPECT_EQ(t.er1[0], 1);
}

TEST(BoxCount, OnlyCellsEqualToOneOccupyABox) {
    // Every other value, isolated pixels (255) among them, is background.
    ByteGrid g = branch_grid(13);
    g.fill(255);
    for (int j = 0; j < 13; ++j)
        g(6, j) = 1;
    g(0, 0) = 2;
    g(12, 12) = 0;
    const Outcome t = explore(g, 0);
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(counts_of(t.itot, p, 4), (std::vector<int>{12, 6, 4, 3}));
    EXPECT_NEAR(t.r.DF, 0.8535, 5e-5);

    // The extra line and column of the grid lie outside the window and are never read.
    ByteGrid outside = branch_grid(13);
    for (int k = 0; k < 14; ++k)
        outside(13, k) = outside(k, 13) = 1;
    const BoxCounts none = count_boxes(outside, box_sides(13), 13, 13);
    for (int p = 0; p < 4; ++p)
        EXPECT_EQ(counts_of(none, p, 4), (std::vector<int>{0, 0, 0, 0}));
}

TEST(BoxCount, BorderCellsCountOnlyInThePlacementsThatCoverThem) {
    struct Case {
        int i, j;
        std::set<int> placements;  // 0 to 3 for placements 1 to 4
    };
    const std::vector<Case> cases = {
        {0, 6, {0, 1}}, {12, 6, {2, 3}}, {6, 0, {0, 2}}, {6, 12, {1, 3}},
        {0, 0, {0}},    {0, 12, {1}},    {12, 0, {2}},   {12, 12, {3}},
    };
    for (const Case& c : cases) {
        ByteGrid g = branch_grid(13);
        g(c.i, c.j) = 1;
        const BoxCounts itot = count_boxes(g, box_sides(13), 13, 13);
        for (int p = 0; p < 4; ++p) {
            const int expected = c.placements.count(p) ? 1 : 0;
            EXPECT_EQ(counts_of(itot, p, 4), (std::vector<int>(4, expected)))
                << "cell (" << c.i << ", " << c.j << ") placement " << p + 1;
        }
    }
}

// Divisors of d below d / 2, the rule that most of the side lists follow.
std::vector<int> divisors_below_half(int d) {
    std::vector<int> out;
    for (int s = 1; s < d / 2; ++s)
        if (d % s == 0)
            out.push_back(s);
    return out;
}

TEST(BoxSides, ListsAreFixedPerWindow) {
    for (int w = 0; w < 12; ++w) {
        const int win_size = kWindowSides[static_cast<std::size_t>(w)];
        const BoxSides& s = box_sides(win_size);
        const std::vector<int> sides(s.n.begin() + 1, s.n.begin() + 1 + s.max_m);
        ASSERT_FALSE(sides.empty());
        EXPECT_EQ(sides.front(), 1) << win_size;
        for (int m = 1; m <= s.max_m; ++m) {
            const auto i = static_cast<std::size_t>(m);
            EXPECT_EQ((win_size - 1) % s.n[i], 0) << win_size << " side " << s.n[i];
            EXPECT_EQ(s.xx[i - 1], std::log(static_cast<double>(s.n[i])));
        }

        std::vector<int> rule = divisors_below_half(win_size - 1);
        if (win_size == 73) {
            EXPECT_EQ(s.max_m, 8);
            std::erase_if(rule, [](int v) { return v == 4 || v == 18; });
        } else if (win_size == 121) {
            EXPECT_EQ(s.max_m, 12);
            std::erase_if(rule, [](int v) { return v == 5 || v == 24; });
        }
        EXPECT_EQ(sides, rule) << "window " << win_size;
    }
    EXPECT_EQ(box_sides(661).max_m, 22);
    EXPECT_THROW(box_sides(14), std::out_of_range);
    EXPECT_THROW(box_sides(0), std::out_of_range);
}

TEST(BoxCount, WindowsThatDoNotFitAreRefused) {
    const ByteGrid g = branch_grid(13);
    EXPECT_THROW(count_boxes(g, box_sides(13), 15, 15), std::invalid_argument);
    // Side 3 of the window of 13 would not tile a 14-cell square.
    EXPECT_THROW(count_boxes(g, box_sides(13), 14, 14), std::invalid_argument);
    EXPECT_THROW(count_boxes(g, box_sides(25), 13, 13), std::invalid_argument);
}

TEST(BoxCount, R2ClassRoundsHalfUpToThousandths) {
    EXPECT_EQ(r2_class(0.0), 0);
    EXPECT_EQ(r2_class(0.88214), 882);
    EXPECT_EQ(r2_class(0.9995), 1000);
    EXPECT_EQ(r2_class(0.99949), 999);
    EXPECT_EQ(r2_class(1.0), 1000);
}

}  // namespace
}  // namespace ds
