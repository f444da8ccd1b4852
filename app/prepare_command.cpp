// The grid of river lines follows gdal_rasterize: square pixels of --pixel-size; by default the
// box of the lines grown by half a pixel on every side, so that the outermost vertices fall
// inside; the origin at the box's west and north edges; columns = (width / pixel + 0.5)
// truncated, rows the same; with --extent, that box as given; with --like, the other raster's
// grid itself.
#include "app/prepare_command.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <vector>

#include "app/check_command.h"
#include "app/prepare_dem.h"
#include "app/river_raster.h"
#include "drainshape/run.h"
#include "drainshape/usage_error.h"
#include "gis/crs.h"
#include "gis/geotiff.h"
#include "gis/vector_lines.h"
#include "io/formats.h"
#include "io/out_file.h"
#include "io/output_set.h"
#include "io/raster_limits.h"
#include "network/draw_lines.h"
#include "network/thinning.h"

namespace ds {

namespace {

namespace fs = std::filesystem;

// Bytes per pixel of a prepared grid: the raster, the summary's marks, and slack.
constexpr std::int64_t kBytesPerPixel = 3;

std::string number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec))
        return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

void refuse_line_options(const PrepareOptions& o) {
    const std::pair<const char*, bool> given[] = {
        {"--layer", o.layer.has_value()},           {"--where", o.where.has_value()},
        {"--pixel-size", o.pixel_size.has_value()}, {"--t-srs", o.t_srs.has_value()},
        {"--extent", o.extent.has_value()},         {"--like", o.like.has_value()},
    };
    for (const auto& [name, is_given] : given)
        if (is_given)
            throw UsageError(std::string(name) + " applies to river lines; " + o.source +
                             " is a raster, whose grid is kept");
}

PreparedNetwork from_raster(const PrepareOptions& o, std::ostream& err) {
    refuse_line_options(o);
    BandRule rule;
    rule.kind = BandRule::Kind::Network;
    rule.network_value = o.value;
    RiverRaster river = read_river_raster(o.source, rule);
    if (!river.warning.empty())
        err << "drainshape: warning: " << river.warning << "\n";
    PreparedNetwork p;
    p.grid = std::move(river.cells);
    p.geo = std::move(river.geo);
    p.pixel = river.pixel;
    std::int64_t network = 0;
    for (std::int64_t r = 0; r < p.grid.rows(); ++r)
        for (const unsigned char v : p.grid.row(r))
            network += v;
    if (network == 0) {
        if (o.value)
            throw UsageError("--value " + number(*o.value) + ": no pixel of " + o.source +
                             " holds it");
        throw InputError(o.source + " holds no network pixel (no value but 0 and NoData)");
    }
    err << "drainshape: " << o.source << ": " << network << " network pixels ("
        << (o.value ? "value " + number(*o.value) : "every value but 0 and NoData") << ")\n";
    return p;
}

// The grid to draw in from --like: its size, its north-up geotransform and its projection.
struct LikeGrid {
    RasterInfo info;
    GridFrame frame;
};

LikeGrid like_grid(const std::string& path) {
    LikeGrid like;
    try {
        like.info = probe_raster(path);
    } catch (const RasterError& e) {
        throw InputError("cannot read --like " + path + ": " + e.what());
    }
    const auto& gt = like.info.geo.transform;
    if (!gt || (*gt)[1] == 0 || (*gt)[5] == 0)
        throw UsageError("--like " + path + " has no geotransform to take the grid from");
    if ((*gt)[2] != 0 || (*gt)[4] != 0)
        throw UsageError("--like " + path + " is rotated; give a north-up raster");
    like.frame = {(*gt)[0], (*gt)[1], (*gt)[3], (*gt)[5]};
    return like;
}

std::string lines_message(const PrepareOptions& o, const VectorLines& lines) {
    std::string text = o.source + " (layer " + lines.layer +
                       "): " + std::to_string(lines.features) + " features, " +
                       std::to_string(lines.line_features) + " of them lines";
    if (lines.skipped > 0)
        text += "; " + std::to_string(lines.skipped) + " other geometries left out (" +
                lines.skipped_types + ")";
    if (lines.lost_points > 0)
        text += "; " + std::to_string(lines.lost_points) +
                " vertices that could not be reprojected left out";
    return text;
}

void check_line_options(const PrepareOptions& o) {
    if (o.value)
        throw UsageError("--value applies to a stream raster; " + o.source + " holds lines");
    if (o.like && (o.pixel_size || o.extent || o.t_srs))
        throw UsageError(
            "--like takes the whole grid of its raster: give it without "
            "--pixel-size, --extent and --t-srs");
    if (!o.like && !o.pixel_size)
        throw UsageError("--pixel-size is required to draw river lines (or --like RASTER)");
    if (o.extent && ((*o.extent)[0] >= (*o.extent)[2] || (*o.extent)[1] >= (*o.extent)[3]))
        throw UsageError("--extent: give XMIN YMIN XMAX YMAX with XMIN < XMAX and YMIN < YMAX");
}

// The coordinate system to draw in: --like's or --t-srs's; empty for the source's own.
std::string drawing_target(const PrepareOptions& o, const std::optional<LikeGrid>& like) {
    std::string target;
    if (like) {
        target = like->info.geo.projection;
    } else if (o.t_srs) {
        try {
            target = crs_from_user(*o.t_srs);
        } catch (const GisOptionError& e) {
            throw UsageError(std::string("--t-srs: ") + e.what());
        }
    }
    if (describe_crs(target).geographic)
        throw UsageError((o.like ? "--like " + *o.like : "--t-srs " + *o.t_srs) +
                         " is in geographic coordinates; the analysis needs a projection in "
                         "metres");
    return target;
}

VectorLines read_selected_lines(const PrepareOptions& o, const std::string& target) {
    VectorLines lines;
    try {
        lines = read_lines({o.source, o.layer, o.where, target});
    } catch (const VectorError& e) {
        throw InputError("cannot read " + o.source + ": " + e.what());
    }
    if (target.empty() && describe_crs(lines.source_wkt).geographic) {
        std::string text = o.source + " is in geographic coordinates (degrees): give --t-srs";
        if (lines.min.x <= lines.max.x)
            text += ", for example --t-srs \"" +
                    suggest_projection(lines.min.x, lines.min.y, lines.max.x, lines.max.y) +
                    "\" (a Lambert azimuthal equal-area projection centred on the lines)";
        throw UsageError(text);
    }
    if (lines.lines.empty()) {
        if (o.where)
            throw UsageError("--where \"" + *o.where + "\" selects no line of " + o.source);
        throw InputError(o.source + " holds no line to draw");
    }
    return lines;
}

struct LinesGrid {
    GridFrame frame;
    std::int64_t rows = 0;
    std::int64_t cols = 0;
};

LinesGrid grid_for_lines(const PrepareOptions& o, const VectorLines& lines,
                         const std::optional<LikeGrid>& like) {
    LinesGrid g;
    if (like) {
        g.frame = like->frame;
        g.rows = like->info.river.nb_lig;
        g.cols = like->info.river.nb_col;
    } else {
        const double s = *o.pixel_size;
        const std::array<double, 4> box =
            o.extent ? *o.extent
                     : std::array<double, 4>{lines.min.x - s / 2, lines.min.y - s / 2,
                                             lines.max.x + s / 2, lines.max.y + s / 2};
        const double c = 0.5 + (box[2] - box[0]) / s;
        const double r = 0.5 + (box[3] - box[1]) / s;
        const std::string option = o.extent ? "--extent" : "--pixel-size " + number(s);
        if (!(c < static_cast<double>(kMaxSide) && r < static_cast<double>(kMaxSide)))
            throw UsageError(option + ": the grid would have more than " +
                             std::to_string(kMaxSide) + " pixels on a side");
        g.cols = static_cast<std::int64_t>(c);
        g.rows = static_cast<std::int64_t>(r);
        if (g.rows == 0 || g.cols == 0)
            throw UsageError(option + ": the extent is narrower than half a pixel");
        g.frame = {box[0], s, box[3], -s};
    }
    if (const auto problem = raster_size_problem(g.rows, g.cols, kBytesPerPixel, usable_memory()))
        throw UsageError((o.like ? "--like " + *o.like : "--pixel-size " + number(*o.pixel_size)) +
                         ": a grid of " + std::to_string(g.rows) + " x " + std::to_string(g.cols) +
                         " pixels: " + *problem);
    return g;
}

PreparedNetwork from_lines(const PrepareOptions& o, std::ostream& err) {
    check_line_options(o);
    std::optional<LikeGrid> like;
    if (o.like)
        like = like_grid(*o.like);
    const std::string target = drawing_target(o, like);
    const VectorLines lines = read_selected_lines(o, target);
    const LinesGrid g = grid_for_lines(o, lines, like);
    err << "drainshape: " << lines_message(o, lines) << "\n";

    PreparedNetwork p;
    p.grid = ByteGrid(g.rows, g.cols);
    draw_lines(lines.lines, g.frame, p.grid);
    p.geo.transform =
        std::array<double, 6>{g.frame.x0, g.frame.dx, 0.0, g.frame.y0, 0.0, g.frame.dy};
    p.geo.projection = target.empty() ? lines.source_wkt : target;
    p.pixel = describe_pixel(p.geo);
    if (!describe_crs(p.geo.projection).known)
        err << "drainshape: warning: " << o.source
            << " has no coordinate system; its units are taken to be metres\n";
    return p;
}

// The pixel size the descriptor holds: whole metres.
int descriptor_pixel_size(const PreparedNetwork& p, const std::string& txt, std::ostream& err) {
    const double m = p.pixel.metres;
    if (m <= 0 || !(m < std::numeric_limits<int>::max())) {
        err << "drainshape: warning: the pixel size is not in metres"
            << (p.pixel.geographic ? " (geographic coordinates)" : "") << "; " << txt
            << " holds 0: give drainshape run --pixel-size\n";
        return 0;
    }
    const int whole = static_cast<int>(std::lround(m));
    if (static_cast<double>(whole) != m)
        err << "drainshape: warning: the pixel size " << number(m) << " m is written as " << whole
            << " in " << txt << " (a descriptor holds whole metres)\n";
    return whole;
}

// OUT.raw and OUT.txt into `files`, to be put in place together.
void write_raw(const PreparedNetwork& p, OutputSet& files, const std::string& out, int pix_size) {
    OutFile f = files.create(fs::path(out).extension().string(), OutFile::Mode::Binary);
    write_image(f, p.grid);
    f.close();
    OutFile d = files.create(".txt", OutFile::Mode::Text);
    d.print("%s", descriptor_header(static_cast<int>(p.grid.rows()),
                                    static_cast<int>(p.grid.cols()), pix_size)
                      .c_str());
    d.close();
}

void write_tif(const PreparedNetwork& p, OutputSet& files, const std::string& out) {
    const std::string extension = fs::path(out).extension().string();
    std::vector<std::pair<std::string, std::string>> metadata = {
        {"TIFFTAG_SOFTWARE", program_version()}};
    metadata.insert(metadata.end(), p.provenance.begin(), p.provenance.end());
    try {
        write_geotiff(files.reserve(extension), p.grid, p.geo, metadata,
                      /*zero_is_nodata=*/false);
    } catch (const RasterError& e) {
        throw FileError(out, "Cannot write file " + out + ": " + e.what());
    }
}

// Refuses an output (`outs`, then the intermediates) that would replace an input or another
// output.
void refuse_replacements(const PrepareOptions& o, const std::vector<std::string>& inputs,
                         const std::vector<std::string>& outs) {
    std::vector<std::pair<std::string, std::string>> outputs;  // path, the option that names it
    for (const std::string& path : outs)
        outputs.emplace_back(path, "-o " + o.out);
    if (o.keep_intermediate)
        for (const std::string& suffix : intermediate_suffixes())
            outputs.emplace_back(intermediate_base(o) + suffix,
                                 "--keep-intermediate " + *o.keep_intermediate);
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const auto& [path, option] = outputs[k];
        for (const std::string& input : inputs)
            if (same_file(path, input))
                throw UsageError(option + ": " + path + " would replace " + input);
        for (std::size_t j = 0; j < k; ++j)
            if (same_file(path, outputs[j].first))
                throw UsageError(option + ": " + path + " would replace " + outputs[j].first);
    }
}

// Accepts a finite number above 0; else says the value is not `what`.
CLI::Validator positive_number(const std::string& what) {
    return CLI::Validator(
        [what](std::string& text) -> std::string {
            double v = 0;
            if (CLI::detail::lexical_cast(text, v) && v > 0 && std::isfinite(v))
                return {};
            return "'" + text + "' is not " + what;
        },
        "");
}

int prepare(const PrepareOptions& o, std::ostream& out, std::ostream& err) {
    const std::string ext = lower_extension(o.out);
    const bool tif = ext == ".tif" || ext == ".tiff";
    if (!tif && ext != ".raw")
        throw UsageError("-o " + o.out + ": give OUT.tif (GeoTIFF) or OUT.raw (with OUT.txt)");
    if (tif && !have_gdal())
        throw UsageError("-o " + o.out +
                         ": this drainshape is built without GDAL and writes only .raw");
    check_dem_options(o);
    const std::string txt = fs::path(o.out).replace_extension(".txt").string();

    std::error_code ec;
    const fs::path folder = fs::path(o.out).parent_path();
    if (!fs::is_directory(folder.empty() ? fs::path(".") : folder, ec))
        throw InputError("cannot write " + o.out + ": no folder " + folder.string());
    if (o.keep_intermediate && !fs::is_directory(*o.keep_intermediate, ec))
        throw InputError("cannot write --keep-intermediate " + *o.keep_intermediate +
                         ": no folder " + *o.keep_intermediate);
    if (!fs::exists(o.source, ec))
        throw InputError("no file " + o.source);
    const bool raw_source = is_raw_path(o.source);
    if (o.from_dem && raw_source)
        throw UsageError("--from-dem takes an elevation raster that GDAL reads, not a .raw river");
    if (!raw_source && !have_gdal())
        throw UsageError("cannot read " + o.source +
                         ": this drainshape is built without GDAL and prepares only .raw rasters");
    std::vector<std::string> inputs = {o.source};
    if (raw_source)
        inputs.push_back(fs::path(o.source).replace_extension(".txt").string());
    if (o.like)
        inputs.push_back(*o.like);
    refuse_replacements(
        o, inputs, tif ? std::vector<std::string>{o.out} : std::vector<std::string>{o.out, txt});

    SourceKind kind = SourceKind::Raster;
    if (!raw_source) {
        kind = source_kind(o.source);
        if (kind == SourceKind::Unknown)
            throw InputError("cannot read " + o.source +
                             ": neither river lines nor a raster that GDAL reads");
        if (o.from_dem && kind != SourceKind::Raster)
            throw InputError("cannot read " + o.source +
                             ": --from-dem takes an elevation raster, and it holds vectors");
    }
    std::optional<OutputSet> kept;
    if (o.keep_intermediate)
        kept.emplace(intermediate_base(o));
    PreparedNetwork p = o.from_dem                   ? dem_streams(o, kept ? &*kept : nullptr, err)
                        : kind == SourceKind::Vector ? from_lines(o, err)
                                                     : from_raster(o, err);
    if (p.pixel.geographic)
        err << "drainshape: warning: " << o.source
            << " is in geographic coordinates: its pixel size is in degrees, not metres\n";

    // The steps of --from-dem are timed; the other sources keep their messages as they are.
    const auto timed = [&](std::chrono::steady_clock::time_point start) {
        return o.from_dem ? seconds_text(seconds_since(start)) : std::string();
    };
    auto start = std::chrono::steady_clock::now();
    const std::int64_t removed = thin_network(p.grid, p.outlets.size() != 0 ? &p.outlets : nullptr);
    err << "drainshape: " << removed << " redundant pixels removed: the network is one pixel wide"
        << timed(start) << "\n";

    CheckReport report;
    report.file = o.out;
    report.summary = summarize_network(p.grid);
    report.pixel = p.pixel;
    start = std::chrono::steady_clock::now();
    OutputSet files(fs::path(o.out).replace_extension().string());
    if (tif) {
        write_tif(p, files, o.out);
    } else {
        const int pix_size = descriptor_pixel_size(p, txt, err);
        write_raw(p, files, o.out, pix_size);
        report.raw = true;
        report.pixel = {static_cast<double>(pix_size), "metre", "", false,
                        static_cast<double>(pix_size)};
    }
    const std::vector<std::string> intermediates =
        kept ? kept->final_paths() : std::vector<std::string>();
    if (kept)
        kept->commit();
    files.commit();
    err << "drainshape: wrote " << (tif ? o.out : o.out + " and " + txt) << timed(start) << "\n";
    if (kept)
        err << "drainshape: wrote " << intermediates[0] << ", " << intermediates[1] << " and "
            << intermediates[2] << "\n";
    print_check_report(report, o.json, out);
    out.flush();
    return out ? 0 : kFailureStatus;
}

}  // namespace

CLI::App* add_prepare_subcommand(CLI::App& app, PrepareOptions& o) {
    CLI::App* prepare = app.add_subcommand(
        "prepare",
        "make a network raster one pixel wide from river lines, a stream raster or a DEM");
    prepare
        ->add_option("SOURCE", o.source,
                     "river lines (any vector format GDAL reads), a stream raster (any raster "
                     "GDAL reads, or R.raw with R.txt), or with --from-dem an elevation model")
        ->required();
    prepare->add_option("-o,--output", o.out, "OUT.tif (GeoTIFF) or OUT.raw (with OUT.txt)")
        ->type_name("OUT")
        ->required();
    prepare
        ->add_option_function<std::string>(
            "--layer", [&o](const std::string& v) { o.layer = v; },
            "lines: the layer to read (required when there are several)")
        ->type_name("NAME");
    prepare
        ->add_option_function<std::string>(
            "--where", [&o](const std::string& v) { o.where = v; },
            "lines: the features to draw, as an SQL condition (\"level <= 4\")")
        ->type_name("SQL");
    prepare
        ->add_option_function<double>(
            "--pixel-size", [&o](const double& v) { o.pixel_size = v; },
            "lines: the pixel side, in the units of the projection drawn in (required unless "
            "--like); DEM: the cell side to reproject to with --t-srs")
        ->type_name("S")
        ->check(positive_number("a pixel size (a number above 0)"));
    prepare
        ->add_option_function<std::string>(
            "--t-srs", [&o](const std::string& v) { o.t_srs = v; },
            "lines: the projection to draw in: an EPSG code, a PROJ string or WKT (required "
            "for lines in longitude and latitude); DEM: the projection to reproject it to")
        ->type_name("CRS");
    prepare
        ->add_option_function<std::vector<double>>(
            "--extent",
            [&o](const std::vector<double>& v) {
                o.extent = std::array<double, 4>{v[0], v[1], v[2], v[3]};
            },
            "lines: the box to draw, in the projection drawn in (default: the lines' box)")
        ->type_name("XMIN YMIN XMAX YMAX")
        ->expected(4);
    prepare
        ->add_option_function<std::string>(
            "--like", [&o](const std::string& v) { o.like = v; },
            "lines: draw on the grid of RASTER (its size, pixels and projection)")
        ->type_name("RASTER");
    prepare
        ->add_option_function<double>(
            "--value", [&o](const double& v) { o.value = v; },
            "raster: the value of the network pixels (default: every value but 0 and NoData)")
        ->type_name("V");
    prepare->add_flag("--from-dem", o.from_dem,
                      "SOURCE is an elevation model (band 1 of any raster GDAL reads): extract "
                      "its streams");
    prepare
        ->add_option_function<std::uint64_t>(
            "--threshold-cells", [&o](const std::uint64_t& v) { o.threshold_cells = v; },
            "DEM: the stream cells drain at least N cells, themselves included")
        ->type_name("N")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                std::uint64_t v = 0;
                if (text.find_first_not_of("0123456789") == std::string::npos &&
                    CLI::detail::lexical_cast(text, v) && v > 0)
                    return {};
                return "'" + text + "' is not a number of cells (a whole number above 0)";
            },
            ""));
    prepare
        ->add_option_function<double>(
            "--threshold-area", [&o](const double& v) { o.threshold_area = v; },
            "DEM: the stream cells drain at least KM2 square kilometres (a DEM in a projection)")
        ->type_name("KM2")
        ->check(positive_number("an area (a number of km2 above 0)"));
    prepare
        ->add_option_function<std::string>(
            "--keep-intermediate", [&o](const std::string& v) { o.keep_intermediate = v; },
            "DEM: also write the filled DEM, the flow directions and the accumulation as "
            "GeoTIFFs into DIR")
        ->type_name("DIR");
    prepare->add_flag("--json", o.json, "print the summary as one JSON object");
    return prepare;
}

int prepare_command(const PrepareOptions& o, std::ostream& out, std::ostream& err) {
    try {
        return prepare(o, out, err);
    } catch (const UsageError& e) {
        err << "drainshape: " << e.what() << "\n";
        return kUsageStatus;
    } catch (const GisOptionError& e) {
        err << "drainshape: " << e.what() << "\n";
        return kUsageStatus;
    } catch (const InputError& e) {
        err << "drainshape: " << e.what() << "\n";
        return kFailureStatus;
    } catch (const FileError& e) {
        err << "drainshape: " << e.what() << "\n";
        return kFailureStatus;
    } catch (const GridAllocError& e) {
        err << "drainshape: " << o.source << ": " << e.what() << "\n";
        return kFailureStatus;
    }
}

}  // namespace ds
