// Flow accumulation: how many cells drain through each cell.
#pragma once

#include <cstdint>

#include "dem/dem_grid.h"

namespace ds {

using CountGrid = Grid<std::uint32_t>;

// For every value cell, the number of value cells whose D8 path passes through it, itself
// included; 0 on NoData. A path ends where a direction points out of the raster, at NoData, or
// is 0. O(n): cells are taken as soon as every cell draining into them is done (in-degree
// counting). Throws std::invalid_argument for a code that is not a D8 code, on a raster of 2^32
// cells or more, and std::logic_error when the directions form a loop.
CountGrid flow_accumulation(const ByteGrid& dir, const ByteGrid& nodata);

}  // namespace ds
