// Lines drawn into a raster: lines that touch in the data touch in the raster.
#include <gtest/gtest.h>

#include <random>

#include "network/draw_lines.h"
#include "network/summary.h"

namespace ds {
namespace {

constexpr GridFrame kFrame{1000.0, 0.7, 2000.0, -0.7};  // 0.7 units a pixel, north up
constexpr int kSide = 48;

XY random_point(std::mt19937& rng) {
    std::uniform_real_distribution<double> u(2.0, kSide * 0.7 - 2.0);
    return {kFrame.x0 + u(rng), kFrame.y0 - u(rng)};
}

NetworkSummary drawn(const std::vector<Polyline>& lines) {
    ByteGrid g(kSide, kSide);
    draw_lines(lines, kFrame, g);
    return summarize_network(g);
}

TEST(DrawLines, LinesThatMeetAreConnected) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> t(0.0, 1.0);
    for (int trial = 0; trial < 3000; ++trial) {
        const XY p = random_point(rng);
        const XY q = random_point(rng);
        const double s = t(rng);
        const XY on{p.x + s * (q.x - p.x), p.y + s * (q.y - p.y)};
        // A line that ends on the segment p-q, off its vertices.
        const NetworkSummary ending = drawn({{p, q}, {random_point(rng), on}});
        ASSERT_EQ(ending.components, 1) << trial;
        // A line through that point: it crosses p-q without a shared vertex.
        const XY a = random_point(rng);
        const XY b{2 * on.x - a.x, 2 * on.y - a.y};
        const NetworkSummary crossing = drawn({{p, q}, {a, b}});
        ASSERT_EQ(crossing.components, 1) << trial;
        // Polylines that share a vertex, each drawn alone in one piece.
        ASSERT_EQ(drawn({{p, on, q}}).components, 1) << trial;
        ASSERT_EQ(drawn({{p, on}, {a, on, q}}).components, 1) << trial;
    }
}

TEST(DrawLines, BothDirectionsGiveTheSamePixels) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 500; ++trial) {
        const Polyline line = {random_point(rng), random_point(rng), random_point(rng)};
        const Polyline back(line.rbegin(), line.rend());
        ByteGrid a(kSide, kSide);
        ByteGrid b(kSide, kSide);
        draw_lines({line}, kFrame, a);
        draw_lines({back}, kFrame, b);
        ASSERT_EQ(a, b) << trial;
    }
}

TEST(DrawLines, OnlyWhatLiesInsideIsDrawnAndFarPointsAreSafe) {
    ByteGrid g(4, 5);
    // From far west to far east along row 1, and a segment to a point at infinity.
    draw_lines({{{-1e300, -1.5}, {1e300, -1.5}}, {{0.5, -0.5}, {0.5, 1.0 / 0.0}}},
               GridFrame{0, 1, 0, -1}, g);
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(g(1, c), 1) << c;
    EXPECT_EQ(summarize_network(g).ones, 6);  // the row and the finite vertex
}

}  // namespace
}  // namespace ds
