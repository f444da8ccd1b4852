// `prepare --from-dem`: the stream cells of an elevation model, from band 1 of any raster GDAL
// reads (reprojected first with --t-srs): depressions filled, D8 directions, flats drained,
// flow accumulated, and the cells that drain at least the threshold. Each step is reported with
// its time; the thinning and the writing are prepare_network's own.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "io/output_set.h"
#include "prepare/options.h"

namespace ds {

// Throws UsageError, with one line, for options that do not go with the source: with
// --from-dem, exactly one threshold, no option of river lines or stream rasters, and
// --pixel-size only with --t-srs; without it, none of the options of an elevation model.
void check_dem_options(const PrepareOptions& o);

// Where --keep-intermediate puts its files: the folder and OUT's name without its extension,
// to which each of intermediate_suffixes() is added.
std::string intermediate_base(const PrepareOptions& o);
std::vector<std::string> intermediate_suffixes();

// The threshold of `cells` as the messages and the network's provenance give it: "500 cells",
// "1112 cells (1 km2)" for an area.
std::string threshold_text(const PrepareOptions& o, std::uint64_t cells);

// The stream cells of the elevation model o.source, before thinning, on its grid (or the grid
// it was reprojected to), with the provenance of a network extracted from it. With
// `intermediates`, the filled DEM, the directions and the accumulation are written into it
// (not put in place: the caller commits them). Throws UsageError (an area threshold on a
// geographic DEM, a threshold no cell reaches), InputError (a DEM that cannot be read),
// FileError.
PreparedNetwork dem_streams(const PrepareOptions& o, OutputSet* intermediates,
                            const PrepareCallbacks& report);

// Seconds since `start`: a step's time.
double seconds_since(std::chrono::steady_clock::time_point start);

}  // namespace ds
