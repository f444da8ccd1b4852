// Thinning of rasters made thick on purpose: topology kept, ends kept, nothing redundant left.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>

#include "network/simple_point.h"
#include "network/summary.h"
#include "network/thinning.h"
#include "tests/grid_picture.h"
#include "tests/network_gen.h"
#include "tests/sample_crop.h"

namespace ds {
namespace {

using test::grid_from_picture;
using test::picture_of;

// Thins a copy of `thick` and checks what must hold of any result.
ByteGrid expect_thinned(const ByteGrid& thick) {
    ByteGrid thin = thick;
    const std::int64_t removed = thin_network(thin);
    const NetworkSummary before = summarize_network(thick);
    const NetworkSummary after = summarize_network(thin);
    EXPECT_EQ(after.redundant, 0);
    EXPECT_EQ(after.components, before.components);
    EXPECT_EQ(after.loops, before.loops);
    EXPECT_EQ(after.ones, before.ones - removed);
    for (std::int64_t r = 0; r < thick.rows(); ++r)
        for (std::int64_t c = 0; c < thick.cols(); ++c) {
            if (thick(r, c) != 1) {
                EXPECT_EQ(thin(r, c), thick(r, c)) << r << "," << c;
            } else if (neighbour_count(neighbour_code(thick, r, c)) == 1) {
                EXPECT_EQ(thin(r, c), 1) << "end " << r << "," << c;
                EXPECT_EQ(neighbour_count(neighbour_code(thin, r, c)), 1) << r << "," << c;
            }
        }
    ByteGrid again = thin;
    EXPECT_EQ(thin_network(again), 0);
    return thin;
}

// The rows and columns that hold network pixels: first row, last row, first column, last one.
std::array<std::int64_t, 4> extent(const ByteGrid& g) {
    std::array<std::int64_t, 4> e = {g.rows(), -1, g.cols(), -1};
    for (std::int64_t r = 0; r < g.rows(); ++r)
        for (std::int64_t c = 0; c < g.cols(); ++c)
            if (g(r, c) == 1)
                e = {std::min(e[0], r), std::max(e[1], r), std::min(e[2], c), std::max(e[3], c)};
    return e;
}

TEST(Thinning, ThickShapesBecomeOnePixelWide) {
    const std::vector<std::vector<std::string>> shapes = {
        // A chain of 2 x 2 blocks and a 4-connected staircase.
        {"..........", ".##.......", ".###......", "..###.....", "...###....", "....##....",
         "..........", "#.........", "##........", ".##.......", "..##......", "...##....."},
        // Lines two and three pixels wide, joined, with a stray value left alone.
        {"..............", ".############.", ".############.", "......###.....", "......###.....",
         "......###...2.", "......###.....", ".............."},
        // A filled blob with a hole, and a tail.
        {
            "...........",
            "...#####...",
            "..#######..",
            ".####.####.",
            ".###...###.",
            ".####.####.",
            "..#######..",
            "...#####...",
            ".....#.....",
            ".....#.....",
            "...........",
        },
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(::testing::PrintToString(shape));
        const ByteGrid thick = grid_from_picture(shape);
        const ByteGrid thin = expect_thinned(thick);
        EXPECT_EQ(summarize_network(thin).blocks, 0) << ::testing::PrintToString(picture_of(thin));
        // Thick tips lose a pixel at most: lines do not crumble from their ends.
        const auto before = extent(thick);
        const auto after = extent(thin);
        for (int k = 0; k < 4; ++k)
            EXPECT_LE(std::abs(after[k] - before[k]), 1) << k;
    }
}

TEST(Thinning, AThickLineThinsTowardsItsMiddle) {
    ByteGrid band(5, 14);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 12; ++c)
            band(r, c) = 1;
    const ByteGrid thin = expect_thinned(band);
    int middle = 0;
    for (int c = 0; c < 14; ++c)
        middle += thin(2, c);
    EXPECT_GE(middle, 10) << ::testing::PrintToString(picture_of(thin));
}

TEST(Thinning, GeneratedThickNetworksKeepTheirTopology) {
    gen::Rng rng(7);
    for (int trial = 0; trial < 20; ++trial) {
        ByteGrid g(60, 60);
        gen::random_tree(g, rng, 30, 30, 400);
        gen::blob(g, rng, gen::uniform(rng, 10, 50), gen::uniform(rng, 10, 50), 6, 0.8);
        gen::random_walk(g, rng, 5, 5, 120);
        SCOPED_TRACE(trial);
        const ByteGrid once = expect_thinned(g);
        ByteGrid twice = g;
        thin_network(twice);
        EXPECT_EQ(once, twice);  // the same input gives the same result
    }
}

TEST(Thinning, ANetworkAlreadyOnePixelWideIsUnchanged) {
    const std::string raw = test::sample_crop(100, 100, 200, 200);
    ByteGrid g(200, 200);
    std::copy(raw.begin(), raw.end(), g.data());
    ASSERT_GT(summarize_network(g).ones, 1000);
    const ByteGrid before = g;
    EXPECT_EQ(thin_network(g), 0);
    EXPECT_EQ(g, before);
}

}  // namespace
}  // namespace ds
