#include "app/run_command.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "app/progress.h"
#include "app/run_job.h"
#include "app/usage_error.h"
#include "gis/crs.h"
#include "gis/module.h"
#include "io/file_set.h"
#include "io/output_set.h"
#include "io/raster_limits.h"
#include "network/summary.h"

namespace ds {

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
    const RiverDescriptor& d = job.river.river;
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
        job.river.river = *d;
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
        job.river = probe_raster(o.river);
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
    const std::vector<std::string> suffixes = job_suffixes(o.both, o.geotiff, o.preview);
    if (const auto clash = replaced_river_file(job.output_base, suffixes, river_files))
        throw UsageError("--name: the output file " + clash->first +
                         " would replace the river file " + clash->second);
    if (const auto path = folder_in_the_way(job.output_base, suffixes))
        throw UsageError("the output file " + *path + " cannot be written: it is a folder");
}

}  // namespace

RunJob check_run(const RunOptions& o, const SizeCheck& size) {
    if (o.geotiff && !have_gdal())
        throw UsageError("--geotiff: this drainshape is built without GDAL");
    if (o.geotiff)
        if (const auto problem = gis_problem())
            throw UsageError("--geotiff: " + *problem);
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
    const std::vector<std::string> river_files = check_river(o, size, job);
    if (o.pixel_size)
        job.river.river.pix_size = *o.pixel_size;
    check_outputs(o, river_files, job);
    return job;
}

namespace {

std::string summary(const RunOptions& o, const RunJob& job, const RunProgress& progress) {
    const std::size_t images = products_of(o.both, true).size();
    std::string written = std::to_string(file_set_suffixes(o.both).size()) + " files";
    if (o.geotiff)
        written += ", " + std::to_string(images) + " GeoTIFF";
    if (o.preview)
        written += ", " + std::to_string(images) + " PNG and a report";
    char buf[128];
    std::snprintf(buf, sizeof buf, "%lld network pixels in %.1f s",
                  static_cast<long long>(progress.pixels()), progress.elapsed());
    return "drainshape: " + written + " written to " + job.output_base + "_*; " + buf + "\n";
}

}  // namespace

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
    return !o.pixel_size && describe_crs(job.river.geo.projection).geographic;
}

int run_command(const RunOptions& o, std::ostream& err, bool err_is_terminal) {
    RunJob job;
    try {
        job = check_run(o);
    } catch (const UsageError& e) {
        err << "drainshape: " << e.what() << "\n";
        return kUsageStatus;
    }

    const auto style = o.quiet                 ? RunProgress::Style::Quiet
                       : o.progress == "json"  ? RunProgress::Style::Json
                       : o.progress == "lines" ? RunProgress::Style::Lines
                       : o.progress == "bar" || (o.progress.empty() && err_is_terminal)
                           ? RunProgress::Style::Bar
                           : RunProgress::Style::Lines;
    RunProgress progress(err, style);
    const bool degrees = pixel_size_in_degrees(o, job);
    job.loaded = [&err, degrees](const ByteGrid& tab) {
        for (const auto& warning :
             {thick_network_warning(count_redundant(tab)), degrees_warning(degrees)})
            if (warning)
                err << "drainshape: " << *warning << "\n";
    };
    const int status = run_guarded(err, MessageStyle::Command, job.river_path, [&] {
        run_job(job, progress,
                [&err](const std::string& warning) { err << "drainshape: " << warning << "\n"; });
    });
    if (status == 0 && !o.quiet)
        err << summary(o, job, progress);
    return status;
}

}  // namespace ds
