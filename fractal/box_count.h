// Box-counting fractal dimension of the branch in the analysis window.
#pragma once

#include <array>

#include "lib/grid.h"
#include "lib/values.h"

namespace ds {

// The fixed box sides of a window (menu index 0 to 11): n[1..max_m], xx[m-1] = ln n[m].
struct BoxSides {
    int max_m = 0;
    std::array<int, 32> n{};
    std::array<double, 32> xx{};
};
const BoxSides& box_sides(int win_fract);

// Occupied-box counts: itot[p][m-1] for placement p (0 to 3) and side n[m].
using BoxCounts = std::array<std::array<int, 32>, 4>;

struct FractResult {
    double DF = 0.0;
    double DF_V2 = 0.0;
    double ER_0 = 0.0;
    double ER_1 = 0.0;
};

// The fits and averages over the four placements, shared by every way of counting.
FractResult fract_from_counts(const BoxSides& sides, const BoxCounts& itot);

// R² class of the frequency tables: R² x 1000 + 0.5, truncated.
int r2_class(double er);

// Literal box counting of `tab_fract` (rows and columns 0 to lig-1 / col-1; a cell equal to 1
// is on the branch) and the fits; adds one to the R² class of each fit in tab_Er0 / tab_Er1.
FractResult Fract_Explor(const ByteGrid& tab_fract, int win_fract, int lig, int col,
                         R2Histogram& tab_Er0, R2Histogram& tab_Er1);

}  // namespace ds
