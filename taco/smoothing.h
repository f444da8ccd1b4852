// Progressive smoothing of the TACO field with windows of side 3, 5, ... slid_win.
#pragma once

#include <cstdint>
#include <functional>

#include "lib/grid.h"

namespace ds {

// Runs the (slid_win - 1) / 2 steps; each step replaces dtab2 by the moving-window mean of its
// positive values (dtab3 is the scratch and ends equal to dtab2). `on_step` gets each side.
void progressive_smoothing(RealGrid& dtab2, RealGrid& dtab3, int slid_win,
                           const std::function<void(int step)>& on_step);

// A band of a raster's rows, as one of several processes holds it: its grids hold the raster's
// rows from `first` on, and it computes the rows `own`.
struct SmoothingBand {
    std::int64_t first = 0;
    std::int64_t raster_rows = 0;
    RowRange own;
};

// Called before every step with the grid that the step reads and the raster rows it reads
// (`need`): fills the rows of `need` outside the band's own rows with the cells that their
// owners hold in their own grid at this call, copied bit for bit (they may be packed integers).
using ShareRows = std::function<void(RealGrid& g, RowRange need)>;

// The rows that a step of half side `half` reads to compute the band's own rows.
RowRange step_rows(const SmoothingBand& band, int half);

// progressive_smoothing over the own rows of a band: `a` holds the initial values of the own
// rows, `b` is the scratch, both holding the own rows and the halo of the largest step. Returns
// the grid (a or b) whose own rows hold those of the whole raster's smoothed field (0.0 when
// there is no step), when every band of the raster takes part.
RealGrid& progressive_smoothing_band(RealGrid& a, RealGrid& b, const SmoothingBand& band,
                                     int slid_win, const ShareRows& share,
                                     const std::function<void(int step)>& on_step);

// Throws std::invalid_argument unless the grids hold the band's own rows and the rows of every
// step of half side up to `half`.
void check_band(const RealGrid& a, const RealGrid& b, const SmoothingBand& band, int half);

// Sets the cells of the band's own rows of `g` that lie within `half` of the raster's edges, and
// at least `done` from them (those nearer are 0.0 already), to 0.0: where a step writes nothing.
void clear_band_border(RealGrid& g, const SmoothingBand& band, std::int64_t done,
                       std::int64_t half);

}  // namespace ds
