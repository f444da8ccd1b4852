// FDP images: the network image of a dimension grid and its regional (moving-mean) image.
#pragma once

#include <functional>

#include "lib/grid.h"
#include "lib/values.h"

namespace ds {

// Network image: every pixel gets the low 8 bits of its rounded dimension x 100.
void fdp_network_image(const RealGrid& dtab, ByteGrid& tab_out);

// Regional image: inside the margin `bord`, the rounded mean of the positive values of the
// window of side 2 * bord + 1; counted in its bin. `on_line` gets i + 1 as each row i inside
// the margin starts. Returns the histogram. With `dimensions` (the image's size), the Float32
// dimension (dimension_of) of each mean, NaN where the window holds no positive value and outside
// the margin.
Histogram fdp_regional_image(const RealGrid& dtab, int bord, ByteGrid& tab_out,
                             const std::function<void(int line)>& on_line,
                             FloatGrid* dimensions = nullptr);

}  // namespace ds
