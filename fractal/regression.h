// Least-squares fits of log-log series: slopes and coefficients of determination.
#pragma once

namespace ds {

// Slope of y on x over points 0 to M-1.
double slope(const double* x, const double* y, int M);
// Slope of y on x over points 1 to M-1.
double slope2(const double* x, const double* y, int M);
// R² over points `box` to M-1 (box 0: every point, box 1: all but the first); 0.0 when the
// ordinates are constant.
double Er_2(const double* x, const double* y, int M, int box);

}  // namespace ds
