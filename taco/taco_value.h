// The Tortuosity And Confluent (TACO) value of the branch through a pixel.
#pragma once

#include "lib/grid.h"
#include "lib/window.h"

namespace ds {

// R from the branch length L (pixels), its confluence count Nc and the window side m; Nc up
// to MNC values the branch as a meander. Double precision, no clamping.
double taco_value(int L, int Nc, int m, int MNC);

// Literal count on `w.tab_fract`: copies it into `w.tab_in`, counts L and the confluences
// (marking each as 2), and when the window centre is on the branch stores the value into
// dtab2(ic, jc), the pixel's image row and column. Returns whether a value was stored.
bool New_Vosmek_Treatment(Window& w, int lig, int col, int ic, int jc, int MNC, RealGrid& dtab2);

}  // namespace ds
