// Thinning of a network to one pixel wide without changing its topology.
#pragma once

#include <cstdint>

#include "lib/grid.h"

namespace ds {

// Removes redundant network pixels (value 1; see network/simple_point.h) until none is left,
// and returns how many were removed. Every removal keeps the 8-connected components of the
// network and the 4-connected regions of the background, so components and loops stay as they
// were, and branch ends are never removed. The layers are peeled from the north, south, east
// and west sides in turn, so that thick lines thin towards their middle. Pixels of other
// values are background and stay as they are. A raster without redundant pixels is left
// unchanged, and the same raster always gives the same result. Pixels where `kept` (of the
// raster's shape) is nonzero are never removed: a stream's outlet, which a turn at the edge
// would otherwise leave redundant.
std::int64_t thin_network(ByteGrid& raster, const ByteGrid* kept = nullptr);

}  // namespace ds
