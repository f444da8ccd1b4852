// Isolated network pixels, which the analysis leaves out.
#pragma once

#include "lib/grid.h"

namespace ds {

// Sets to 255 every network pixel (value 1) off the outer rows and columns that has none of its
// eight neighbours equal to 1.
void mark_isolated(ByteGrid& tab);

}  // namespace ds
