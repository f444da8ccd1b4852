#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "fractal/fdp_products.h"
#include "io/formats.h"
#include "io/out_file.h"
#include "lib/moving_mean.h"
#include "taco/smoothing.h"
#include "taco/taco_products.h"
#include "tests/collect_products.h"

namespace ds {
namespace {

int total(const Histogram& h) {
    return std::accumulate(h.begin(), h.end(), 0);
}

// True when `image` holds `value` exactly on rows/columns lo..hi and 0 everywhere else.
bool is_square(const ByteGrid& image, int lo, int hi, unsigned char value) {
    for (std::int64_t i = 0; i < image.rows(); ++i)
        for (std::int64_t j = 0; j < image.cols(); ++j) {
            const bool inside = i >= lo && i <= hi && j >= lo && j <= hi;
            if (image(i, j) != (inside ? value : 0))
                return false;
        }
    return true;
}

TEST(PositiveWindowSum, CountsPositiveCellsOfTheWindowOnly) {
    RealGrid g(5, 5);
    g.fill(7.0);  // outside the window: never read
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c)
            g(r, c) = 0.0;
    g(1, 3) = 1e16;
    g(2, 1) = 1.0;
    g(3, 1) = 1.0;
    g(2, 2) = -4.0;
    const PositiveSum s = positive_window_sum(g, 2, 2, 1);
    EXPECT_EQ(s.count, 3);
    // Row by row from the top: 1e16 comes first and absorbs both ones. Summed by columns (or
    // as running column sums) the ones would add up to 2 first and survive.
    EXPECT_EQ(s.sum, 1e16);
}

TEST(ProgressiveSmoothing, StepsGrowBySideTwoUpToTheRegionalWindow) {
    RealGrid dtab2(20, 20), dtab3 = RealGrid(20, 20);
    std::vector<int> sides;
    progressive_smoothing(dtab2, dtab3, 13, [&](int step) { sides.push_back(step); });
    EXPECT_EQ(sides, (std::vector<int>{3, 5, 7, 9, 11, 13}));
}

TEST(ProgressiveSmoothing, AveragesPositiveValuesAndClearsTheBorderEachStep) {
    RealGrid dtab2(5, 8), dtab3 = RealGrid(5, 8);
    dtab2(0, 0) = 50.0;  // on the border: read by (1, 1), then cleared
    dtab2(2, 2) = 100.0;
    dtab2(2, 3) = 200.0;
    dtab2(3, 2) = -10.3;  // negative: no part in any mean
    dtab2(3, 6) = -7.0;
    dtab2(0, 7) = 60.0;  // corner: read by (1, 6) only
    progressive_smoothing(dtab2, dtab3, 3, {});
    EXPECT_EQ(dtab2(0, 0), 0.0);
    EXPECT_EQ(dtab2(1, 1), (50.0 + 100.0) / 2);
    EXPECT_EQ(dtab2(1, 2), 150.0);
    EXPECT_EQ(dtab2(3, 2), 150.0);
    EXPECT_EQ(dtab2(3, 6), 0.0);  // its window holds only a negative value
    EXPECT_EQ(dtab2(1, 6), 60.0);
    EXPECT_EQ(dtab2(0, 7), 0.0);
    EXPECT_TRUE(dtab2 == dtab3);
}

TEST(ProgressiveSmoothing, SingleValueSpreadsIntoThe43Square) {
    RealGrid dtab2(61, 61), dtab3 = RealGrid(61, 61);
    dtab2(30, 30) = 150.0;
    progressive_smoothing(dtab2, dtab3, 13, {});
    ByteGrid tab_out2(61, 61);
    const Histogram h = taco_regional_image(dtab3, 6, tab_out2);
    EXPECT_TRUE(is_square(tab_out2, 30 - 21, 30 + 21, 150));
    EXPECT_EQ(h[150], 1849);
    EXPECT_EQ(h[0], 49 * 49 - 1849);  // the rest of the margin, counted in bin 0
    EXPECT_EQ(total(h), 49 * 49);

    const std::string text = test::table_bytes(image_table(*find_product("TAC_RI"), h, 0, 0));
    EXPECT_NE(text.find("\n150\t1849\t100.000000\n"), std::string::npos);
    EXPECT_NE(text.find("\n149\t0\t0.000000\n"), std::string::npos);
}

TEST(TacoExtremes, TakeOnlyTheRegionalMargin) {
    RealGrid dtab2(20, 20);
    dtab2(3, 3) = 500.0;    // between the analysis and the regional margin
    dtab2(10, 16) = 0.1;    // idem
    dtab2(6, 6) = 80.0;     // first cell inside
    dtab2(13, 13) = 0.3;    // last cell inside
    dtab2(10, 10) = -20.0;  // never a minimum
    const TacoExtremes e = taco_extremes(dtab2, 6);
    EXPECT_EQ(e.min, 0.3);
    EXPECT_EQ(e.max, 80.0);

    RealGrid none(20, 20);
    none(10, 10) = -5.0;
    none(0, 0) = 90.0;
    const TacoExtremes n = taco_extremes(none, 6);
    EXPECT_EQ(n.min, 1000.0);
    EXPECT_EQ(n.max, 0.0);
}

TEST(TacoNetworkImage, RoundsStoresLowBitsAndCountsNonZeroValues) {
    RealGrid dtab2(2, 4);
    ByteGrid tab_out2(2, 4);
    tab_out2.fill(9);  // stale content is cleared
    dtab2(0, 0) = 0.3;
    dtab2(0, 1) = 150.5;
    dtab2(0, 2) = -10.3;
    dtab2(1, 3) = 199.4;
    dtab2(1, 1) = -0.3;  // rounds into bin 0: counted
    const Histogram h = taco_network_image(dtab2, tab_out2);
    EXPECT_EQ(tab_out2(0, 0), 0);
    EXPECT_EQ(tab_out2(0, 1), 151);
    EXPECT_EQ(tab_out2(0, 2), 247);
    EXPECT_EQ(tab_out2(1, 3), 199);
    EXPECT_EQ(tab_out2(1, 0), 0);
    EXPECT_EQ(tab_out2(1, 1), 0);
    EXPECT_EQ(h[0], 2);  // 0.3 and -0.3; the exact zeros are not counted
    EXPECT_EQ(h[151], 1);
    EXPECT_EQ(h[199], 1);
    EXPECT_EQ(total(h), 4);  // -10.3 has no bin
}

TEST(TacoRegionalImage, TruncatesInsideTheMarginAndCountsZeros) {
    RealGrid dtab3(8, 9);
    ByteGrid tab_out2(8, 9);
    dtab3(0, 4) = 120.0;  // border: stays 0, not counted
    dtab3(2, 2) = 150.9;
    dtab3(3, 3) = 0.7;
    const Histogram h = taco_regional_image(dtab3, 2, tab_out2);
    EXPECT_EQ(tab_out2(2, 2), 150);
    EXPECT_EQ(tab_out2(3, 3), 0);
    EXPECT_EQ(tab_out2(0, 4), 0);
    EXPECT_EQ(h[150], 1);
    EXPECT_EQ(h[0], 5 * 4 - 1);
    EXPECT_EQ(h[120], 0);
}

TEST(TacoProducts, TheSameOnAnyNumberOfThreads) {
    // Values of every kind, signed zeros among the extremes' candidates, over rows that do not
    // split evenly.
    RealGrid dtab(37, 23);
    std::uint64_t x = 88172645463325252ull;
    for (std::int64_t k = 0; k < dtab.size(); ++k) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        const double v = static_cast<double>(x % 3000) / 7.0 - 60.0;
        dtab.data()[k] = x % 5 == 0 ? 0.0 : x % 7 == 0 ? -0.0 : v;
    }
    ByteGrid one(37, 23), many(37, 23);
    for (const int threads : {2, 3, 8, 64}) {
        const TacoExtremes a = taco_extremes(dtab, 4, 1), b = taco_extremes(dtab, 4, threads);
        EXPECT_EQ(a.min, b.min);
        EXPECT_EQ(a.max, b.max);
        many.fill(9);
        EXPECT_EQ(taco_network_image(dtab, one, 1), taco_network_image(dtab, many, threads));
        EXPECT_TRUE(one == many);
        many.fill(9);
        EXPECT_EQ(taco_regional_image(dtab, 5, one, 1),
                  taco_regional_image(dtab, 5, many, threads));
        EXPECT_TRUE(one == many) << threads << " threads";
    }
}

TEST(FdpNetworkImage, RoundsEveryPixel) {
    RealGrid dtab(2, 3);
    ByteGrid tab_out(2, 3);
    dtab(0, 0) = 123.45;
    dtab(1, 2) = 123.5;
    dtab(0, 2) = 260.0;
    fdp_network_image(dtab, tab_out);
    EXPECT_EQ(tab_out(0, 0), 123);
    EXPECT_EQ(tab_out(1, 2), 124);
    EXPECT_EQ(tab_out(0, 2), 4);  // low 8 bits of 260
    EXPECT_EQ(tab_out(1, 0), 0);
}

TEST(FdpRegionalImage, SingleValueFillsTheRegionalWindow) {
    RealGrid dtab(40, 40);
    ByteGrid tab_out(40, 40);
    dtab(20, 20) = 123.45;
    const Histogram h = fdp_regional_image(dtab, 6, tab_out, {});
    EXPECT_TRUE(is_square(tab_out, 14, 26, 123));
    EXPECT_EQ(h[123], 169);
    EXPECT_EQ(total(h), 169);  // windows without a positive value are counted nowhere
}

TEST(FdpRegionalImage, RoundedMeanOfPositiveValues) {
    RealGrid dtab(5, 5);
    ByteGrid tab_out(5, 5);
    dtab(1, 1) = 120.0;
    dtab(2, 3) = 125.0;
    dtab(3, 2) = 126.0;
    dtab(3, 3) = -50.0;
    dtab(0, 0) = 250.0;  // border and outside the window of (2, 2)
    const Histogram h = fdp_regional_image(dtab, 1, tab_out, {});
    EXPECT_EQ(tab_out(2, 2), 124);  // 123.67
    EXPECT_EQ(tab_out(1, 1), 185);  // (250 + 120) / 2
    EXPECT_EQ(tab_out(0, 0), 0);
    EXPECT_EQ(h[124], 1);
}

TEST(FdpRegionalImage, BorderOfWidthBordIsZero) {
    RealGrid dtab(10, 12);
    ByteGrid tab_out(10, 12);
    dtab.fill(100.0);
    const Histogram h = fdp_regional_image(dtab, 3, tab_out, {});
    for (std::int64_t i = 0; i < 10; ++i)
        for (std::int64_t j = 0; j < 12; ++j) {
            const bool inside = i >= 3 && i < 7 && j >= 3 && j < 9;
            EXPECT_EQ(tab_out(i, j), inside ? 100 : 0) << i << "," << j;
        }
    EXPECT_EQ(h[100], 4 * 6);
}

TEST(FdpRegionalImage, WindowLargerThanTheRasterComputesNothing) {
    RealGrid dtab(20, 20);
    ByteGrid tab_out(20, 20);
    dtab.fill(150.0);
    int lines = 0;
    const Histogram h = fdp_regional_image(dtab, 30, tab_out, [&](int) { ++lines; });
    EXPECT_EQ(total(h), 0);
    EXPECT_EQ(lines, 0);
    for (std::int64_t i = 0; i < 20; ++i)
        for (std::int64_t j = 0; j < 20; ++j)
            EXPECT_EQ(tab_out(i, j), 0);
}

TEST(FdpRegionalImage, ProgressOnEveryLineInsideTheMargin) {
    RealGrid dtab(120, 15);
    ByteGrid tab_out(120, 15);
    std::vector<int> lines;
    fdp_regional_image(dtab, 6, tab_out, [&](int line) { lines.push_back(line); });
    std::vector<int> inside(120 - 12);
    std::iota(inside.begin(), inside.end(), 7);  // rows 6 to 113 start
    EXPECT_EQ(lines, inside);
}

TEST(Products, MismatchedImageBufferIsRejected) {
    RealGrid values(4, 5);
    ByteGrid image(5, 4);
    EXPECT_THROW(fdp_network_image(values, image), std::invalid_argument);
    EXPECT_THROW(taco_network_image(values, image), std::invalid_argument);
    RealGrid scratch(4, 4);
    EXPECT_THROW(progressive_smoothing(values, scratch, 13, {}), std::invalid_argument);
}

}  // namespace
}  // namespace ds
