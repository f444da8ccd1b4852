// Moving-window mean of the positive values of a real grid.
#pragma once

#include "lib/grid.h"

namespace ds {

struct PositiveSum {
    double sum = 0.0;  // sum of the values strictly greater than 0
    int count = 0;     // how many there were
};

// Sum and count of the positive cells of `src` in rows i-half..i+half and columns
// j-half..j+half, added row by row from the top, left to right. The window must lie inside.
PositiveSum positive_window_sum(const RealGrid& src, std::int64_t i, std::int64_t j, int half);

// Every pixel of rows first + half to first + rows - half - 1 and columns half to
// cols - half - 1 of `dst` gets the mean of positive_window_sum over `src` (0.0 when the window
// holds no positive value): the moving mean of the band of rows first to first + rows - 1 as
// if it were the whole grid. The other pixels are left as they are.
void positive_mean(const RealGrid& src, int half, RealGrid& dst, std::int64_t first,
                   std::int64_t rows);

}  // namespace ds
