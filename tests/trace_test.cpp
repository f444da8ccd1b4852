#include "taco/trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace ds {
namespace {

using Art = std::vector<std::string>;

// Puts a picture into a window grid: '#' is a network pixel, anything else background.
void paint(ByteGrid& g, const Art& art) {
    ASSERT_EQ(static_cast<std::int64_t>(art.size()), g.rows());
    for (std::int64_t r = 0; r < g.rows(); ++r) {
        ASSERT_EQ(static_cast<std::int64_t>(art[r].size()), g.cols()) << "row " << r;
        for (std::int64_t c = 0; c < g.cols(); ++c)
            g(r, c) = art[r][c] == '#' ? 1 : 0;
    }
}

// Labels as a picture: '.' for 0, digits and then letters for labels, '-' for -1.
Art labels(const IntGrid& itab) {
    Art art(itab.rows(), std::string(itab.cols(), '?'));
    for (std::int64_t r = 0; r < itab.rows(); ++r)
        for (std::int64_t c = 0; c < itab.cols(); ++c) {
            const int v = itab(r, c);
            char& ch = art[r][c];
            if (v == 0)
                ch = '.';
            else if (v == -1)
                ch = '-';
            else if (v >= 1 && v <= 9)
                ch = static_cast<char>('0' + v);
            else if (v >= 10 && v < 36)
                ch = static_cast<char>('a' + v - 10);
        }
    return art;
}

// The visited mark as a picture: '#' where a cell still holds 1.
Art untaken(const ByteGrid& g) {
    Art art(g.rows(), std::string(g.cols(), '.'));
    for (std::int64_t r = 0; r < g.rows(); ++r)
        for (std::int64_t c = 0; c < g.cols(); ++c)
            if (g(r, c) != 0)
                art[r][c] = g(r, c) == 1 ? '#' : '?';
    return art;
}

const std::string kEmpty13 = ".............";

TEST(SuivFormes, BranchTouchingRow0TwiceKeepsTheFirstRow0Pixel) {
    Window w(13);
    Art u(13, kEmpty13);
    for (int r = 0; r <= 7; ++r)
        u[r] = "...#.....#...";
    u[8] = "...#######...";
    paint(w.tab_prov, u);

    EXPECT_EQ(suiv_formes(w), 1);
    Art want(13, kEmpty13);
    want[0] = "...1.........";
    for (int r = 1; r <= 7; ++r)
        want[r] = "...1.....1...";
    want[8] = "...1111111...";
    EXPECT_EQ(labels(w.itab), want);
    // The right arm's row-0 pixel was taken as a seed of its own and dropped.
    EXPECT_EQ(untaken(w.tab_prov), Art(13, kEmpty13));
}

TEST(SuivFormes, Column0IsNeverEnteredFromANeighbour) {
    Art plus(13, kEmpty13);
    for (int r = 0; r <= 10; ++r)
        plus[r] = "......#......";
    plus[6] = "###########..";

    Window crossing(13);
    paint(crossing.tab_prov, plus);
    EXPECT_EQ(suiv_formes(crossing), 1);
    Art want(13, kEmpty13);
    for (int r = 0; r <= 10; ++r)
        want[r] = "......1......";
    want[6] = ".1111111111..";
    EXPECT_EQ(labels(crossing.itab), want);

    // Alone, the same horizontal line is seeded at its column-0 pixel and traced whole.
    Art line(13, kEmpty13);
    line[6] = "###########..";
    Window alone(13);
    paint(alone.tab_prov, line);
    EXPECT_EQ(suiv_formes(alone), 1);
    Art want_line(13, kEmpty13);
    want_line[6] = "11111111111..";
    EXPECT_EQ(labels(alone.itab), want_line);
}

TEST(SuivFormes, FullWindowLeavesRow0Column0AndBothCornersOut) {
    Window w(13);
    Art full(13, std::string(13, '#'));
    paint(w.tab_prov, full);

    EXPECT_EQ(suiv_formes(w), 1);
    Art want(13, ".111111111111");
    want[0] = "1............";
    EXPECT_EQ(labels(w.itab), want);
    // (0, 12) and (12, 0) are neither seeds nor ever entered.
    Art left(13, kEmpty13);
    left[0] = "............#";
    left[12] = "#............";
    EXPECT_EQ(untaken(w.tab_prov), left);
}

TEST(SuivFormes, LastRowAndColumnAreEnteredButNeverSeed) {
    Window w(13);
    const Art net = {
        ".............",  //
        ".............",  //
        "............#",  // 2: a segment only in the last column
        "............#",  //
        "............#",  //
        "............#",  //
        ".............",  //
        ".........####",  // 7: reaches the last column
        ".............",  //
        "........#....",  // 9: reaches the last row
        "........#....",  //
        "........#....",  //
        "####....#....",  // 12: a segment only in the last row
    };
    paint(w.tab_prov, net);

    EXPECT_EQ(suiv_formes(w), 2);
    Art want(13, kEmpty13);
    want[7] = ".........1111";
    for (int r = 9; r <= 12; ++r)
        want[r] = "........2....";
    EXPECT_EQ(labels(w.itab), want);
    Art left(13, kEmpty13);
    for (int r = 2; r <= 5; ++r)
        left[r] = "............#";
    left[12] = "####.........";
    EXPECT_EQ(untaken(w.tab_prov), left);
}

TEST(SuivFormes, CornerContactJoinsAndGapsSeparate) {
    Window w(13);
    const Art net = {
        ".............",  //
        ".#........#..",  // 1: two diagonal chains, one each way
        "..#......#...",  //
        "...#....#....",  //
        ".............",  //
        "..####.......",  // 5: touches the next segment only at a corner
        "......####...",  //
        ".............",  //
        ".............",  //
        "..####.####..",  // 9: one gap apart
        ".............",  //
        ".............",  //
        ".............",  //
    };
    paint(w.tab_prov, net);

    EXPECT_EQ(suiv_formes(w), 5);
    const Art want = {
        ".............",  //
        ".1........2..",  //
        "..1......2...",  //
        "...1....2....",  //
        ".............",  //
        "..3333.......",  //
        "......3333...",  //
        ".............",  //
        ".............",  //
        "..4444.5555..",  //
        ".............",  //
        ".............",  //
        ".............",  //
    };
    EXPECT_EQ(labels(w.itab), want);
}

TEST(SuivFormes, DeadEndsWalkBackAsFarAsTheSeed) {
    Window w(13);
    const Art net = {
        ".............",  //
        ".............",  //
        ".....#.......",  // 2: the seed's second arm is found only from the seed itself
        "....#.#......",  //
        "...#...#.....",  //
        "..#.....#....",  //
        ".............",  //
        ".###########.",  // 7: every tooth is found by walking back along the spine
        "..#.#.#.#.#..",  //
        "..#.#.#.#.#..",  //
        "..#.#.#.#.#..",  //
        ".............",  //
        ".............",  //
    };
    paint(w.tab_prov, net);
    EXPECT_EQ(suiv_formes(w), 2);
    const Art want = {
        ".............",  //
        ".............",  //
        ".....1.......",  //
        "....1.1......",  //
        "...1...1.....",  //
        "..1.....1....",  //
        ".............",  //
        ".22222222222.",  //
        "..2.2.2.2.2..",  //
        "..2.2.2.2.2..",  //
        "..2.2.2.2.2..",  //
        ".............",  //
        ".............",  //
    };
    EXPECT_EQ(labels(w.itab), want);
}

// Components numbered by the seed scan: a dropped lone pixel takes no label, and a component
// whose top lies in the last column starts at its first seed position.
const Art kOrdered = {
    ".............",  //
    ".#..........#",  //
    "...###...#..#",  //
    ".........#.##",  //
    ".........#...",  //
    ".........#...",  //
    ".........#...",  //
    ".........#...",  //
    ".#####...#...",  //
    ".........#...",  //
    ".........#...",  //
    ".........#...",  //
    ".............",  //
};

const Art kOrderedLabels = {
    ".............",  //
    "............3",  //
    "...111...2..3",  //
    ".........2.33",  //
    ".........2...",  //
    ".........2...",  //
    ".........2...",  //
    ".........2...",  //
    ".44444...2...",  //
    ".........2...",  //
    ".........2...",  //
    ".........2...",  //
    ".............",  //
};

TEST(SuivFormes, LabelsFollowTheOrderOfTraceStart) {
    Window w(13);
    paint(w.tab_prov, kOrdered);
    EXPECT_EQ(suiv_formes(w), 4);
    EXPECT_EQ(labels(w.itab), kOrderedLabels);
}

TEST(SuivFormes, WritesOnlyTheCellsOfAcceptedTraces) {
    Window w(13);
    paint(w.tab_prov, kOrdered);
    w.itab.fill(-1);
    EXPECT_EQ(suiv_formes(w), 4);
    Art want = kOrderedLabels;
    for (std::string& row : want)
        std::replace(row.begin(), row.end(), '.', '-');
    EXPECT_EQ(labels(w.itab), want);
}

TEST(SuivFormes, SizeLimitsCountALonePixelAsSizeZero) {
    Art net(13, kEmpty13);
    net[2] = "..##.........";  // 2 pixels
    net[4] = "..###........";  // 3 pixels
    net[6] = "..#####......";  // 5 pixels
    net[8] = "..#..........";  // lone
    const auto label_at = [&](int min_lab, int max_lab) {
        Window w(13);
        w.MinLab = min_lab;
        w.MaxLab = max_lab;
        paint(w.tab_prov, net);
        const int num = suiv_formes(w);
        return std::vector<int>{num, w.itab(2, 2), w.itab(4, 2), w.itab(6, 2), w.itab(8, 2)};
    };
    EXPECT_EQ(label_at(1, 169), (std::vector<int>{3, 1, 2, 3, 0}));
    EXPECT_EQ(label_at(3, 169), (std::vector<int>{2, 0, 1, 2, 0}));
    EXPECT_EQ(label_at(1, 4), (std::vector<int>{2, 1, 2, 0, 0}));
    EXPECT_EQ(label_at(2, 2), (std::vector<int>{1, 1, 0, 0, 0}));
    // Only a lower bound of 0 lets a lone pixel through.
    EXPECT_EQ(label_at(0, 169), (std::vector<int>{4, 1, 2, 3, 4}));
    EXPECT_EQ(label_at(0, 0), (std::vector<int>{1, 0, 0, 0, 1}));
}

// Independent reference: the same seeds in the same order, each trace grown breadth first
// over the positions that may be entered (row 0 and column 0 excluded).
IntGrid flood_labels(ByteGrid& net, int min_lab, int max_lab) {
    const int m = static_cast<int>(net.rows());
    IntGrid out(m, m);
    int num = 0;
    for (int i = 0; i < m - 1; ++i)
        for (int j = 0; j < m - 1; ++j) {
            if (net(i, j) != 1)
                continue;
            std::vector<std::pair<int, int>> taken{{i, j}};
            std::deque<std::pair<int, int>> todo{{i, j}};
            net(i, j) = 0;
            while (!todo.empty()) {
                const auto [r, c] = todo.front();
                todo.pop_front();
                for (int rr = r - 1; rr <= r + 1; ++rr)
                    for (int cc = c - 1; cc <= c + 1; ++cc)
                        if (rr > 0 && rr < m && cc > 0 && cc < m && net(rr, cc) == 1) {
                            net(rr, cc) = 0;
                            taken.emplace_back(rr, cc);
                            todo.emplace_back(rr, cc);
                        }
            }
            const int size = taken.size() == 1 ? 0 : static_cast<int>(taken.size());
            if (size < min_lab || size > max_lab)
                continue;
            ++num;
            for (const auto& [r, c] : taken)
                out(r, c) = num;
        }
    return out;
}

TEST(SuivFormes, WalkBackReachesWhatAFloodFillReaches) {
    std::mt19937 rng(20240607);
    for (const int m : {13, 25}) {
        for (const unsigned percent : {15u, 35u, 55u, 80u}) {
            for (int round = 0; round < 25; ++round) {
                Window w(m);
                for (int r = 0; r < m; ++r)
                    for (int c = 0; c < m; ++c)
                        w.tab_prov(r, c) = rng() % 100 < percent;
                w.MinLab = round % 5 == 4 ? 3 : 1;
                ByteGrid net = w.tab_prov;
                const IntGrid want = flood_labels(net, w.MinLab, w.MaxLab);
                SCOPED_TRACE(testing::Message()
                             << "m " << m << ", " << percent << "%, round " << round);
                suiv_formes(w);
                ASSERT_EQ(labels(w.itab), labels(want));
                ASSERT_EQ(w.tab_prov, net);
            }
        }
    }
}

}  // namespace
}  // namespace ds
