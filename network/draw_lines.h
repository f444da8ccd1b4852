// Drawing of river lines into a raster, so that lines that touch in the data touch in the
// raster.
#pragma once

#include <cstdint>
#include <vector>

#include "lib/grid.h"

namespace ds {

struct XY {
    double x = 0;
    double y = 0;
};
using Polyline = std::vector<XY>;

// Where the pixels lie, as a north-up geotransform: pixel (row, col) covers x from
// x0 + col * dx to x0 + (col + 1) * dx and y from y0 + row * dy to y0 + (row + 1) * dy (dy is
// negative when row 0 is the northern edge).
struct GridFrame {
    double x0 = 0;
    double dx = 1;
    double y0 = 0;
    double dy = -1;
};

// Sets to 1 the pixels of every line of `lines` that fall inside `raster`. Each vertex sets
// the pixel that holds it, and each segment an 8-connected path between the pixels of its two
// vertices: along its longer axis, one pixel per column (or row), the one that holds the line at
// the column's middle. Hence lines that share a vertex share its pixel, and a line that ends on
// another one, or crosses it, is drawn 8-adjacent to it (the line's pixel in that column is at
// most one away from the meeting point's). Corners where the path steps aside are left for the
// thinning. Points that are not finite are left out, with the segments that reach them.
// Returns the number of line segments drawn (at least partly inside the raster or not).
std::int64_t draw_lines(const std::vector<Polyline>& lines, const GridFrame& frame,
                        ByteGrid& raster);

}  // namespace ds
