#include "drainshape/run.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>
#include <string_view>

#include "analysis/receivers.h"
#include "drainshape/stop_signals.h"
#include "gis/crs.h"
#include "gis/module.h"
#include "gis/raster_band.h"
#include "io/file_set.h"
#include "io/geotiff_writer.h"
#include "io/layer_writer.h"
#include "io/lecture.h"
#include "io/output_set.h"
#include "io/preview_writer.h"
#include "io/raster_limits.h"
#include "io/segment_writer.h"

namespace ds {

namespace {

ByteGrid load(const RunJob& job, const std::function<void(const std::string&)>& warn) {
    ByteGrid tab(job.river.nb_lig, job.river.nb_col);
    if (job.raw) {
        if (const auto warning = lecture(job.river_path, tab))
            warn(*warning);
        return tab;
    }
    try {
        read_network(job.river_path, tab);
    } catch (const RasterError& e) {
        throw FileError(job.river_path, "Cannot read file " + job.river_path + ": " + e.what());
    }
    return tab;
}

std::vector<std::pair<std::string, std::string>> report_parameters(const RunJob& job) {
    const RiverDescriptor& r = job.river;
    const AnalysisParameters& p = job.params;
    return {
        {"Program", program_version()},
        {"River", job.river_path},
        {"Lines x columns", std::to_string(r.nb_lig) + " x " + std::to_string(r.nb_col)},
        {"Pixel size", std::to_string(r.pix_size)},
        {"Treatment", p.both() ? "FD and TACO" : "TACO only"},
        {"Analysis window side", std::to_string(p.window)},
        {"Regional window side", std::to_string(p.regional)},
        {"Maximum number of confluents in a meander", std::to_string(p.mnc)},
        {"Engine", engine_name(p.engine)},
        {"Outputs", job.output_base + "_*"},
    };
}

// Orients the segments of `graph` by the job's directions, refused (UsageError) on another grid
// than the river's or where a network pixel's direction leads off the network.
void orient(SegmentGraph& graph, const RunJob& job) {
    const std::string& path = job.directions;
    BandRaster d;
    try {
        d = read_band(path, {BandRule::Kind::Bytes, std::nullopt},
                      std::int64_t{job.river.nb_lig} * job.river.nb_col);
    } catch (const RasterError& e) {
        throw UsageError("--directions: cannot read " + path + ": " + e.what());
    }
    const bool same_size = d.cells.rows() == job.river.nb_lig && d.cells.cols() == job.river.nb_col;
    const bool same_place = !job.geo.transform || !d.geo.transform ||
                            same_transform(*job.geo.transform, *d.geo.transform);
    if (!same_size || !same_place)
        throw UsageError("--directions: " + path + " is not on the river's grid (" +
                         std::to_string(d.cells.rows()) + " x " + std::to_string(d.cells.cols()) +
                         (same_size ? ", another geotransform" : "") + ")");
    if (const auto bad = first_pixel_without_direction(d.cells))
        throw UsageError("--directions: " + path + " holds " +
                         std::to_string(d.cells(bad->row, bad->col)) + " at line " +
                         std::to_string(bad->row + 1) + ", column " + std::to_string(bad->col + 1) +
                         ", which is no D8 direction (1, 2, 4, ... 128, or 0 for none)");
    if (const auto p = first_pixel_off_network(graph, d.cells))
        throw UsageError("--directions: " + path +
                         " disagrees with the network: the direction "
                         "of the network pixel at line " +
                         std::to_string(p->row + 1) + ", column " + std::to_string(p->col + 1) +
                         " leads off the network");
    orient_segments(graph, d.cells);
}

}  // namespace

std::vector<std::string> job_suffixes(bool both, bool geotiff, bool preview, bool layers,
                                      bool segments) {
    std::vector<std::string> out = file_set_suffixes(both);
    if (segments)
        out.emplace_back(kNetworkSuffix);
    if (layers)
        for (std::string& s : layer_suffixes(both))
            out.push_back(std::move(s));
    if (geotiff)
        for (std::string& s : geotiff_suffixes(both))
            out.push_back(std::move(s));
    if (preview)
        for (std::string& s : preview_suffixes(both))
            out.push_back(std::move(s));
    return out;
}

namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The grids of the whole raster in one process.
std::optional<std::string> whole_raster_problem(const RiverDescriptor& d,
                                                const AnalysisParameters& p) {
    return raster_size_problem(d.nb_lig, d.nb_col, grid_bytes_per_pixel(p.engine), usable_memory());
}

void check_size(const RunJob& job, const SizeCheck& size, const std::string& what) {
    const RiverDescriptor& d = job.river;
    if (const auto problem = (size ? size : whole_raster_problem)(d, job.params))
        throw UsageError(what + " " + std::to_string(d.nb_lig) + " lines and " +
                         std::to_string(d.nb_col) + " columns: " + *problem);
}

// The river: a .raw with its descriptor, or a raster read through GDAL. Returns its files.
std::vector<std::string> check_river(const RunOptions& o, const SizeCheck& size, RunJob& job) {
    job.river_path = o.river;
    std::error_code ec;
    const fs::file_status st = fs::status(o.river, ec);
    if (!fs::exists(st))
        throw UsageError("no river file " + o.river);
    if (fs::is_directory(st))
        throw UsageError(o.river + " is a folder, not a river raster");
    job.raw = lower(fs::path(o.river).extension().string()) == ".raw";
    if (job.raw) {
        const std::string descriptor = fs::path(o.river).replace_extension(".txt").string();
        const auto d = read_descriptor(descriptor);
        if (!d)
            throw UsageError("no descriptor " + descriptor + " beside " + o.river +
                             "; it should hold six integers: lines, columns, 1, 0, 255 and the "
                             "pixel size");
        job.river = *d;
        check_size(job, size, "the descriptor " + descriptor + " gives");
        if (std::FILE* f = std::fopen(o.river.c_str(), "rb"))
            std::fclose(f);
        else
            throw UsageError("cannot read the river " + o.river);
        return {o.river, descriptor};
    }
    if (!have_gdal())
        throw UsageError("cannot read " + o.river +
                         ": this drainshape is built without GDAL and reads only .raw rivers");
    try {
        const RasterInfo info = probe_raster(o.river);
        job.river.nb_lig = info.river.nb_lig;
        job.river.nb_col = info.river.nb_col;
        job.river.pix_size = info.river.pix_size;
        job.geo = info.geo;
    } catch (const RasterError& e) {
        throw UsageError("cannot read the river " + o.river + ": " + e.what());
    }
    check_size(job, size, "the river " + o.river + " has");
    return {o.river};
}

// The output folder and name, refused when no file can be made there or when an output would
// replace one of `river_files`.
void check_outputs(const RunOptions& o, const std::vector<std::string>& river_files, RunJob& job) {
    job.name = o.name ? *o.name : fs::path(o.river).stem().string();
    if (const auto problem = output_name_problem(job.name))
        throw UsageError("--name: '" + job.name + "' cannot be used: " + *problem);
    const std::string parent = fs::path(o.river).parent_path().string();
    const std::string dir = o.out ? *o.out : parent.empty() ? std::string(".") : parent;
    if (const auto problem = folder_problem(dir))
        throw UsageError("the output folder " + dir + " " + *problem);
    job.output_base = (fs::path(dir) / job.name).string();
    const std::vector<std::string> suffixes =
        job_suffixes(o.both, o.geotiff, o.preview, o.layers, o.segments);
    // The 8-bit GeoTIFF of FDP_RI and its real-valued layer are both <name>_FDP_RI.tif.
    for (std::size_t k = 0; k < suffixes.size(); ++k)
        if (std::find(suffixes.begin() + static_cast<std::ptrdiff_t>(k) + 1, suffixes.end(),
                      suffixes[k]) != suffixes.end())
            throw UsageError("--geotiff and --layers would both write " + job.output_base +
                             suffixes[k] +
                             " (the 8-bit image and the real-valued layer); ask "
                             "for one of them in a run");
    if (const auto clash = replaced_river_file(job.output_base, suffixes, river_files))
        throw UsageError("--name: the output file " + clash->first +
                         " would replace the river file " + clash->second);
    if (const auto path = folder_in_the_way(job.output_base, suffixes))
        throw UsageError("the output file " + *path + " cannot be written: it is a folder");
}

}  // namespace

RunJob check_run(const RunOptions& o, const SizeCheck& size) {
    if (o.directions && !o.segments)
        throw UsageError("--directions orients the segments: give --segments too");
    for (const auto& [asked, option] :
         {std::pair{o.geotiff, "--geotiff"}, {o.layers, "--layers"}, {o.segments, "--segments"}}) {
        if (asked && !have_gdal())
            throw UsageError(std::string(option) + ": this drainshape is built without GDAL");
        if (asked)
            if (const auto problem = gis_problem())
                throw UsageError(std::string(option) + ": " + *problem);
    }
    RunJob job;
    job.params.window = o.window;
    job.params.regional = o.regional;
    job.params.mnc = o.mnc;
    job.params.treatment = o.both ? Treatment::Both : Treatment::Taco;
    job.params.engine = o.engine;
    job.params.threads = o.threads;
    if (const auto problem = parameters_problem(job.params))
        throw UsageError(*problem);
    job.geotiff = o.geotiff;
    job.preview = o.preview;
    job.layers = o.layers;
    job.segments = o.segments;
    job.params.fields = o.layers || o.segments;
    job.params.regional_fields = o.layers;
    if (o.directions) {
        std::error_code ec;
        if (!fs::is_regular_file(*o.directions, ec))
            throw UsageError("--directions: no file " + *o.directions);
        job.directions = *o.directions;
    }
    const std::vector<std::string> river_files = check_river(o, size, job);
    if (o.pixel_size)
        job.river.pix_size = *o.pixel_size;
    check_outputs(o, river_files, job);
    return job;
}

std::optional<std::string> thick_network_warning(std::int64_t redundant) {
    if (redundant <= 0)
        return std::nullopt;
    return "warning: the network is not one pixel wide (" + std::to_string(redundant) +
           " redundant pixels, counted as confluences); run drainshape prepare on it first";
}

std::optional<std::string> degrees_warning(bool degrees) {
    if (!degrees)
        return std::nullopt;
    return "warning: the pixel size comes from a geographic coordinate system (degrees, not "
           "metres); give --pixel-size in metres";
}

bool pixel_size_in_degrees(const RunOptions& o, const RunJob& job) {
    return !o.pixel_size && describe_crs(job.geo.projection).geographic;
}

AnalysisSummary run_job(const RunJob& job, Progress& progress,
                        const std::function<void(const std::string&)>& warn) {
    // Declared first, so that the temporary files are gone before a second signal can end the
    // process.
    const StopSignals signals;
    ByteGrid tab = load(job, warn);
    if (job.loaded)
        job.loaded(tab);
    // Built from the river as read, before the analysis marks its isolated pixels.
    SegmentGraph graph;
    if (job.segments) {
        graph = build_segment_graph(tab);
        if (!job.directions.empty())
            orient(graph, job);
    }
    OutputSet out(job.output_base);
    Receivers receivers;
    FileSetWriter files(out, job.river, job.params);
    GeoTiffWriter geotiffs(out, job.river, job.geo, job.params);
    PreviewWriter previews(out);
    LayerWriter layers(out, job.river.nb_lig, job.river.nb_col, job.geo, job.params);
    SegmentFields segment_fields(graph, job.params.both());
    receivers.add(files, false);
    if (job.geotiff)
        receivers.add(geotiffs, false);
    if (job.preview)
        receivers.add(previews, true);
    if (job.layers)
        receivers.add(layers, true);
    if (job.segments)
        receivers.add(segment_fields, true);
    if (job.also != nullptr)
        receivers.add(*job.also, job.params.fields);
    // The pictures' scales and the report read the fields; the other receivers get them only
    // when the job asks for them.
    AnalysisParameters params = job.params;
    params.fields = job.params.fields || job.preview;
    const AnalysisSummary summary = analyse(tab, params, receivers, progress);
    if (job.preview && job.segments)
        previews.segments(graph, segment_fields.tables(),
                          network_pixel_size(job.geo, job.river.pix_size));
    if (job.preview)
        previews.write_report(job.name, report_parameters(job));
    tab = ByteGrid();
    if (job.segments) {
        const FieldTables fields = segment_fields.tables();
        write_network(out, graph, fields, job.geo, job.river.pix_size, params);
        if (job.tables != nullptr)
            *job.tables =
                network_tables(graph, fields, network_pixel_size(job.geo, job.river.pix_size));
    }
    if (job.layers)
        layers.finish();
    if (progress.stop_requested())
        throw RunStopped();
    out.commit();
    return summary;
}

RunFailure run_failure(std::exception_ptr failure, const std::string& river) {
    using Kind = RunFailure::Kind;
    try {
        std::rethrow_exception(failure);
    } catch (const RunStopped&) {
        const int sig = StopSignals::received();
        return {Kind::Stopped, sig != 0 ? 128 + sig : kFailureStatus,
                std::string("stopped by ") + (sig != 0 ? signal_name(sig) : "request")};
    } catch (const FileError& e) {
        return {Kind::File, kFailureStatus, e.what()};
    } catch (const GridAllocError& e) {
        const std::string size = std::to_string(e.lines()) + " x " + std::to_string(e.columns());
        if (e.lines() > 0 && e.columns() > 0 && std::string_view(e.what()) == "not enough memory")
            return {Kind::Memory, kFailureStatus, "Not enough memory for a " + size + " grid"};
        return {Kind::Memory, kFailureStatus,
                "Cannot allocate a " + size + " grid for the raster of " + river + ": " + e.what()};
    } catch (const std::bad_alloc&) {
        return {Kind::Memory, kFailureStatus, "Not enough memory"};
    } catch (const UsageError& e) {
        return {Kind::Usage, kUsageStatus, e.what()};
    }
}

std::string failure_message(const RunFailure& f) {
    if (f.kind == RunFailure::Kind::Usage)
        return f.cause;
    return f.cause + "; no output was written, earlier results are unchanged";
}

}  // namespace ds
