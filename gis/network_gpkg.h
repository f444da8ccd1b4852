// The network as stream segments in a GeoPackage: a `segments` layer of line strings through the
// centres of their pixels, with their shape and the statistics of the run's fields, and a
// `systems` table, one row per drainage system.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "gis/geotiff.h"
#include "network/segments.h"

namespace ds {

// Fields of FieldTables, in their order: TACO (with its extremes and the share below 100),
// then, for a run of both treatments, FDP, FDP2 and the R² of FDP (their means).
inline constexpr const char* kSegmentFields[] = {"taco", "fdp", "fdp2", "r2"};

struct NetworkFile {
    const SegmentGraph& graph;
    const FieldTables& fields;  // 1 field (TACO alone) or 4
    GeoReference geo;           // none: pixel coordinates times `pixel_size`, north up
    double pixel_size = 1;      // lengths in the coordinates' units
    std::vector<std::pair<std::string, std::string>> metadata;  // of both layers
};

// Writes `f` to `path` (a new file). Ids count from 1: segment, node and system ids, the
// downstream segment; an empty value where there is none. Throws RasterError, whose message
// says what failed but not the file's name.
void write_network_gpkg(const std::string& path, const NetworkFile& f);

}  // namespace ds
