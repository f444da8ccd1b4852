// The grid of river lines follows gdal_rasterize: square pixels of --pixel-size; by default the
// box of the lines grown by half a pixel on every side, so that the outermost vertices fall
// inside; the origin at the box's west and north edges; columns = (width / pixel + 0.5)
// truncated, rows the same; with --extent, that box as given; with --like, the other raster's
// grid itself.
#include "prepare/prepare.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <vector>

#include "analysis/analysis.h"
#include "gis/crs.h"
#include "gis/geotiff.h"
#include "gis/vector_lines.h"
#include "io/formats.h"
#include "io/out_file.h"
#include "io/output_set.h"
#include "io/raster_limits.h"
#include "lib/usage_error.h"
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

PreparedNetwork from_raster(const PrepareOptions& o, const PrepareCallbacks& report) {
    refuse_line_options(o);
    BandRule rule;
    rule.kind = BandRule::Kind::Network;
    rule.network_value = o.value;
    RiverRaster river = read_river_raster(o.source, rule);
    if (!river.warning.empty())
        report.warn(river.warning);
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
    report.report({.name = "raster", .count = network});
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

PreparedNetwork from_lines(const PrepareOptions& o, const PrepareCallbacks& report) {
    check_line_options(o);
    std::optional<LikeGrid> like;
    if (o.like)
        like = like_grid(*o.like);
    const std::string target = drawing_target(o, like);
    const VectorLines lines = read_selected_lines(o, target);
    const LinesGrid g = grid_for_lines(o, lines, like);
    report.report({.name = "lines",
                   .count = lines.features,
                   .layer = lines.layer,
                   .lines = lines.line_features,
                   .skipped = lines.skipped,
                   .skipped_types = lines.skipped_types,
                   .lost_points = lines.lost_points});

    PreparedNetwork p;
    p.grid = ByteGrid(g.rows, g.cols);
    draw_lines(lines.lines, g.frame, p.grid);
    p.geo.transform =
        std::array<double, 6>{g.frame.x0, g.frame.dx, 0.0, g.frame.y0, 0.0, g.frame.dy};
    p.geo.projection = target.empty() ? lines.source_wkt : target;
    p.pixel = describe_pixel(p.geo);
    if (!describe_crs(p.geo.projection).known)
        report.warn(o.source + " has no coordinate system; its units are taken to be metres");
    return p;
}

// The pixel size the descriptor holds: whole metres.
int descriptor_pixel_size(const PreparedNetwork& p, const std::string& txt,
                          const PrepareCallbacks& report) {
    const double m = p.pixel.metres;
    if (m <= 0 || !(m < std::numeric_limits<int>::max())) {
        report.warn(std::string("the pixel size is not in metres") +
                    (p.pixel.geographic ? " (geographic coordinates)" : "") + "; " + txt +
                    " holds 0: give drainshape run --pixel-size");
        return 0;
    }
    const int whole = static_cast<int>(std::lround(m));
    if (static_cast<double>(whole) != m)
        report.warn("the pixel size " + number(m) + " m is written as " + std::to_string(whole) +
                    " in " + txt + " (a descriptor holds whole metres)");
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

}  // namespace

PreparedFile prepare_network(const PrepareOptions& o, const PrepareCallbacks& report) {
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
    PreparedNetwork p = o.from_dem ? dem_streams(o, kept ? &*kept : nullptr, report)
                        : kind == SourceKind::Vector ? from_lines(o, report)
                                                     : from_raster(o, report);
    if (p.pixel.geographic)
        report.warn(o.source +
                    " is in geographic coordinates: its pixel size is in degrees, not metres");

    auto start = std::chrono::steady_clock::now();
    const std::int64_t removed = thin_network(p.grid, p.outlets.size() != 0 ? &p.outlets : nullptr);
    report.report({.name = "thinning", .seconds = seconds_since(start), .count = removed});

    PreparedFile result;
    result.summary = summarize_network(p.grid);
    result.pixel = p.pixel;
    start = std::chrono::steady_clock::now();
    OutputSet files(fs::path(o.out).replace_extension().string());
    if (tif) {
        write_tif(p, files, o.out);
    } else {
        const int pix_size = descriptor_pixel_size(p, txt, report);
        write_raw(p, files, o.out, pix_size);
        result.raw = true;
        result.pixel = {static_cast<double>(pix_size), "metre", "", false,
                        static_cast<double>(pix_size)};
    }
    const std::vector<std::string> intermediates =
        kept ? kept->final_paths() : std::vector<std::string>();
    if (kept)
        kept->commit();
    files.commit();
    report.report(
        {.name = "written",
         .seconds = seconds_since(start),
         .files = tif ? std::vector<std::string>{o.out} : std::vector<std::string>{o.out, txt}});
    if (kept)
        report.report({.name = "kept", .files = intermediates});
    return result;
}

}  // namespace ds
