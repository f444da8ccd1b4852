// A network raster as `check` and `prepare` read it: a .raw with its .txt descriptor beside
// it, or band 1 of any raster GDAL reads, with what its pixels measure.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "gis/geotiff.h"
#include "gis/raster_band.h"
#include "lib/grid.h"

namespace ds {

// A file that cannot be read, with the one line that says why.
class InputError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// What a pixel measures, and in what.
struct PixelDescription {
    double size = 0;          // the pixel width in the coordinate system's unit; 0 unknown
    std::string unit;         // "metre", "degree"; empty when unknown
    std::string crs;          // the coordinate system's name; empty when none
    bool geographic = false;  // a size in degrees
    double metres = 0;        // the size in metres; 0 when it is not in a linear unit
};

struct RiverRaster {
    ByteGrid cells;
    bool raw = false;
    GeoReference geo;         // none for a .raw
    std::int64_t nodata = 0;  // NoData pixels, read as 0
    PixelDescription pixel;
    std::string warning;  // something the user should know, one line; empty when none
};

// What the pixels of a raster with the georeference `geo` measure: the geotransform's pixel
// width, in metres when the coordinate system is projected, taken as metres when there is none.
PixelDescription describe_pixel(const GeoReference& geo);

// The extension of `path` in lower case, with its dot: ".raw", ".tif".
std::string lower_extension(const std::string& path);

// Whether `path` names a .raw river (any case).
bool is_raw_path(const std::string& path);

// Reads the raster at `path`, its values mapped by `rule` (for a .raw, the bytes are the
// values). Throws InputError for a file that cannot be read, with the file's name in it.
RiverRaster read_river_raster(const std::string& path, const BandRule& rule);

}  // namespace ds
