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

// The warning for a raster file of `file_bytes` bytes that should hold `expected`, or nothing
// when it holds exactly that.
std::optional<std::string> raster_length_warning(std::int64_t file_bytes, std::int64_t expected);

// Reads the raster rows `rows` of the raster file `river_raw` (rows of tab.cols() bytes) into
// `tab`, which has that many rows; what the file does not hold stays as it is. Throws FileError.
void read_raster_rows(const std::string& river_raw, RowRange rows, ByteGrid& tab);

// The size of the file `path` in bytes. Throws FileError.
std::int64_t raster_file_bytes(const std::string& path);

// Loads `tab` from the raster `river_raw`. A file shorter than the raster is loaded as far as it
// goes, and one longer is read up to the raster's end: either way the warning is returned (one
// sentence, no line break). A file that cannot be opened or read throws FileError.
std::optional<std::string> lecture(const std::string& river_raw, ByteGrid& tab);

}  // namespace ds
