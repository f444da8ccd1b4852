// An area threshold needs cells of one known area: a geographic DEM (cells of degrees, whose
// area shrinks towards the poles) is refused before it is read, with a projection to give to
// --t-srs, as prepare does for lines in longitude and latitude.
#include "prepare/dem_streams.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <utility>

#include "analysis/analysis.h"
#include "dem/streams.h"
#include "gis/crs.h"
#include "gis/dem_raster.h"
#include "lib/usage_error.h"

namespace ds {

namespace {

namespace fs = std::filesystem;

using Clock = std::chrono::steady_clock;
using Metadata = std::vector<std::pair<std::string, std::string>>;

std::string number(double v, const char* format = "%.10g") {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// The WKT of --t-srs, a projection in a linear unit; empty without it.
std::string target_crs(const PrepareOptions& o) {
    if (!o.t_srs)
        return {};
    std::string wkt;
    try {
        wkt = crs_from_user(*o.t_srs);
    } catch (const GisOptionError& e) {
        throw UsageError(std::string("--t-srs: ") + e.what());
    }
    if (describe_crs(wkt).geographic)
        throw UsageError(
            "--t-srs " + *o.t_srs +
            " is in geographic coordinates; the analysis needs a projection in metres");
    return wkt;
}

// Refuses --threshold-area for a DEM whose cells have no single area, before it is read.
void check_area_source(const PrepareOptions& o, const PrepareCallbacks& report) {
    RasterInfo info;
    try {
        info = probe_raster(o.source);
    } catch (const RasterError& e) {
        throw InputError("cannot read " + o.source + ": " + e.what());
    }
    const auto& gt = info.geo.transform;
    if (!gt)
        throw UsageError("--threshold-area: " + o.source +
                         " has no geotransform, hence no cell area; give --threshold-cells");
    const CrsInfo crs = describe_crs(info.geo.projection);
    if (crs.geographic) {
        double west = std::numeric_limits<double>::max(), east = -west, south = west, north = -west;
        for (const int r : {0, info.river.nb_lig})
            for (const int c : {0, info.river.nb_col}) {
                const double x = (*gt)[0] + c * (*gt)[1] + r * (*gt)[2];
                const double y = (*gt)[3] + c * (*gt)[4] + r * (*gt)[5];
                west = std::min(west, x);
                east = std::max(east, x);
                south = std::min(south, y);
                north = std::max(north, y);
            }
        throw UsageError("--threshold-area: " + o.source +
                         " is in geographic coordinates (degrees), whose cells differ in area: "
                         "give --t-srs, for example --t-srs \"" +
                         suggest_projection(west, south, east, north) +
                         "\" (a Lambert azimuthal equal-area projection centred on the DEM), or "
                         "--threshold-cells");
    }
    if (!crs.known)
        report.warn(o.source + " has no coordinate system; its units are taken to be metres");
}

DemRaster read(const PrepareOptions& o, const std::string& target) {
    try {
        return target.empty() ? read_dem(o.source)
                              : read_dem_warped(o.source, target, o.pixel_size.value_or(0));
    } catch (const RasterError& e) {
        throw InputError("cannot read " + o.source + ": " + e.what());
    }
}

// What a file made from the DEM is; prepare adds the program's version to the network's.
Metadata provenance(const PrepareOptions& o, const std::string& product) {
    return {{"DRAINSHAPE_PRODUCT", product},
            {"DRAINSHAPE_SOURCE", fs::path(o.source).filename().string()}};
}

Metadata intermediate_metadata(const PrepareOptions& o, const std::string& product) {
    Metadata m = {{"TIFFTAG_SOFTWARE", program_version()}};
    for (auto& item : provenance(o, product))
        m.push_back(std::move(item));
    return m;
}

void write_intermediates(const PrepareOptions& o, const Drainage& d, const GeoReference& geo,
                         OutputSet& files) {
    const std::vector<std::string> suffixes = intermediate_suffixes();
    const auto write = [&](const std::string& suffix, const auto& writer) {
        const std::string path = files.reserve(suffix);
        try {
            writer(path);
        } catch (const RasterError& e) {
            const std::string final = files.base() + suffix;
            throw FileError(final, "Cannot write file " + final + ": " + e.what());
        }
    };
    write(suffixes[0], [&](const std::string& path) {
        write_elevation_geotiff(path, d.filled, d.nodata, geo,
                                intermediate_metadata(o, "DEM with its depressions filled"));
    });
    write(suffixes[1], [&](const std::string& path) {
        Metadata m = intermediate_metadata(o, "D8 flow directions");
        m.emplace_back("DRAINSHAPE_CODES",
                       "1 east, 2 south-east, 4 south, 8 south-west, 16 west, 32 north-west, "
                       "64 north, 128 north-east; 0 NoData");
        write_geotiff(path, d.direction, geo, m);
    });
    write(suffixes[2], [&](const std::string& path) {
        write_count_geotiff(path, d.accumulation, geo,
                            intermediate_metadata(o,
                                                  "flow accumulation: the cells drained "
                                                  "through each cell, itself included"));
    });
}

}  // namespace

void check_dem_options(const PrepareOptions& o) {
    if (!o.from_dem) {
        const std::pair<const char*, bool> dem_only[] = {
            {"--threshold-cells", o.threshold_cells.has_value()},
            {"--threshold-area", o.threshold_area.has_value()},
            {"--keep-intermediate", o.keep_intermediate.has_value()},
        };
        for (const auto& [name, given] : dem_only)
            if (given)
                throw UsageError(std::string(name) + " applies to an elevation model: give " +
                                 "--from-dem");
        return;
    }
    const std::pair<const char*, bool> others[] = {
        {"--layer", o.layer.has_value()},   {"--where", o.where.has_value()},
        {"--extent", o.extent.has_value()}, {"--like", o.like.has_value()},
        {"--value", o.value.has_value()},
    };
    for (const auto& [name, given] : others)
        if (given)
            throw UsageError(std::string(name) + " does not apply to --from-dem");
    if (o.threshold_cells && o.threshold_area)
        throw UsageError("--from-dem: give --threshold-cells or --threshold-area, not both");
    if (!o.threshold_cells && !o.threshold_area)
        throw UsageError(
            "--from-dem needs a stream threshold: --threshold-cells N or "
            "--threshold-area KM2");
    if (o.pixel_size && !o.t_srs)
        throw UsageError(
            "--pixel-size applies to a DEM reprojected with --t-srs; without it the "
            "DEM keeps its grid");
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string intermediate_base(const PrepareOptions& o) {
    return (fs::path(o.keep_intermediate.value_or(".")) / fs::path(o.out).stem()).string();
}

std::vector<std::string> intermediate_suffixes() {
    return {"_filled.tif", "_directions.tif", "_accumulation.tif"};
}

std::string threshold_text(const PrepareOptions& o, std::uint64_t cells) {
    std::string text = std::to_string(cells) + " cells";
    if (o.threshold_area)
        text += " (" + number(*o.threshold_area) + " km2)";
    return text;
}

PreparedNetwork dem_streams(const PrepareOptions& o, OutputSet* intermediates,
                            const PrepareCallbacks& report) {
    const std::string target = target_crs(o);
    if (o.threshold_area && target.empty())
        check_area_source(o, report);

    auto start = Clock::now();
    DemRaster r = read(o, target);
    {
        const DemGrid& dem = r.dem;
        PrepareStep step{.name = "read", .seconds = seconds_since(start)};
        step.count = std::count(dem.nodata.data(), dem.nodata.data() + dem.nodata.size(), 1);
        step.rows = dem.z.rows();
        step.cols = dem.z.cols();
        step.cell_width = dem.cell_width;
        step.cell_height = dem.cell_height;
        step.crs = r.crs;
        if (o.t_srs)
            step.crs_name = describe_pixel(r.geo).crs;
        report.report(step);
    }

    std::uint64_t cells = 0;
    if (o.threshold_cells) {
        cells = *o.threshold_cells;
    } else {
        try {
            cells =
                threshold_cells_for_area(*o.threshold_area, r.dem.cell_width * r.dem.cell_height);
        } catch (const std::invalid_argument&) {
            throw UsageError("--threshold-area " + number(*o.threshold_area) +
                             ": more cells than any DEM holds");
        }
    }
    const std::string threshold = threshold_text(o, cells);

    Drainage d;
    try {
        d = extract_streams(std::move(r.dem), cells);
    } catch (const std::invalid_argument& e) {
        throw InputError(o.source + ": " + e.what());
    }
    std::int64_t streams = 0;
    for (std::int64_t i = 0; i < d.streams.size(); ++i)
        streams += d.streams.data()[i];
    for (const StepTime& t : d.times) {
        PrepareStep step{.name = t.step, .seconds = t.seconds};
        if (t.step == "fill")
            step.count = d.raised_cells;
        else if (t.step == "flats")
            step.count = d.flat_cells;
        else if (t.step == "streams")
            step.count = streams;
        step.threshold_cells = cells;
        report.report(step);
    }
    if (streams == 0) {
        const std::uint32_t most =
            *std::max_element(d.accumulation.data(), d.accumulation.data() + d.accumulation.size());
        throw UsageError(
            std::string(o.threshold_cells ? "--threshold-cells " : "--threshold-area ") +
            (o.threshold_cells ? std::to_string(cells) : number(*o.threshold_area)) +
            ": no cell of " + o.source + " drains " + threshold + " (the most is " +
            std::to_string(most) + " cells)");
    }

    start = Clock::now();
    const std::int64_t joined = fill_one_cell_holes(d.streams);
    report.report({.name = "holes", .seconds = seconds_since(start), .count = joined});

    if (intermediates != nullptr) {
        start = Clock::now();
        write_intermediates(o, d, r.geo, *intermediates);
        report.report({.name = "intermediates", .seconds = seconds_since(start)});
    }

    PreparedNetwork p;
    p.outlets = stream_outlets(d.streams, d.direction, d.nodata);
    p.grid = std::move(d.streams);
    p.pixel = describe_pixel(r.geo);
    p.geo = std::move(r.geo);
    p.provenance = provenance(o, "stream network");
    p.provenance.emplace_back("DRAINSHAPE_THRESHOLD", threshold);
    return p;
}

}  // namespace ds
