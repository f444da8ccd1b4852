// The third stage of a run: the river raster into `tab`, isolated network pixels taken out.
#pragma once

#include <cstdint>
#include <cstdio>
#include <iostream>

#include "app/run_state.h"
#include "lib/grid.h"

namespace ds {

// Reads `tab.rows()` rows of `tab.cols()` bytes from `f1` into `tab`, row after row; cells that
// the file does not reach keep their value. Returns the number of bytes actually read.
std::int64_t load_raster(std::FILE* f1, ByteGrid& tab);

// Sets to 255 every network pixel (value 1) off the outer rows and columns that has none of its
// eight neighbours equal to 1.
void mark_isolated(ByteGrid& tab);

// Loads s.tab from s.f1 and marks its isolated pixels. A file shorter than the raster is
// loaded as far as it goes, and one longer is read up to the raster's end, each with a warning
// on `err`; a read error throws FileError.
void lecture(RunState& s, std::ostream& err = std::cerr);

}  // namespace ds
