// The first calculation pass on every core: the same values and statistics as first_pass, with
// the branch traversed alone and the fractal dimensions kept only at the processed pixels.
#pragma once

#include <functional>
#include <vector>

#include "analysis/first_pass.h"
#include "lib/grid.h"
#include "lib/sparse_field.h"

namespace ds {

// The fractal dimensions x 100 of a pass, one value per processed pixel in row-major order;
// every other pixel is 0.0. With the TACO treatment alone the values are all 0.0.
struct FdpFields {
    SparsePositions at;
    std::vector<double> dimension;   // DF x 100, over every box side
    std::vector<double> dimension2;  // DF_V2 x 100, without side 1
    std::vector<double> r2;          // the mean R² of the four placements of each fit
    std::vector<double> r2_2;

    SparseField field(bool second) const { return {&at, second ? dimension2 : dimension}; }
    SparseField r2_field(bool second) const { return {&at, second ? r2_2 : r2}; }
};

// The pixels a pass processes: the network pixels at least `half_win` from every edge.
SparsePositions eligible_pixels(const ByteGrid& tab, int half_win);

// Fills `taco` (cleared first; the size of the raster) and `fields` as first_pass fills
// dtab2, dtab and dtab_v2, and returns the same statistics, whatever `threads` is (below 1: every
// core). `on_line` gets the same lines as in first_pass, in increasing order, from the calling
// thread, once the rows before that line are done. Throws std::invalid_argument when `taco` does
// not match the raster.
PassStats first_pass_fast(const PassInput& in, RealGrid& taco, FdpFields& fields, int threads,
                          const std::function<void(int line)>& on_line);

}  // namespace ds
