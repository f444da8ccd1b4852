#include "lib/grid.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "lib/window.h"

namespace ds {
namespace {

TEST(Grid, TakesLinesFirstAndStartsAtZero) {
    const ByteGrid g(2, 3);
    EXPECT_EQ(g.rows(), 2);
    EXPECT_EQ(g.cols(), 3);
    for (std::int64_t r = 0; r < 2; ++r)
        for (std::int64_t c = 0; c < 3; ++c)
            EXPECT_EQ(g(r, c), 0);
    // The cell of line 1, column 2 is the last one of the single block.
    EXPECT_EQ(&g(1, 2), g.data() + 5);
}

TEST(Grid, RowsAreContiguousSpans) {
    IntGrid g(3, 4);
    auto row = g.row(1);
    ASSERT_EQ(row.size(), 4u);
    row[3] = 7;
    EXPECT_EQ(g(1, 3), 7);
    EXPECT_EQ(g.row(2).data(), g.row(1).data() + 4);
}

TEST(Grid, BadSizesAreReportedNotAllocated) {
    EXPECT_THROW(ByteGrid(5, 0), GridAllocError);
    EXPECT_THROW(ByteGrid(-1, 5), GridAllocError);
    EXPECT_THROW(RealGrid(2147483647, 2147483647), GridAllocError);
    try {
        (void)RealGrid(2000000000, 2000000000);
        FAIL() << "expected GridAllocError";
    } catch (const GridAllocError& e) {
        EXPECT_EQ(e.lines(), 2000000000);
        EXPECT_EQ(e.columns(), 2000000000);
    }
}

TEST(Grid, LargeGridsAreMappedApartAndStillZeroAndWhole) {
    // Just below, at and past the size from which cells are mapped on their own, and a size
    // that is no multiple of a huge page.
    const std::int64_t at = static_cast<std::int64_t>(detail::kMappedBytes / sizeof(double));
    for (const std::int64_t cells : {at - 1, at, 3 * at + 5}) {
        RealGrid g(1, cells);
        EXPECT_EQ(g(0, 0), 0.0);
        EXPECT_EQ(g(0, cells - 1), 0.0);
        g(0, cells - 1) = 2.5;
        RealGrid copy(1, 1);
        copy = g;
        EXPECT_TRUE(copy == g);
        copy = RealGrid(1, cells);  // the copy's block goes back, another takes its place
        EXPECT_EQ(copy(0, cells - 1), 0.0);
    }
}

TEST(Grid, AGridInMemoryThatAnotherLeftDirtyStartsAtZero) {
    // The cells are not written at construction: small blocks are cleared by the allocator,
    // large ones are fresh mappings.
    const std::int64_t large = static_cast<std::int64_t>(detail::kMappedBytes / sizeof(double));
    for (const std::int64_t cells : std::initializer_list<std::int64_t>{100, large + 3}) {
        for (int round = 0; round < 2; ++round) {
            RealGrid g(1, cells);
            EXPECT_TRUE(std::all_of(g.data(), g.data() + cells, [](double v) { return v == 0.0; }))
                << cells << " cells, round " << round;
            g.fill(7.0);
        }
    }
}

TEST(Window, SizesFollowTheWindowSide) {
    const Window w(13);
    EXPECT_EQ(w.ic, 6);
    EXPECT_EQ(w.jc, 6);
    EXPECT_EQ(w.tab_fract.rows(), 14);
    EXPECT_EQ(w.tab_fract.cols(), 14);
    EXPECT_EQ(w.coord_x.size(), 169u);
    EXPECT_EQ(w.MaxLab, 169);
    const Window big(661);
    EXPECT_EQ(big.ic, 330);
    EXPECT_EQ(big.MaxLab, 661 * 661);
}

}  // namespace
}  // namespace ds
