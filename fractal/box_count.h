// Box-counting fractal dimension of the branch in the analysis window.
#pragma once

#include <array>

#include "lib/grid.h"
#include "lib/values.h"

namespace ds {

// The fixed box sides of a window of the menu: n[1..max_m], xx[m-1] = ln n[m].
struct BoxSides {
    int max_m = 0;
    std::array<int, 32> n{};
    std::array<double, 32> xx{};
};
// The box sides of the window of side m. Throws std::out_of_range for a side outside the menu.
const BoxSides& box_sides(int m);

// Occupied-box counts: itot[p][m-1] for placement p (0 to 3) and side n[m].
using BoxCounts = std::array<std::array<int, 32>, 4>;

struct FractResult {
    double DF = 0.0;
    double DF_V2 = 0.0;
    double ER_0 = 0.0;
    double ER_1 = 0.0;
};

// Ordinates of the fits: yy[p][m-1] = ln(itot[p][m-1] + 1).
using BoxOrdinates = std::array<std::array<double, 32>, 4>;

// The fits and averages over the four placements, shared by every way of counting.
FractResult fract_from_ordinates(const BoxSides& sides, const BoxOrdinates& yy);
// The same from the counts, taking their logarithms first.
FractResult fract_from_counts(const BoxSides& sides, const BoxCounts& itot);

// Occupied boxes of every side and placement, read literally from `tab_fract` (rows 0 to lig-1,
// columns 0 to col-1; a cell equal to 1 is on the branch). Placement p covers the square of
// (lig-1) x (col-1) cells that starts at row p / 2 and column p % 2. Throws
// std::invalid_argument when the window does not fit the grid or a side does not tile it.
BoxCounts count_boxes(const ByteGrid& tab_fract, const BoxSides& sides, int lig, int col);

// R² class of the frequency tables: R² x 1000 + 0.5, truncated.
int r2_class(double er);

// Adds one to class c; a class beyond the table (an R² off [0, 1]) is not counted.
void count_class(R2Histogram& tab, int c);

// Literal box counting of `tab_fract`, a window of side m, with the box sides of that window,
// then the fits; adds one to the R² class of each fit in tab_Er0 / tab_Er1.
FractResult Fract_Explor(const ByteGrid& tab_fract, int m, R2Histogram& tab_Er0,
                         R2Histogram& tab_Er1);

}  // namespace ds
