// Moving-window mean of the positive values of a real grid.
#pragma once

#include "lib/grid.h"

namespace ds {

struct PositiveSum {
    double suma = 0.0;  // sum of the values strictly greater than 0
    int ico = 0;        // how many there were
};

// Sum and count of the positive cells of `src` in rows i-half..i+half and columns
// j-half..j+half, added row by row from the top, left to right. The window must lie inside.
PositiveSum positive_window_sum(const RealGrid& src, std::int64_t i, std::int64_t j, int half);

}  // namespace ds
