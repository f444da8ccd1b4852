#include "taco/taco_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ds {
namespace {

using Cell = std::pair<int, int>;

void hline(ByteGrid& g, int row, int c0, int c1) {
    for (int c = c0; c <= c1; ++c)
        g(row, c) = 1;
}
void vline(ByteGrid& g, int col, int r0, int r1) {
    for (int r = r0; r <= r1; ++r)
        g(r, col) = 1;
}
// `count` pixels from (r, c) on, one step (dr, dc) apart.
void ray(ByteGrid& g, int r, int c, int dr, int dc, int count) {
    for (int s = 0; s < count; ++s)
        g(r + s * dr, c + s * dc) = 1;
}

std::string six(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

int ones(const ByteGrid& g, int m) {
    int n = 0;
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c)
            n += g(r, c) == 1;
    return n;
}

// The cells that the count marks as confluences, on a copy of the window's m x m block.
std::vector<Cell> confluence_cells(const ByteGrid& g, int m) {
    ByteGrid copy(m, m);
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c)
            copy(r, c) = g(r, c);
    count_confluences(copy, m, m);
    std::vector<Cell> cells;
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c)
            if (copy(r, c) == 2)
                cells.emplace_back(r, c);
    return cells;
}

bool same_block(const ByteGrid& a, const ByteGrid& b, int m) {
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c)
            if (a(r, c) != b(r, c))
                return false;
    return true;
}

// Value stored for the branch drawn in `w.tab_fract`, the pixel being (4, 7) of a 9 x 11 image.
double stored_value(Window& w, int MNC) {
    RealGrid dtab2(9, 11);
    EXPECT_TRUE(New_Vosmek_Treatment(w, 4, 7, MNC, dtab2));
    return dtab2(4, 7);
}

struct WorkedRow {
    const char* branch;
    std::function<void(ByteGrid&)> draw;
    int L;
    std::vector<Cell> confluences;
    std::string r_dendritic;  // for MNC = 0
    std::string r_meander;    // once Nc <= MNC
};

void staircase(ByteGrid& g) {
    int r = 10;
    int c = 2;
    g(r, c) = 1;
    for (int step = 0; step < 16; ++step) {
        if (step % 2 == 0)
            ++c;
        else
            --r;
        g(r, c) = 1;
    }
}

const std::vector<WorkedRow>& worked_rows() {
    static const std::vector<WorkedRow> rows = {
        {"straight", [](ByteGrid& g) { hline(g, 6, 2, 10); }, 9, {}, "78.699053", "78.699053"},
        {"T",
         [](ByteGrid& g) {
             hline(g, 6, 2, 10);
             vline(g, 6, 7, 10);
         },
         13,
         {{6, 5}, {6, 7}},
         "166.666667",
         "69.231598"},
        {"Y",
         [](ByteGrid& g) {
             vline(g, 6, 2, 6);
             ray(g, 7, 5, 1, -1, 4);
             ray(g, 7, 7, 1, 1, 4);
         },
         13,
         {{6, 6}},
         "150.000000",
         "69.231598"},
        {"plus",
         [](ByteGrid& g) {
             hline(g, 6, 2, 10);
             vline(g, 6, 2, 10);
         },
         17,
         {},
         "59.764142",
         "59.764142"},
        {"bend",
         [](ByteGrid& g) {
             hline(g, 6, 2, 6);
             vline(g, 6, 7, 10);
         },
         9,
         {{6, 5}},
         "165.384615",
         "78.699053"},
        {"staircase",
         staircase,
         17,
         {{3, 10}, {4, 9}, {5, 8}, {6, 7}, {7, 6}, {8, 5}, {9, 4}},
         "183.653846",
         ""},  // never a meander: Nc exceeds every accepted MNC
    };
    return rows;
}

TEST(NewVosmekTreatment, WorkedValuesForTheSmallestWindow) {
    for (const WorkedRow& row : worked_rows()) {
        SCOPED_TRACE(row.branch);
        Window w(13);
        row.draw(w.tab_fract);
        ASSERT_EQ(ones(w.tab_fract, 13), row.L);
        ASSERT_EQ(confluence_cells(w.tab_fract, 13), row.confluences);
        const int Nc = static_cast<int>(row.confluences.size());
        for (int MNC = 0; MNC <= 3; ++MNC) {
            SCOPED_TRACE(testing::Message() << "MNC " << MNC);
            const bool meander = Nc <= MNC;
            EXPECT_EQ(six(stored_value(w, MNC)), meander ? row.r_meander : row.r_dendritic);
            // The working copy ends equal to the selection, marks undone.
            EXPECT_TRUE(same_block(w.tab_in, w.tab_fract, 13));
        }
    }
}

TEST(NewVosmekTreatment, WritesExactlyOneCellAndLeavesTheSelection) {
    Window w(13);
    hline(w.tab_fract, 6, 2, 10);
    vline(w.tab_fract, 6, 7, 10);
    const ByteGrid selection = w.tab_fract;
    RealGrid dtab2(9, 11);
    dtab2.fill(-7.5);
    ASSERT_TRUE(New_Vosmek_Treatment(w, 8, 0, 0, dtab2));
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 11; ++c)
            if (r != 8 || c != 0) {
                EXPECT_EQ(dtab2(r, c), -7.5) << r << "," << c;
            }
    EXPECT_EQ(six(dtab2(8, 0)), "166.666667");
    EXPECT_EQ(w.tab_fract, selection);
    EXPECT_TRUE(same_block(w.tab_in, selection, 13));
}

TEST(NewVosmekTreatment, CentreOffTheBranchStoresNothing) {
    Window w(13);
    hline(w.tab_fract, 5, 2, 10);  // one row above the centre
    w.tab_in.fill(1);              // stale content of an earlier call
    RealGrid dtab2(9, 11);
    dtab2.fill(3.25);
    EXPECT_FALSE(New_Vosmek_Treatment(w, 4, 7, 0, dtab2));
    EXPECT_EQ(dtab2, [] {
        RealGrid g(9, 11);
        g.fill(3.25);
        return g;
    }());
    EXPECT_TRUE(same_block(w.tab_in, w.tab_fract, 13));
}

TEST(NewVosmekTreatment, OutermostRingCountsInLengthButIsNeverAConfluence) {
    // A T whose bar lies in row 0: its two junction cells are in the ring and not visited.
    Window top(13);
    hline(top.tab_fract, 0, 3, 9);
    vline(top.tab_fract, 6, 1, 6);
    EXPECT_TRUE(confluence_cells(top.tab_fract, 13).empty());
    EXPECT_EQ(stored_value(top, 0), taco_value(13, 0, 13, 0));
    // One row lower, the same bar has its two confluences.
    Window lower(13);
    hline(lower.tab_fract, 1, 3, 9);
    vline(lower.tab_fract, 6, 2, 6);
    EXPECT_EQ(confluence_cells(lower.tab_fract, 13), (std::vector<Cell>{{1, 5}, {1, 7}}));

    // Ring cells still count as neighbours of the second ring: a fork at (1, 6).
    Window fork(13);
    fork.tab_fract(0, 5) = 1;
    fork.tab_fract(0, 7) = 1;
    vline(fork.tab_fract, 6, 1, 6);
    EXPECT_EQ(confluence_cells(fork.tab_fract, 13), (std::vector<Cell>{{1, 6}}));
    EXPECT_EQ(six(stored_value(fork, 0)), six(taco_value(8, 1, 13, 0)));

    // The extra row and column of tab_fract are never read.
    Window extra(13);
    vline(extra.tab_fract, 6, 2, 10);
    hline(extra.tab_fract, 13, 0, 13);
    vline(extra.tab_fract, 13, 0, 13);
    EXPECT_EQ(stored_value(extra, 0), taco_value(9, 0, 13, 0));
}

TEST(CountConfluences, AMarkedConfluenceNoLongerCountsAsANeighbour) {
    // Two touching cells with three neighbours each: (6, 6) is visited first and marked, so
    // (6, 7) sees only two.
    ByteGrid pair(13, 13);
    ray(pair, 5, 5, -1, -1, 2);
    ray(pair, 7, 5, 1, -1, 2);
    hline(pair, 6, 6, 7);
    ray(pair, 5, 8, -1, 1, 2);
    ray(pair, 7, 8, 1, 1, 2);
    EXPECT_EQ(count_confluences(pair, 13, 13), 1);
    EXPECT_EQ(pair(6, 6), 2);
    EXPECT_EQ(pair(6, 7), 1);

    // (6, 6) has four neighbours, but the fork (5, 6) above it is marked first: it counts
    // three and becomes a confluence itself.
    ByteGrid four(13, 13);
    ray(four, 4, 5, -1, -1, 2);
    ray(four, 4, 7, -1, 1, 2);
    four(5, 6) = 1;
    four(6, 6) = 1;
    hline(four, 7, 5, 7);
    four(8, 4) = 1;
    four(8, 8) = 1;
    EXPECT_EQ(count_confluences(four, 13, 13), 2);
    EXPECT_EQ(four(5, 6), 2);
    EXPECT_EQ(four(6, 6), 2);
}

TEST(CountConfluences, RejectsAWindowLargerThanTheGrid) {
    ByteGrid g(13, 13);
    EXPECT_THROW(count_confluences(g, 14, 13), std::invalid_argument);
    EXPECT_THROW(count_confluences(g, 13, 14), std::invalid_argument);
}

TEST(NewVosmekTreatment, CrowdedWindowGoesNegative) {
    Window w(13);
    for (int r = 0; r <= 6; ++r)
        hline(w.tab_fract, r, 0, 12);
    EXPECT_EQ(six(stored_value(w, 0)), "-115.383787");
    EXPECT_TRUE(same_block(w.tab_in, w.tab_fract, 13));
}

TEST(NewVosmekTreatment, RejectsArgumentsOutsideItsGrids) {
    Window w(13);
    vline(w.tab_fract, 6, 2, 10);
    RealGrid dtab2(9, 11);
    EXPECT_THROW(New_Vosmek_Treatment(w, 9, 0, 0, dtab2), std::out_of_range);
    EXPECT_THROW(New_Vosmek_Treatment(w, 0, -1, 0, dtab2), std::out_of_range);
    EXPECT_EQ(dtab2, RealGrid(9, 11));
}

TEST(TacoValue, MeanderFallsBelowZeroPastAQuarterOfTheWindow) {
    EXPECT_EQ(six(taco_value(42, 0, 13, 0)), "0.592544");
    EXPECT_EQ(six(taco_value(43, 0, 13, 0)), "-1.774320");
    // Short branches still use the meander formula; it never reaches 100.
    EXPECT_LT(taco_value(2, 0, 13, 0), 100.0);
    EXPECT_GT(taco_value(2, 0, 13, 0), taco_value(3, 0, 13, 0));
    // What is left at L = 0 is the small term 2 * despl.
    EXPECT_EQ(six(taco_value(0, 0, 13, 0) - 100), "0.000828");
    EXPECT_NEAR(taco_value(0, 0, 661, 0) - 100, 0.0000152, 5e-8);
}

TEST(TacoValue, DendriticCrossesHundredAndZeroAtItsThresholds) {
    const int m = 13;
    for (int Nc = 1; Nc <= 5; ++Nc) {
        SCOPED_TRACE(Nc);
        const int per_100 = (Nc + 1) * m;
        EXPECT_EQ(taco_value(per_100, Nc, m, 0), 100.0);
        EXPECT_LT(taco_value(per_100 + 1, Nc, m, 0), 100.0);
        EXPECT_EQ(taco_value(2 * per_100, Nc, m, 0), 0.0);
        EXPECT_LT(taco_value(2 * per_100 + 1, Nc, m, 0), 0.0);
        EXPECT_LT(taco_value(1, Nc, m, 0), 200.0);
    }
}

TEST(TacoValue, MeanderRuleUsesTheFullCountAboveMNC) {
    const double meander = taco_value(30, 0, 25, 0);
    EXPECT_EQ(taco_value(30, 3, 25, 3), meander);
    // Four confluences over MNC = 3: all four enter the dendritic formula.
    EXPECT_EQ(six(taco_value(30, 4, 25, 3)), six(200 - 100.0 * 30 / (5 * 25)));
    // A negative MNC acts like 0.
    EXPECT_EQ(taco_value(30, 0, 25, -1), meander);
    EXPECT_EQ(taco_value(30, 1, 25, -1), taco_value(30, 1, 25, 0));
}

}  // namespace
}  // namespace ds
