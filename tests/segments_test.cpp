// The graph of segments and nodes against hand-made networks, and its totals on the sample.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "network/segments.h"
#include "network/summary.h"
#include "tests/grid_picture.h"

namespace ds {
namespace {

using test::grid_from_picture;

// Every pixel with two neighbours on exactly one segment, once, every step between
// neighbours, and segment pixels less their node pixels plus node pixels equal to the network.
void expect_consistent(const SegmentGraph& g, const ByteGrid& raster) {
    std::vector<int> seen(static_cast<std::size_t>(g.index.size()), 0);
    std::int64_t interior = 0, node_pixels = 0;
    for (const GraphSegment& s : g.segments) {
        const auto path = g.path(s);
        double length = 0;
        for (std::size_t i = 0; i + 1 < path.size(); ++i) {
            const int dr = std::abs(path[i + 1].row - path[i].row);
            const int dc = std::abs(path[i + 1].col - path[i].col);
            ASSERT_TRUE(dr <= 1 && dc <= 1 && dr + dc > 0);
            length += dr + dc == 2 ? std::sqrt(2.0) : 1.0;
        }
        EXPECT_NEAR(s.length, length, 1e-9);
        for (std::int32_t i = 0; i < s.pixels; ++i) {
            const GridPixel p = path[static_cast<std::size_t>(i)];
            if (g.node_at(p.row, p.col) >= 0)
                continue;
            ++interior;
            ++seen[static_cast<std::size_t>(g.index.rank(p.row, p.col))];
        }
    }
    for (const GraphNode& n : g.nodes)
        node_pixels += n.pixels;
    std::int64_t ones = 0;
    for (std::int64_t i = 0; i < raster.size(); ++i)
        ones += raster.data()[i] == 1;
    EXPECT_EQ(interior + node_pixels, ones);
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_LE(seen[i], 1);
}

struct Case {
    const char* name;
    std::vector<std::string> picture;
    int segments, ends, junctions, largest_junction, closed, loops, systems;
};

void PrintTo(const Case& k, std::ostream* os) {
    *os << k.name;
}

class GraphOf : public testing::TestWithParam<Case> {};

TEST_P(GraphOf, HasItsSegmentsAndNodes) {
    const Case& k = GetParam();
    const ByteGrid raster = grid_from_picture(k.picture);
    const SegmentGraph g = build_segment_graph(raster);
    expect_consistent(g, raster);
    int ends = 0, junctions = 0, largest = 0, closed = 0, loops = 0;
    for (const GraphNode& n : g.nodes) {
        ends += n.kind == NodeKind::end;
        junctions += n.kind == NodeKind::junction;
        if (n.kind == NodeKind::junction)
            largest = std::max(largest, n.pixels);
    }
    for (const GraphSegment& s : g.segments)
        closed += s.closed();
    for (const GraphSystem& s : g.systems)
        loops += s.loops;
    EXPECT_EQ(static_cast<int>(g.segments.size()), k.segments);
    EXPECT_EQ(ends, k.ends);
    EXPECT_EQ(junctions, k.junctions);
    EXPECT_EQ(largest, k.largest_junction);
    EXPECT_EQ(closed, k.closed);
    EXPECT_EQ(loops, k.loops);
    EXPECT_EQ(static_cast<int>(g.systems.size()), k.systems);
    EXPECT_EQ(static_cast<std::int64_t>(g.systems.size()), summarize_network(raster).components);
}

INSTANTIATE_TEST_SUITE_P(
    HandMade, GraphOf,
    testing::Values(
        Case{"Y", {"#...#", ".#.#.", "..#..", "..#.."}, 3, 3, 1, 1, 0, 0, 1},
        // A branch leaving a line at a corner: three pixels of three 8-neighbours, one node.
        Case{"YAtACorner", {"#....", ".####", ".#...", ".#..."}, 3, 3, 1, 1, 0, 0, 1},
        Case{
            "CrossingOnAPixel", {"#...#", ".#.#.", "..#..", ".#.#.", "#...#"}, 4, 4, 1, 1, 0, 0, 1},
        Case{"CrossingOnABlock",
             {"#....#", ".#..#.", "..##..", "..##..", ".#..#.", "#....#"},
             4,
             4,
             1,
             4,
             0,
             0,
             1},
        Case{"LoopWithATail", {"..#..", ".#.#.", "..#..", "..#..", "..#.."}, 2, 1, 1, 1, 0, 1, 1},
        Case{"ClosedLoop", {".#.", "#.#", ".#."}, 1, 0, 0, 0, 1, 1, 1},
        Case{"StaircaseCorners",
             {"###...", "..####", "......", "##....", ".##...", "..##.."},
             2,
             4,
             0,
             0,
             0,
             0,
             2},
        Case{"OnTheEdgeAndAnIsolatedPixel", {"####.", ".....", "..#.."}, 1, 2, 0, 0, 0, 0, 2}),
    [](const testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

TEST(SegmentGraph, PathsRunThroughCornersAndKeepTheirShape) {
    const SegmentGraph g = build_segment_graph(grid_from_picture({"###...", "..####"}));
    ASSERT_EQ(g.segments.size(), 1u);
    const std::vector<GridPixel> expected = {{0, 0}, {0, 1}, {0, 2}, {1, 2},
                                             {1, 3}, {1, 4}, {1, 5}};
    const auto path = g.path(0);
    EXPECT_EQ(std::vector<GridPixel>(path.begin(), path.end()), expected);
    EXPECT_DOUBLE_EQ(g.segments[0].length, 6);
    EXPECT_NEAR(*g.segments[0].sinuosity, 6 / std::hypot(1.0, 5.0), 1e-12);

    // A loop through a junction has no sinuosity, nor has a closed loop.
    const SegmentGraph loop =
        build_segment_graph(grid_from_picture({"..#..", ".#.#.", "..#..", "..#.."}));
    for (const GraphSegment& s : loop.segments)
        EXPECT_EQ(s.sinuosity.has_value(), s.from_node != s.to_node);
    const SegmentGraph ring = build_segment_graph(grid_from_picture({".#.", "#.#", ".#."}));
    EXPECT_EQ(ring.segments[0].pixels, 4);
    EXPECT_EQ(ring.segments[0].vertices, 5);
    EXPECT_NEAR(ring.segments[0].length, 4 * std::sqrt(2.0), 1e-12);
}

// A tree of three sources draining south off the raster, with its D8 codes.
struct Tree {
    ByteGrid raster = grid_from_picture({
        ".#...#.",  // 0
        "..#.#..",  // 1
        "...#...",  // 2
        "...#..#",  // 3
        "...#.#.",  // 4
        "...##..",  // 5
        "...#...",  // 6
    });
    ByteGrid d8 = ByteGrid(7, 7);
    Tree() {
        d8.fill(1);
        d8(0, 1) = 1;  // east onto a pixel a thinning removed, which drains onto the line
        d8(0, 2) = 4;
        d8(1, 2) = 2;
        d8(0, 5) = 8;
        d8(1, 4) = 8;
        for (int r = 2; r < 7; ++r)
            d8(r, 3) = 4;
        d8(3, 6) = 8;
        d8(4, 5) = 8;
        d8(5, 4) = 8;  // cuts the corner to the pixel below the confluence
    }
};

TEST(SegmentGraph, OrdersAndMagnitudesOfAnOrientedTree) {
    Tree t;
    SegmentGraph g = build_segment_graph(t.raster);
    EXPECT_EQ(first_pixel_off_network(g, t.d8), std::nullopt);
    orient_segments(g, t.d8);
    ASSERT_EQ(g.segments.size(), 5u);
    std::vector<int> strahler, shreve;
    int outlets = 0;
    for (const GraphSegment& s : g.segments) {
        const GridPixel first = g.path(s).front();
        const GridPixel last = g.path(s).back();
        EXPECT_LT(first.row, last.row);  // everything flows south
        outlets += s.downstream < 0;
        if (s.downstream < 0) {
            EXPECT_EQ(last, (GridPixel{6, 3}));
            EXPECT_EQ(s.strahler, 2);
            EXPECT_EQ(s.shreve, 3);
        } else if (first.row == 0 || first == GridPixel{3, 6}) {
            EXPECT_EQ(s.strahler, 1);
            EXPECT_EQ(s.shreve, 1);
        } else {  // the trunk between the confluences
            EXPECT_EQ(first, (GridPixel{2, 3}));
            EXPECT_EQ(s.strahler, 2);
            EXPECT_EQ(s.shreve, 2);
        }
    }
    EXPECT_EQ(outlets, 1);
    EXPECT_EQ(g.systems[0].outlet, (GridPixel{6, 3}));

    // A direction that leaves the network is found, and refused on another grid.
    t.d8(1, 4) = 32;  // north-west, then east: two background pixels, beside the network
    EXPECT_EQ(first_pixel_off_network(g, t.d8), std::nullopt);
    EXPECT_EQ(first_pixel_off_network(g, t.d8, 1), (GridPixel{1, 4}));
    t.d8(0, 3) = 64;  // off the raster from there: an outlet
    EXPECT_EQ(first_pixel_off_network(g, t.d8, 1), std::nullopt);
    EXPECT_THROW(first_pixel_off_network(g, ByteGrid(7, 6)), std::invalid_argument);
}

TEST(SegmentGraph, TotalsAndFieldsOnTheSample) {
    std::ifstream in(DRAINSHAPE_SOURCE_DIR "/examples/sample_river.raw", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), 400u * 400u);
    ByteGrid raster(400, 400);
    std::copy(bytes.begin(), bytes.end(), raster.data());
    const SegmentGraph g = build_segment_graph(raster);
    expect_consistent(g, raster);
    const NetworkSummary sum = summarize_network(raster);
    EXPECT_EQ(static_cast<std::int64_t>(g.systems.size()), sum.components);
    std::int64_t ends = 0;
    for (const GraphSystem& s : g.systems)
        ends += s.ends;
    EXPECT_EQ(ends, sum.ends);

    // A field of the row number, none on odd rows: the systems' counts add up to the pixels
    // with a value, and a segment's mean lies between its extremes.
    const PixelField rows{[](std::int64_t r, std::int64_t) -> std::optional<double> {
                              return r % 2 ? std::nullopt : std::optional<double>(r);
                          },
                          100.0};
    const FieldTables t = aggregate_fields(g, std::span(&rows, 1));
    std::int64_t with_value = 0, below = 0;
    for (std::size_t s = 0; s < g.systems.size(); ++s) {
        with_value += t.system(s, 0).count;
        below += t.system(s, 0).below;
    }
    std::int64_t even = 0, even_below = 0;
    for (std::int64_t r = 0; r < 400; r += 2)
        for (std::int64_t c = 0; c < 400; ++c)
            if (raster(r, c) == 1) {
                ++even;
                even_below += r < 100;
            }
    EXPECT_EQ(with_value, even);
    EXPECT_EQ(below, even_below);
    for (std::size_t s = 0; s < g.segments.size(); ++s) {
        const FieldStats& f = t.segment(s, 0);
        if (f.count == 0)
            continue;
        EXPECT_LE(f.min, *f.mean());
        EXPECT_GE(f.max, *f.mean());
    }
}

}  // namespace
}  // namespace ds
