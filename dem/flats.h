// Drainage across flats (after Barnes, Lehman and Mulla 2014, "An efficient assignment of
// drainage direction over flat surfaces in raster digital elevation models", which builds on
// Garbrecht and Martz 1997): flow over a flat goes towards its outlets and away from the
// higher terrain around it, so that it gathers along the middle of a flat valley floor instead
// of running in parallel lines.
#pragma once

#include <cstdint>

#include "dem/dem_grid.h"

namespace ds {

struct FlatResolution {
    std::int64_t flat_cells = 0;  // value cells that had no direction
    std::int64_t unresolved = 0;  // of those, cells of flats without an outlet (still 0)
};

// Gives a direction to each value cell of `dir` (from d8_directions of the same filled `dem`)
// that has none. A flat is a connected set of such cells of one elevation; its outlets are the
// cells of that elevation next to it that already drain (they keep their direction). On a
// filled model every flat has an outlet and every cell is resolved; flats of a model that was
// not filled may have none, and their cells keep 0. O(n).
FlatResolution resolve_flats(const DemGrid& dem, ByteGrid& dir);

}  // namespace ds
