// Progressive smoothing with running window sums: every step in time proportional to the pixels.
#pragma once

#include <cstdint>
#include <functional>

#include "lib/grid.h"
#include "taco/smoothing.h"

namespace ds {

// Same contract as progressive_smoothing: the (side - 1) / 2 steps of sides 3, 5, ...
// `side`, `on_step` called with each side on the calling thread, and on return values and
// scratch both hold the smoothed field (scratch all 0.0 when there is no step). The means differ
// from the literal ones only by rounding; the result is the same for every number of threads
// (below 1 acts as 1).
void progressive_smoothing_fast(RealGrid& values, RealGrid& scratch, int side, int threads,
                                const std::function<void(int step)>& on_step);

// progressive_smoothing_band with running window sums: the own rows of the returned grid get
// the very bytes that progressive_smoothing_fast gives the whole raster, when every band of the
// raster takes part with the same `vmax`, the largest initial value of the whole raster (0.0
// when none is positive). Between the steps the grids hold packed cells, which `share` copies.
RealGrid& progressive_smoothing_band_fast(RealGrid& a, RealGrid& b, const SmoothingBand& band,
                                          int side, double vmax, int threads,
                                          const ShareRows& share,
                                          const std::function<void(int step)>& on_step);

// On one or two threads, the steps of the whole raster's smoothing are chained along the rows in
// groups whose rows in use fit in the bytes of cache given here (0: the default, 12 MiB), when
// its two fields do not; for tests and measurements, before a smoothing starts. The results are
// the same.
void set_chain_cache(std::int64_t bytes);

// The largest positive value of a field (0.0 when there is none), on every thread.
double largest_value(const RealGrid& g, int threads);

}  // namespace ds
