// The grid of river lines follows gdal_rasterize: square pixels of --pixel-size; by default the
// box of the lines grown by half a pixel on every side, so that the outermost vertices fall
// inside; the origin at the box's west and north edges; columns = (width / pixel + 0.5)
// truncated, rows the same; with --extent, that box as given; with --like, the other raster's
// grid itself.
#include "app/prepare_command.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <vector>

#include "app/check_command.h"
#include "app/cli.h"
#include "app/river_raster.h"
#include "app/run_job.h"
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

// An option that cannot be used: its one-line message.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

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

// A network grid with its georeference and what its pixels measure.
struct Prepared {
    ByteGrid grid;
    GeoReference geo;
    PixelDescription pixel;
};

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

Prepared from_raster(const PrepareOptions& o, std::ostream& err) {
    refuse_line_options(o);
    BandRule rule;
    rule.kind = BandRule::Kind::Network;
    rule.network_value = o.value;
    RiverRaster river = read_river_raster(o.source, rule);
    if (!river.warning.empty())
        err << "drainshape: warning: " << river.warning << "\n";
    Prepared p;
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
        if (!(c < static_cast<double>(kMaxCells) && r < static_cast<double>(kMaxCells)))
            throw UsageError(option + ": the grid would have more than " +
                             std::to_string(kMaxCells) + " pixels on a side");
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

Prepared from_lines(const PrepareOptions& o, std::ostream& err) {
    check_line_options(o);
    std::optional<LikeGrid> like;
    if (o.like)
        like = like_grid(*o.like);
    const std::string target = drawing_target(o, like);
    const VectorLines lines = read_selected_lines(o, target);
    const LinesGrid g = grid_for_lines(o, lines, like);
    err << "drainshape: " << lines_message(o, lines) << "\n";

    Prepared p;
    p.grid = ByteGrid(g.rows, g.cols);
    draw_lines(lines.lines, g.frame, p.grid);
    p.geo.transform =
        std::array<double, 6>{g.frame.x0, g.frame.dx, 0.0, g.frame.y0, 0.0, g.frame.dy};
    p.geo.projection = target.empty() ? lines.source_wkt : target;
    const CrsInfo crs = describe_crs(p.geo.projection);
    p.pixel.size = std::fabs(g.frame.dx);
    p.pixel.crs = crs.name;
    p.pixel.unit = crs.unit;
    if (crs.known) {
        p.pixel.metres = p.pixel.size * crs.metres_per_unit;
    } else {
        p.pixel.metres = p.pixel.size;
        err << "drainshape: warning: " << o.source
            << " has no coordinate system; its units are taken to be metres\n";
    }
    return p;
}

// The pixel size the descriptor holds: whole metres.
int descriptor_pixel_size(const Prepared& p, const std::string& txt, std::ostream& err) {
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

// OUT.raw and OUT.txt, put in place together.
void write_raw(const Prepared& p, const std::string& out, int pix_size) {
    OutputSet files(fs::path(out).replace_extension().string());
    OutFile f = files.create(fs::path(out).extension().string(), OutFile::Mode::Binary);
    write_image(f, p.grid);
    f.close();
    OutFile d = files.create(".txt", OutFile::Mode::Text);
    d.print("%s", descriptor_header(static_cast<int>(p.grid.rows()),
                                    static_cast<int>(p.grid.cols()), pix_size)
                      .c_str());
    d.close();
    files.commit();
}

void write_tif(const Prepared& p, const std::string& out) {
    OutputSet files(fs::path(out).replace_extension().string());
    const std::string extension = fs::path(out).extension().string();
    try {
        write_geotiff(files.reserve(extension), p.grid, p.geo,
                      {{"TIFFTAG_SOFTWARE", program_version()}},
                      /*zero_is_nodata=*/false);
    } catch (const RasterError& e) {
        throw FileError(out, "Cannot write file " + out + ": " + e.what());
    }
    files.commit();
}

int prepare(const PrepareOptions& o, std::ostream& out, std::ostream& err) {
    const std::string ext = lower_extension(o.out);
    const bool tif = ext == ".tif" || ext == ".tiff";
    if (!tif && ext != ".raw")
        throw UsageError("-o " + o.out + ": give OUT.tif (GeoTIFF) or OUT.raw (with OUT.txt)");
    if (tif && !have_gdal())
        throw UsageError("-o " + o.out +
                         ": this drainshape is built without GDAL and writes only .raw");
    const std::string txt = fs::path(o.out).replace_extension(".txt").string();

    std::error_code ec;
    const fs::path folder = fs::path(o.out).parent_path();
    if (!fs::is_directory(folder.empty() ? fs::path(".") : folder, ec))
        throw InputError("cannot write " + o.out + ": no folder " + folder.string());
    if (!fs::exists(o.source, ec))
        throw InputError("no file " + o.source);
    const bool raw_source = is_raw_path(o.source);
    if (!raw_source && !have_gdal())
        throw UsageError("cannot read " + o.source +
                         ": this drainshape is built without GDAL and prepares only .raw rasters");
    std::vector<std::string> inputs = {o.source};
    if (raw_source)
        inputs.push_back(fs::path(o.source).replace_extension(".txt").string());
    if (o.like)
        inputs.push_back(*o.like);
    for (const std::string& output :
         tif ? std::vector<std::string>{o.out} : std::vector<std::string>{o.out, txt})
        for (const std::string& input : inputs)
            if (same_file(output, input))
                throw UsageError("-o " + o.out + ": " + output + " would replace " + input);

    SourceKind kind = SourceKind::Raster;
    if (!raw_source) {
        kind = source_kind(o.source);
        if (kind == SourceKind::Unknown)
            throw InputError("cannot read " + o.source +
                             ": neither river lines nor a raster that GDAL reads");
    }
    Prepared p = kind == SourceKind::Vector ? from_lines(o, err) : from_raster(o, err);
    if (p.pixel.geographic)
        err << "drainshape: warning: " << o.source
            << " is in geographic coordinates: its pixel size is in degrees, not metres\n";

    const std::int64_t removed = thin_network(p.grid);
    err << "drainshape: " << removed
        << " redundant pixels removed: the network is one pixel wide\n";

    CheckReport report;
    report.file = o.out;
    report.summary = summarize_network(p.grid);
    report.pixel = p.pixel;
    if (tif) {
        write_tif(p, o.out);
    } else {
        const int pix_size = descriptor_pixel_size(p, txt, err);
        write_raw(p, o.out, pix_size);
        report.raw = true;
        report.pixel = {static_cast<double>(pix_size), "metre", "", false,
                        static_cast<double>(pix_size)};
    }
    err << "drainshape: wrote " << (tif ? o.out : o.out + " and " + txt) << "\n";
    print_check_report(report, o.json, out);
    out.flush();
    return out ? 0 : kFailureStatus;
}

}  // namespace

CLI::App* add_prepare_subcommand(CLI::App& app, PrepareOptions& o) {
    CLI::App* prepare = app.add_subcommand(
        "prepare", "make a network raster one pixel wide from river lines or from a stream raster");
    prepare
        ->add_option("SOURCE", o.source,
                     "river lines (any vector format GDAL reads) or a stream raster (any raster "
                     "GDAL reads, or R.raw with R.txt)")
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
            "--like)")
        ->type_name("S")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                double v = 0;
                if (CLI::detail::lexical_cast(text, v) && v > 0 && std::isfinite(v))
                    return {};
                return "'" + text + "' is not a pixel size (a number above 0)";
            },
            ""));
    prepare
        ->add_option_function<std::string>(
            "--t-srs", [&o](const std::string& v) { o.t_srs = v; },
            "lines: the projection to draw in: an EPSG code, a PROJ string or WKT (required "
            "for lines in longitude and latitude)")
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
