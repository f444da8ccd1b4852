#include "fractal/regression.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace ds {
namespace {

// Abscissae of the sides 1 to 4 and the middle-row counts 12, 6, 4, 3 raised by one.
const std::array<double, 4> kX = {std::log(1.0), std::log(2.0), std::log(3.0), std::log(4.0)};
const std::array<double, 4> kY = {std::log(13.0), std::log(7.0), std::log(5.0), std::log(4.0)};

TEST(Regression, WorkedLogLogSeries) {
    EXPECT_NEAR(slope(kX.data(), kY.data(), 4), -0.8535, 5e-5);
    EXPECT_NEAR(slope2(kX.data(), kY.data(), 4), -0.8088, 5e-5);
    EXPECT_NEAR(Er_2(kX.data(), kY.data(), 4, 0), 0.99914, 5e-6);
    EXPECT_NEAR(Er_2(kX.data(), kY.data(), 4, 1), 0.99965, 5e-6);
}

TEST(Regression, PointsOnALineGiveItsSlopeAndUnitR2) {
    // Rising and falling lines: R² is the square of the correlation, never negative.
    for (const double b : {1.7, -0.6}) {
        std::array<double, 6> x{};
        std::array<double, 6> y{};
        for (std::size_t k = 0; k < x.size(); ++k) {
            x[k] = std::log(static_cast<double>(k + 1));
            y[k] = 2.5 + b * x[k];
        }
        EXPECT_NEAR(slope(x.data(), y.data(), 6), b, 1e-12);
        EXPECT_NEAR(slope2(x.data(), y.data(), 6), b, 1e-12);
        EXPECT_NEAR(Er_2(x.data(), y.data(), 6, 0), 1.0, 1e-12);
        EXPECT_NEAR(Er_2(x.data(), y.data(), 6, 1), 1.0, 1e-12);

        // Point 0 off the line: the fits without it still see a perfect line.
        y[0] += 3.0;
        EXPECT_NEAR(slope2(x.data(), y.data(), 6), b, 1e-12);
        EXPECT_NEAR(Er_2(x.data(), y.data(), 6, 1), 1.0, 1e-12);
        EXPECT_GT(std::abs(slope(x.data(), y.data(), 6) - b), 0.1);
        const double r2 = Er_2(x.data(), y.data(), 6, 0);
        EXPECT_GE(r2, 0.0);
        EXPECT_LT(r2, 0.99);
    }
}

TEST(Regression, FitsWithoutPointZeroIgnoreIt) {
    const double s2 = slope2(kX.data(), kY.data(), 4);
    const double e1 = Er_2(kX.data(), kY.data(), 4, 1);
    for (const auto& [x0, y0] :
         {std::pair{-5.0, 0.0}, std::pair{0.0, 40.0}, std::pair{2.0, -1.0}}) {
        auto x = kX;
        auto y = kY;
        x[0] = x0;
        y[0] = y0;
        EXPECT_EQ(slope2(x.data(), y.data(), 4), s2);
        EXPECT_EQ(Er_2(x.data(), y.data(), 4, 1), e1);
        // The fits over every point do move.
        EXPECT_NE(slope(x.data(), y.data(), 4), slope(kX.data(), kY.data(), 4));
    }
}

TEST(Regression, ConstantOrdinatesGiveZero) {
    std::array<double, 4> y{};
    y.fill(std::log(2.0));
    EXPECT_EQ(Er_2(kX.data(), y.data(), 4, 0), 0.0);
    EXPECT_EQ(Er_2(kX.data(), y.data(), 4, 1), 0.0);
    EXPECT_LT(std::abs(slope(kX.data(), y.data(), 4)), 1e-15);
    // The three-point sums of plain doubles leave a residue of about 1.2e-15.
    EXPECT_LT(std::abs(slope2(kX.data(), y.data(), 4)), 1e-14);
}

}  // namespace
}  // namespace ds
