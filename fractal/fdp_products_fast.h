// FDP images from a sparse dimension field, the regional one with running window sums.
#pragma once

#include <functional>

#include "lib/grid.h"
#include "lib/sparse_field.h"
#include "lib/values.h"

namespace ds {

// Network image of a sparse field: the same bytes as fdp_network_image on its dense equivalent.
void fdp_network_image(const SparseField& dtab, ByteGrid& tab_out);

// Regional image of a sparse field: the same bytes and histogram as fdp_regional_image on its
// dense equivalent, for every number of threads (below 1 acts as 1). `on_line` gets the same
// lines, in increasing order, on the calling thread.
Histogram fdp_regional_image_fast(const SparseField& dtab, int bord, ByteGrid& tab_out, int threads,
                                  const std::function<void(int line)>& on_line);

}  // namespace ds
