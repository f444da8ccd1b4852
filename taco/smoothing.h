// Progressive smoothing of the TACO field with windows of side 3, 5, ... slid_win.
#pragma once

#include <functional>

#include "lib/grid.h"

namespace ds {

// Runs the (slid_win - 1) / 2 steps; each step replaces dtab2 by the moving-window mean of its
// positive values (dtab3 is the scratch and ends equal to dtab2). `on_step` gets each side.
void progressive_smoothing(RealGrid& dtab2, RealGrid& dtab3, int slid_win,
                           const std::function<void(int step)>& on_step);

}  // namespace ds
