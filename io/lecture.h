// The river raster of a `.raw` file into a grid.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "lib/grid.h"

namespace ds {

// Reads `tab.rows()` rows of `tab.cols()` bytes from `f1` into `tab`, row after row; cells that
// the file does not reach keep their value. Returns the number of bytes actually read.
std::int64_t load_raster(std::FILE* f1, ByteGrid& tab);

// Loads `tab` from the raster `river_raw`. A file shorter than the raster is loaded as far as it
// goes, and one longer is read up to the raster's end: either way the warning is returned (one
// sentence, no line break). A file that cannot be opened or read throws FileError.
std::optional<std::string> lecture(const std::string& river_raw, ByteGrid& tab);

}  // namespace ds
