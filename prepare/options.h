// What a preparation is asked (its options, as values) and what it tells as it goes: each step
// as it ends, with its time and its counts, and the warnings, each one line.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gis/dem_raster.h"
#include "prepare/river_raster.h"

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
    bool json = false;  // for the front end: its summary as one JSON object
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

// One step of a preparation, as it ends. `name` says which, and which fields it fills:
//   "raster"        count: the network pixels of a stream raster
//   "lines"         the layer read, count: its features, lines, skipped (with skipped_types),
//                   lost_points
//   "read"          an elevation model read: rows, cols, count: its NoData cells, cell_width,
//                   cell_height, crs (the kind), crs_name (of the projection reprojected to)
//   "fill"          count: the cells raised
//   "d8", "accumulation"
//   "flats"         count: the cells drained across flats
//   "streams"       count: the stream cells, threshold_cells: the cells they drain at least
//   "holes"         count: the cells between stream paths side by side made stream cells
//   "intermediates" the filled DEM, the directions and the accumulation written (not in place)
//   "thinning"      count: the redundant pixels removed
//   "written"       files: the output, and its descriptor for a .raw, in place
//   "kept"          files: the intermediates, in place
struct PrepareStep {
    std::string name;
    double seconds = 0;  // the time the step took
    std::int64_t count = 0;
    std::int64_t rows = 0;
    std::int64_t cols = 0;
    double cell_width = 0;
    double cell_height = 0;
    CrsKind crs = CrsKind::none;
    std::string crs_name{};
    std::uint64_t threshold_cells = 0;
    std::string layer{};
    std::int64_t lines = 0;
    std::int64_t skipped = 0;
    std::string skipped_types{};
    std::int64_t lost_points = 0;
    std::vector<std::string> files{};
};

// Where a preparation reports; either may be empty. A warning is one line, without a prefix.
struct PrepareCallbacks {
    std::function<void(const PrepareStep&)> step;
    std::function<void(const std::string&)> warning;

    void report(const PrepareStep& s) const {
        if (step)
            step(s);
    }
    void warn(const std::string& text) const {
        if (warning)
            warning(text);
    }
};

}  // namespace ds
