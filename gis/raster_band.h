// Band 1 of any raster GDAL reads, as bytes of a network raster, with its georeference.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "gis/geotiff.h"
#include "lib/grid.h"

namespace ds {

// How the band's values become bytes. NoData pixels always become 0.
struct BandRule {
    enum class Kind {
        Values,   // 0 stays 0, 1 stays 1, any other value becomes 2
        Network,  // 1 for the network value, 0 for everything else
        Bytes,    // the value itself, which must be a whole number from 0 to 255
    };
    Kind kind = Kind::Values;
    // Network: the value of the network pixels; none: every value but 0 (and NaN).
    std::optional<double> network_value;
};

struct BandRaster {
    ByteGrid cells;
    GeoReference geo;
    std::int64_t nodata = 0;  // pixels equal to the band's NoData value
};

// Band 1 of the raster at `path` by `rule`. Refuses (RasterError) a raster with more than
// `max_cells` pixels before allocating anything. Throws RasterError.
BandRaster read_band(const std::string& path, const BandRule& rule, std::int64_t max_cells);

}  // namespace ds
