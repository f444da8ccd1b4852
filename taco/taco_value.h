// The Tortuosity And Confluent (TACO) value of the branch through a pixel.
#pragma once

#include "lib/grid.h"
#include "lib/window.h"

namespace ds {

// R from the branch length L (pixels), its confluence count Nc (>= 0) and the window side m;
// Nc up to MNC values the branch as a meander (a negative MNC acts like 0). Double precision,
// no clamping: crowded windows give values below 0.
double taco_value(int L, int Nc, int m, int MNC);

// Confluences of the branch in `tab_in` (1 = branch): the cells of rows 1 to lig-2 and
// columns 1 to col-2, in row order, with exactly three neighbours equal to 1. Each one is
// marked 2 at once and no longer counts as a neighbour; the marks are left for the caller.
// Throws std::invalid_argument when lig or col exceeds tab_in.
int count_confluences(ByteGrid& tab_in, int lig, int col);

// Literal count on `w.tab_fract`: copies it into `w.tab_in`, counts L and the confluences
// (marking each as 2), and when the window centre is on the branch stores the value into
// dtab2(ic, jc), the pixel's image row and column, and turns the marks back into 1. Returns
// whether a value was stored. Throws std::out_of_range when (ic, jc) lies outside dtab2.
bool New_Vosmek_Treatment(Window& w, int ic, int jc, int MNC, RealGrid& dtab2);

}  // namespace ds
