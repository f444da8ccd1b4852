// Depression filling by Priority-Flood (Barnes, Lehman and Mulla 2014, with a plain queue for
// the cells of pits).
#pragma once

#include <cstdint>

#include "dem/dem_grid.h"

namespace ds {

// Raises every cell of `dem.z` that lies in a depression to the level at which water would
// spill out of it, and leaves every other cell as it is: afterwards each value cell has a path
// that never climbs to the edge of the raster or to a NoData cell (both are outside, so the
// flood starts from the cells on the edge and from those next to NoData). Flats remain flat.
// O(n log n) for the cells that climb, O(1) each for the cells of pits. Returns the number of
// cells raised. Throws std::invalid_argument when check_dem fails.
std::int64_t fill_depressions(DemGrid& dem);

// Whether a value cell (r, c) can drain out directly: it lies on the edge of the raster or has
// a NoData neighbour.
bool drains_out(const DemGrid& dem, std::int64_t r, std::int64_t c);

}  // namespace ds
