// TACO products: extremes, the network image and the regional image of the smoothed field.
#pragma once

#include <functional>

#include "lib/grid.h"
#include "lib/values.h"

namespace ds {

struct TacoExtremes {
    double min = 1000.0;  // smallest positive value
    double max = 0.0;     // largest value
};

// Each function below gives the same result on any number of `threads` (below 1 acts as 1).

// Extremes over rows and columns margin to size-margin-1 of the unsmoothed values.
TacoExtremes taco_extremes(const RealGrid& values, int margin, int threads = 1);
// The same over the grid rows `rows` only (a grid that holds some rows of the raster: the
// caller has kept them within the margin).
TacoExtremes taco_extremes(const RealGrid& values, int margin, RowRange rows, int threads = 1);

// Network image: every pixel gets the low 8 bits of its rounded value; every value other than
// 0.0 whose bin lies in 0 to 255 is counted. Returns counts.
Histogram taco_network_image(const RealGrid& values, ByteGrid& image, int threads = 1);

// Regional image: inside a margin of `margin` pixels, the smoothed value truncated (no 0.5 added),
// counted in its bin, zeros included; 0 outside. Returns counts.
Histogram taco_regional_image(const RealGrid& smoothed, int margin, ByteGrid& image,
                              int threads = 1);
// The same where only the grid rows `rows` lie inside the margin.
Histogram taco_regional_image(const RealGrid& smoothed, int margin, ByteGrid& image, RowRange rows,
                              int threads = 1);

}  // namespace ds
