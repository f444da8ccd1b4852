// `drainshape prepare SOURCE -o OUT`: a network raster the analysis can trust, from river lines,
// from a stream raster or from an elevation model: drawn, read or extracted, made one pixel
// wide, written as OUT.tif or as OUT.raw with OUT.txt, and summarized as `check` does.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/river_raster.h"

namespace CLI {
class App;
}

namespace ds {

struct PrepareOptions {
    std::string source;  // river lines (any vector format GDAL reads), or a stream raster
    std::string out;     // OUT.tif or OUT.raw
    // River lines.
    std::optional<std::string> layer;
    std::optional<std::string> where;
    std::optional<double> pixel_size;
    std::optional<std::string> t_srs;
    std::optional<std::array<double, 4>> extent;  // xmin, ymin, xmax, ymax
    std::optional<std::string> like;
    // A stream raster: the network value; none: every value but 0 and NoData.
    std::optional<double> value;
    // An elevation model (--from-dem): the stream threshold, in cells or in km2 drained, and the
    // folder for the filled DEM, the flow directions and the accumulation.
    bool from_dem = false;
    std::optional<std::uint64_t> threshold_cells;
    std::optional<double> threshold_area;
    std::optional<std::string> keep_intermediate;
    bool json = false;
};

// A network grid before thinning, with its georeference, what its pixels measure, and the
// provenance items its GeoTIFF carries besides the program's version.
struct PreparedNetwork {
    ByteGrid grid;
    GeoReference geo;
    PixelDescription pixel;
    std::vector<std::pair<std::string, std::string>> provenance;
    ByteGrid outlets;  // from an elevation model: the cells the thinning keeps; else empty
};

// Registers `prepare` on `app`, its options stored into `o`.
CLI::App* add_prepare_subcommand(CLI::App& app, PrepareOptions& o);

// Writes OUT and prints its summary on `out`; messages go to `err`. Returns 0; kUsageStatus
// for options that cannot be used; 1 for a file that cannot be read or written. Nothing is
// left under OUT's name unless it is complete.
int prepare_command(const PrepareOptions& o, std::ostream& out, std::ostream& err);

}  // namespace ds
