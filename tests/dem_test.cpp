// The hydrology of dem/ on small synthetic models whose drainage is known by construction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "dem/d8.h"
#include "dem/fill.h"
#include "dem/streams.h"
#include "network/summary.h"
#include "network/thinning.h"
#include "tests/dem_checks.h"
#include "tests/grid_picture.h"

namespace ds {
namespace {

using test::Cell;

DemGrid make_dem(int rows, int cols, const std::function<double(int, int)>& z) {
    DemGrid dem{RealGrid(rows, cols), ByteGrid(rows, cols)};
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            dem.z(r, c) = z(r, c);
    return dem;
}

// A valley along column c0 falling towards the last row: sides of slope `side`, floor of
// slope `fall`.
double v_valley(int rows, int c0, int r, int c, double side = 1.0, double fall = 0.1) {
    return 5 + side * std::abs(c - c0) + fall * (rows - 1 - r);
}

std::vector<Cell> stream_list(const Drainage& d) {
    std::vector<Cell> out;
    for (int r = 0; r < d.streams.rows(); ++r)
        for (int c = 0; c < d.streams.cols(); ++c)
            if (d.streams(r, c) != 0)
                out.push_back({r, c});
    return out;
}

// The floor cells of column c0 from `first_row` to the last row.
std::vector<Cell> floor_from(int first_row, int rows, int c0) {
    std::vector<Cell> out;
    for (int r = first_row; r < rows; ++r)
        out.push_back({r, c0});
    return out;
}

// Cells drained into NoData inside the raster, summed over the cells that drain there; -1 if
// any cell drains across the edge of the raster instead.
std::int64_t into_nodata(const Drainage& d) {
    std::int64_t sum = 0;
    for (int r = 0; r < d.direction.rows(); ++r)
        for (int c = 0; c < d.direction.cols(); ++c) {
            if (d.nodata(r, c) != 0 || test::downstream(d.direction, d.nodata, r, c).r >= 0)
                continue;
            const int k = d8_index(d.direction(r, c));
            const int nr = r + kD8[k].dr, nc = c + kD8[k].dc;
            if (nr < 0 || nc < 0 || nr >= d.nodata.rows() || nc >= d.nodata.cols())
                return -1;
            sum += d.accumulation(r, c);
        }
    return sum;
}

TEST(DemStreams, VValleyHasOneStreamAlongItsFloorToTheLowEdge) {
    const int rows = 40, cols = 21, c0 = 10;
    const Drainage d = extract_streams(
        make_dem(rows, cols, [&](int r, int c) { return v_valley(rows, c0, r, c); }), 5 * cols);
    EXPECT_EQ(d.raised_cells, 0);
    // The sides drain straight across to the floor, the floor straight down: the floor cell
    // of row r gathers every cell of rows 0 to r.
    for (int r = 0; r < rows; ++r)
        EXPECT_EQ(d.accumulation(r, c0), static_cast<std::uint32_t>((r + 1) * cols)) << r;
    EXPECT_EQ(stream_list(d), floor_from(4, rows, c0));
    EXPECT_EQ(d.direction(rows - 1, c0), 4) << "the outlet drains south, out of the raster";
    EXPECT_EQ(test::undrained_cells(d.direction, d.nodata), 0);
}

TEST(DemStreams, TwoValleysJoinAtOneConfluence) {
    // A main valley down column 12 and a tributary along row 15 from the east edge; the
    // tributary's floor meets the main floor at the same height.
    const int rows = 40, cols = 30, c0 = 12, r0 = 15;
    const Drainage d = extract_streams(make_dem(rows, cols,
                                                [&](int r, int c) {
                                                    const double main = v_valley(rows, c0, r, c);
                                                    const double trib = 5 + std::abs(r - r0) +
                                                                        0.1 * (c - c0) +
                                                                        0.1 * (rows - 1 - r0);
                                                    return c >= c0 ? std::min(main, trib) : main;
                                                }),
                                       60);
    const test::StreamGraph g = test::stream_graph(d.streams, d.direction, d.nodata);
    ASSERT_EQ(g.confluences.size(), 1u);
    EXPECT_LE(std::abs(g.confluences[0].r - r0), 1);
    EXPECT_LE(std::abs(g.confluences[0].c - c0), 1);
    EXPECT_EQ(g.heads, 2);
    ASSERT_EQ(g.outlets.size(), 1u);
    EXPECT_EQ(g.outlets[0], (Cell{rows - 1, c0}));
    EXPECT_EQ(test::undrained_cells(d.direction, d.nodata), 0);
}

TEST(DemStreams, PitOnTheFloorIsFilledAndDrainedThrough) {
    const int rows = 40, cols = 21, c0 = 10;
    const auto valley = [&](int r, int c) { return v_valley(rows, c0, r, c); };
    const auto in_pit = [&](int r, int c) { return r >= 19 && r <= 21 && std::abs(c - c0) <= 1; };
    const DemGrid pitted =
        make_dem(rows, cols, [&](int r, int c) { return valley(r, c) - (in_pit(r, c) ? 3 : 0); });
    const Drainage d = extract_streams(pitted, 5 * cols);
    // Filled to its spill point, the floor cell below it; nothing else moves.
    EXPECT_EQ(d.raised_cells, 9);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            EXPECT_EQ(d.filled(r, c), in_pit(r, c) ? valley(22, c0) : pitted.z(r, c)) << r << c;
    EXPECT_EQ(stream_list(d), floor_from(4, rows, c0));
    EXPECT_EQ(test::undrained_cells(d.direction, d.nodata), 0);
}

TEST(DemStreams, FlatValleyFloorDrainsAlongItsMiddleToItsOutlet) {
    // Rows 10 to 30 of the floor are flat and five cells wide.
    const int rows = 40, cols = 21, c0 = 10;
    const auto z = [&](int r, int c) {
        const bool flat = r >= 10 && r <= 30;
        const int half = flat ? 2 : 0;
        return v_valley(rows, c0, flat ? 30 : r, c0) + std::max(0, std::abs(c - c0) - half);
    };
    const Drainage d = extract_streams(make_dem(rows, cols, z), 3 * cols);
    EXPECT_GT(d.flat_cells, 90);
    const std::vector<Cell> streams = stream_list(d);
    ASSERT_FALSE(streams.empty());
    EXPECT_LT(streams.front().r, 10) << "the stream reaches the flat from upstream";
    EXPECT_EQ(streams, floor_from(streams.front().r, rows, c0))
        << "one stream down the middle of the flat, without a break";
    EXPECT_EQ(test::undrained_cells(d.direction, d.nodata), 0);
}

TEST(DemStreams, NoDataIsOutsideAndStreamsEndThere) {
    // A valley running into a sea of NoData with a ragged coast.
    const int rows = 40, cols = 21, c0 = 10;
    DemGrid coast = make_dem(rows, cols, [&](int r, int c) { return v_valley(rows, c0, r, c); });
    std::int64_t land = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            coast.nodata(r, c) = r >= 30 + c % 3 ? 1 : 0;
            land += coast.nodata(r, c) == 0;
            if (coast.nodata(r, c) != 0)
                coast.z(r, c) = -1e30;  // must not matter
        }
    const Drainage sea = extract_streams(coast, 5 * cols);
    const int last = 30 + c0 % 3 - 1;
    EXPECT_EQ(stream_list(sea), floor_from(4, last + 1, c0));
    EXPECT_EQ(sea.direction(last, c0), 4) << "into the sea";
    EXPECT_EQ(into_nodata(sea), land) << "every land cell drains into the sea";
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            if (coast.nodata(r, c) != 0) {
                EXPECT_EQ(sea.direction(r, c), 0);
                EXPECT_EQ(sea.accumulation(r, c), 0u);
            }
        }

    // A closed bowl with a hole of NoData at its bottom drains into the hole, unfilled.
    DemGrid bowl = make_dem(21, 21, [](int r, int c) { return std::hypot(r - 10, c - 10); });
    for (int r = 9; r <= 11; ++r)
        for (int c = 9; c <= 11; ++c)
            bowl.nodata(r, c) = 1;
    const Drainage hole = extract_streams(bowl, 1);
    EXPECT_EQ(hole.raised_cells, 0);
    EXPECT_EQ(into_nodata(hole), 21 * 21 - 9);
}

// The level of each cell after filling by its definition: the lowest, over the paths to the
// edge or to NoData, of the highest cell on the path; found by relaxing until nothing moves.
RealGrid spill_levels(const DemGrid& dem) {
    const int rows = static_cast<int>(dem.z.rows()), cols = static_cast<int>(dem.z.cols());
    RealGrid w(rows, cols);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            w(r, c) = dem.nodata(r, c) != 0 ? -INFINITY : INFINITY;
    for (bool moved = true; moved;) {
        moved = false;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) {
                if (dem.nodata(r, c) != 0)
                    continue;
                double low = INFINITY;
                for (const D8Step& s : kD8) {
                    const int nr = r + s.dr, nc = c + s.dc;
                    const bool out = nr < 0 || nc < 0 || nr >= rows || nc >= cols;
                    low = std::min(low, out ? -INFINITY : w(nr, nc));
                }
                const double level = std::max(dem.z(r, c), low);
                if (level < w(r, c)) {
                    w(r, c) = level;
                    moved = true;
                }
            }
    }
    return w;
}

TEST(DemFill, ReachesTheSpillLevelOfEveryCell) {
    // Rough random surfaces on a coarse grid of heights (ties, pits, pits within pits), with and
    // without scattered NoData.
    std::uint64_t state = 12345;
    const auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>(state >> 59);  // 0 to 31
    };
    for (int round = 0; round < 6; ++round) {
        DemGrid dem = make_dem(37, 41, [&](int r, int c) { return next() + 0.05 * (r + c); });
        if (round % 2 == 1)
            for (std::int64_t i = 0; i < dem.z.size(); ++i)
                dem.nodata.data()[i] = next() == 0 ? 1 : 0;
        const RealGrid expected = spill_levels(dem);
        fill_depressions(dem);
        int wrong = 0;
        for (std::int64_t i = 0; i < dem.z.size(); ++i)
            wrong += dem.nodata.data()[i] == 0 && dem.z.data()[i] != expected.data()[i];
        EXPECT_EQ(wrong, 0) << round;
    }
}

TEST(DemStreams, AreaThresholdIsTheFewestCellsThatCoverIt) {
    EXPECT_EQ(threshold_cells_for_area(1, 30 * 30), 1112u);
    EXPECT_EQ(threshold_cells_for_area(1, 10 * 10), 10000u);
    // 510 m2 of half-metre cells: 2040.0000000000002 in doubles, still 2040 cells.
    EXPECT_EQ(threshold_cells_for_area(0.00051, 0.5 * 0.5), 2040u);
    EXPECT_EQ(threshold_cells_for_area(1e-9, 900), 1u);
    EXPECT_THROW(threshold_cells_for_area(0, 900), std::invalid_argument);
    EXPECT_THROW(threshold_cells_for_area(1, -1), std::invalid_argument);
}

TEST(DemStreams, PathsSideBySideOnADiagonalBecomeOneStream) {
    // Two streams from the south run north-east one cell apart, then the right one ends on the
    // left one: the four cells between them are holes. A hole of two cells inside a ring, and
    // a cell on the edge between three stream cells, are left.
    ByteGrid g = test::grid_from_picture({
        ".........#.#.#.",
        ".........#..#..",
        "........##.....",
        ".......#.#.....",
        "......#.#......",
        ".....#.#.......",
        "....#.#...####.",
        "...#.#....#..#.",
        "..#..#....####.",
        "..#..#.........",
        "..#..#.........",
    });
    EXPECT_EQ(summarize_network(g).loops, 5);
    EXPECT_EQ(fill_one_cell_holes(g), 4);
    EXPECT_EQ(g(0, 12), 0);
    thin_network(g);
    const NetworkSummary s = summarize_network(g);
    EXPECT_EQ(s.loops, 1);
    EXPECT_EQ(s.components, 3);
    EXPECT_EQ(s.redundant, 0);
    // One stream with its two heads and its outlet; the two ends at the edge.
    EXPECT_EQ(s.ends, 5);
}

TEST(DemStreams, AStreamTurningAtTheEdgeKeepsItsOutlet) {
    // A channel along line 1 falls east to (1, 4), turns north to its outlet (0, 4) on the
    // edge: the last three cells form a triangle in which the outlet has two neighbours.
    const DemGrid dem = make_dem(5, 7, [](int r, int c) {
        if (r == 0)
            return c == 4 ? 40.0 : 100.0;
        if (r == 1)
            return c < 4 ? 50.0 - c : c == 4 ? 41.0 : 50.0 + 10 * c;
        return 100.0 + 10 * r;
    });
    Drainage d = extract_streams(dem, 10);
    ASSERT_EQ(d.streams(0, 4), 1);
    ASSERT_EQ(d.streams(1, 3), 1);
    const ByteGrid outlets = stream_outlets(d.streams, d.direction, d.nodata);
    EXPECT_EQ(outlets(0, 4), 1);
    EXPECT_EQ(std::count(outlets.data(), outlets.data() + outlets.size(), 1), 1);
    ByteGrid unprotected = d.streams;
    thin_network(unprotected);
    EXPECT_EQ(unprotected(0, 4), 0);  // what thinning alone does with the triangle
    thin_network(d.streams, &outlets);
    EXPECT_EQ(d.streams(0, 4), 1);
    const NetworkSummary s = summarize_network(d.streams);
    EXPECT_EQ(s.components, 1);
    EXPECT_EQ(s.redundant, 0);
}

TEST(DemD8, DiagonalDropsCountOverTheirLength) {
    // On a plane falling a per column eastwards and b per row southwards, the diagonal falls
    // a + b over sqrt(2): steeper than a alone only when b > (sqrt(2) - 1) a.
    for (const auto& [b, code] : {std::pair{0.5, 2}, std::pair{0.4, 1}}) {
        const DemGrid plane = make_dem(5, 5, [b](int r, int c) { return 100 - c - b * r; });
        EXPECT_EQ(d8_directions(plane)(2, 2), code) << b;
    }
    // Rows three times as far apart as columns: the same fall per row is a third as steep.
    DemGrid tall = make_dem(5, 5, [](int r, int c) { return 100 - 0.5 * c - 2 * r; });
    EXPECT_EQ(d8_directions(tall)(2, 2), 4);
    tall.cell_height = 3;
    EXPECT_EQ(d8_directions(tall)(2, 2), 2);
}

TEST(DemAccumulation, RefusesLoops) {
    ByteGrid dir(1, 2), nodata(1, 2);
    dir(0, 0) = 1;   // east
    dir(0, 1) = 16;  // west
    EXPECT_THROW(flow_accumulation(dir, nodata), std::logic_error);
}

}  // namespace
}  // namespace ds
