// Progressive smoothing with running window sums: every step in time proportional to the pixels.
#pragma once

#include <functional>

#include "lib/grid.h"

namespace ds {

// Same contract as progressive_smoothing: the (slid_win - 1) / 2 steps of sides 3, 5, ...
// slid_win, `on_step` called with each side on the calling thread, and on return dtab2 and
// dtab3 both hold the smoothed field (dtab3 all 0.0 when there is no step). The means differ
// from the literal ones only by rounding; the result is the same for every number of threads
// (below 1 acts as 1).
void progressive_smoothing_fast(RealGrid& dtab2, RealGrid& dtab3, int slid_win, int threads,
                                const std::function<void(int step)>& on_step);

}  // namespace ds
