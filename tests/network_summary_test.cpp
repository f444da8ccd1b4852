// The network summary against rasters counted by hand.
#include <gtest/gtest.h>

#include "network/summary.h"
#include "tests/grid_picture.h"

namespace ds {
namespace {

using test::grid_from_picture;

TEST(NetworkSummary, CountsEveryFeatureOfAHandCountedRaster) {
    const ByteGrid g = test::hand_counted_raster();
    const NetworkSummary s = summarize_network(g);
    EXPECT_EQ(s.lines, 8);
    EXPECT_EQ(s.columns, 10);
    EXPECT_EQ(s.zeros, 61);
    EXPECT_EQ(s.ones, 18);
    EXPECT_EQ(s.others, 1);
    EXPECT_EQ(s.isolated, 2);
    EXPECT_EQ(s.components, 5);
    EXPECT_EQ(s.largest_component, 8);
    EXPECT_EQ(s.small_components, 2);
    EXPECT_EQ(s.ends, 1);       // the top of the line; its corner end has two neighbours
    EXPECT_EQ(s.junctions, 9);  // the line's top bend, the ring's four sides, the block
    EXPECT_EQ(s.loops, 1);
    EXPECT_EQ(s.blocks, 1);
    EXPECT_EQ(s.redundant, 10);  // 2 in the L, 4 ring corners, 4 in the block
    EXPECT_FALSE(s.clean());
    EXPECT_EQ(count_redundant(g), s.redundant);
}

TEST(NetworkSummary, OnePixelWideNetworksAndLoopsAtTheEdge) {
    // A Y: three ends, one junction, nothing redundant.
    const NetworkSummary y = summarize_network(grid_from_picture({
        "#...#",
        ".#.#.",
        "..#..",
        "..#..",
    }));
    EXPECT_EQ(y.ends, 3);
    EXPECT_EQ(y.junctions, 1);
    EXPECT_EQ(y.redundant, 0);
    EXPECT_EQ(y.loops, 0);
    EXPECT_TRUE(y.clean());

    // A diamond on the edges of the raster still encloses its centre; a U open to the edge
    // does not.
    const NetworkSummary diamond = summarize_network(grid_from_picture({".#.", "#.#", ".#."}));
    EXPECT_EQ(diamond.loops, 1);
    EXPECT_EQ(diamond.components, 1);
    EXPECT_EQ(diamond.redundant, 0);
    EXPECT_TRUE(diamond.clean());
    const NetworkSummary u = summarize_network(grid_from_picture({".#.", "#.#", "..."}));
    EXPECT_EQ(u.loops, 0);
    EXPECT_EQ(u.components, 1);

    // The T of two straight lines has a centre that the diagonals make redundant.
    const NetworkSummary t = summarize_network(grid_from_picture({"..#..", "..#..", "#####"}));
    EXPECT_EQ(t.redundant, 1);
    EXPECT_FALSE(t.clean());

    // No network at all is no network to analyse.
    EXPECT_FALSE(summarize_network(grid_from_picture({"...", "..."})).clean());
}

}  // namespace
}  // namespace ds
