// The network as stream segments in a GeoPackage: a `segments` layer of line strings through the
// centres of their pixels, with their shape and the statistics of the run's fields, and a
// `systems` table, one row per drainage system.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "analysis/segment_fields.h"
#include "gis/geotiff.h"
#include "network/segments.h"

namespace ds {

struct NetworkFile {
    const SegmentGraph& graph;  // the paths and the outlets
    NetworkTables tables;
    GeoReference geo;       // none: pixel coordinates times `pixel_size`, north up
    double pixel_size = 1;  // lengths in the coordinates' units
    std::vector<std::pair<std::string, std::string>> metadata;  // of both layers
};

// Writes `f` to `path` (a new file): the rows of its tables, an empty value where a row has
// none (an id of 0, NaN). Throws RasterError, whose message
// says what failed but not the file's name.
void write_network_gpkg(const std::string& path, const NetworkFile& f);

}  // namespace ds
