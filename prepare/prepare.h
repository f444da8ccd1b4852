// A network raster the analysis can trust, from river lines, from a stream raster or from an
// elevation model: drawn, read or extracted, made one pixel wide, written as OUT.tif or as
// OUT.raw with OUT.txt.
#pragma once

#include "network/summary.h"
#include "prepare/dem_streams.h"
#include "prepare/options.h"
#include "prepare/river_raster.h"

namespace ds {

// The network file written.
struct PreparedFile {
    NetworkSummary summary;  // of the network one pixel wide
    PixelDescription pixel;  // for a .raw, the whole metres its descriptor holds
    bool raw = false;
};

// The network of o.source (river lines, a stream raster, or with o.from_dem an elevation model)
// made one pixel wide and written as o.out (with the intermediates of an elevation model into
// o.keep_intermediate), each step and warning told to `report` as it comes. Throws UsageError or
// GisOptionError for options that cannot be used, InputError for a file that cannot be read,
// FileError for one that cannot be written, GridAllocError. Nothing is left under OUT's name
// unless it is complete.
PreparedFile prepare_network(const PrepareOptions& o, const PrepareCallbacks& report);

}  // namespace ds
