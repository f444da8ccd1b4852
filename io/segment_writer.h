// `<name>_network.gpkg`: the network's segments and drainage systems.
#pragma once

#include <string>

#include "analysis/analysis.h"
#include "analysis/segment_fields.h"
#include "gis/geotiff.h"
#include "io/output_set.h"

namespace ds {

inline constexpr const char* kNetworkSuffix = "_network.gpkg";

// The pixel size of the file's coordinates: the geotransform's pixel width, or the river's
// pixel size without one.
double network_pixel_size(const GeoReference& geo, int pix_size);

// Writes the GeoPackage of `graph` and `fields` under its temporary name in `out`. Throws
// FileError.
void write_network(OutputSet& out, const SegmentGraph& graph, const FieldTables& fields,
                   const GeoReference& geo, int pix_size, const AnalysisParameters& p);

}  // namespace ds
