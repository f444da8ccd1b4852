// River lines from any vector format GDAL reads, in the coordinates they are to be drawn in.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "gis/crs.h"
#include "network/draw_lines.h"

namespace ds {

// A vector source that cannot be opened or read.
class VectorError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class SourceKind { Vector, Raster, Unknown };

// Whether GDAL opens `path` as vectors (it has a layer) or as a raster; Unknown when it opens
// neither or GDAL is not built in.
SourceKind source_kind(const std::string& path);

struct LineQuery {
    std::string path;
    std::optional<std::string> layer;  // required when the source has several layers
    std::optional<std::string> where;  // an attribute filter, as OGR's SQL WHERE clause
    std::string target_wkt;            // the coordinates to give; empty: the source's own
};

struct VectorLines {
    std::vector<Polyline> lines;     // every line string, those of multi-lines one by one
    std::string layer;               // the layer read
    std::string source_wkt;          // the layer's coordinate system; empty when it has none
    std::int64_t features = 0;       // features selected
    std::int64_t line_features = 0;  // of which lines or multi-lines
    std::int64_t skipped = 0;        // of which other geometries, left out
    std::string skipped_types;       // their types, "Point, Polygon"
    std::int64_t lost_points = 0;    // vertices that could not be reprojected, left out
    // The box of the vertices read, in the coordinates given; min > max when there is none.
    XY min{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    XY max{-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
};

// The lines of the layer, filtered, reprojected to `target_wkt`. Throws VectorError for a
// source that cannot be read, GisOptionError for a layer, filter or target that cannot be used.
VectorLines read_lines(const LineQuery& q);

}  // namespace ds
