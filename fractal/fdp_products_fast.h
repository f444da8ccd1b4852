// FDP images from a sparse dimension field, the regional one with running window sums.
#pragma once

#include <functional>

#include "lib/grid.h"
#include "lib/sparse_field.h"
#include "lib/values.h"

namespace ds {

// Network image of a sparse field: the same bytes as fdp_network_image on its dense equivalent.
void fdp_network_image(const SparseField& field, ByteGrid& image);

// Regional image of a sparse field: the same bytes and histogram as fdp_regional_image on its
// dense equivalent, for every number of threads (below 1 acts as 1). `on_line` gets the same
// lines, in increasing order, on the calling thread.
Histogram fdp_regional_image_fast(const SparseField& field, int margin, ByteGrid& image,
                                  int threads, const std::function<void(int line)>& on_line);

// The same where `field` holds only some rows of a raster, whose other rows other processes hold:
// the window sums are packed for `vmax`, the largest value of the whole raster's field, which
// every process must share to give the bytes of the whole raster. With `dimensions` (the image's
// size): the Float32 dimensions of fdp_regional_image, to the last bit (a window whose Float32
// value the error of its sums leaves in doubt is summed again in the literal order).
Histogram fdp_regional_image_fast(const SparseField& field, int margin, double vmax,
                                  ByteGrid& image, int threads,
                                  const std::function<void(int line)>& on_line,
                                  FloatGrid* dimensions = nullptr);

// The largest value of a sparse field's rows `rows` (0.0 when none is positive).
double largest_value(const SparseField& f, RowRange rows);

}  // namespace ds
