// D8 flow directions (O'Callaghan and Mark 1984): each cell drains to the neighbour with the
// steepest drop.
#pragma once

#include "dem/dem_grid.h"

namespace ds {

// Direction codes of the filled model `dem` (codes in dem/dem_grid.h). A value cell points at
// the value neighbour of largest drop per distance (a diagonal lies sqrt(w^2 + h^2) away), ties
// to the first in code order. A cell without a lower neighbour that lies on the edge or next to
// NoData points out of the model: at the first of east, south, west, north, south-east,
// south-west, north-west, north-east that is outside the raster or NoData. Every other cell
// without a lower neighbour lies on a flat and keeps 0, as NoData does: resolve_flats gives
// those their direction. Rows are shared among threads; the result does not depend on their
// number.
ByteGrid d8_directions(const DemGrid& dem);

}  // namespace ds
