#include "app/prepare_command.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/check_command.h"
#include "drainshape/run.h"
#include "drainshape/usage_error.h"
#include "gis/crs.h"
#include "io/out_file.h"
#include "prepare/prepare.h"

namespace ds {

namespace {

std::string number(double v, const char* format = "%.10g") {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// The line of a step, without its time.
std::string step_line(const PrepareOptions& o, const PrepareStep& s) {
    const std::string& n = s.name;
    if (n == "raster")
        return o.source + ": " + std::to_string(s.count) + " network pixels (" +
               (o.value ? "value " + number(*o.value) : "every value but 0 and NoData") + ")";
    if (n == "lines") {
        std::string text = o.source + " (layer " + s.layer + "): " + std::to_string(s.count) +
                           " features, " + std::to_string(s.lines) + " of them lines";
        if (s.skipped > 0)
            text += "; " + std::to_string(s.skipped) + " other geometries left out (" +
                    s.skipped_types + ")";
        if (s.lost_points > 0)
            text += "; " + std::to_string(s.lost_points) +
                    " vertices that could not be reprojected left out";
        return text;
    }
    if (n == "read")
        return "read " + o.source + (o.t_srs ? " reprojected to " + s.crs_name : "") + ": " +
               std::to_string(s.rows) + " lines x " + std::to_string(s.cols) +
               " columns, cells of " + (s.crs == CrsKind::geographic ? "about " : "") +
               number(s.cell_width, "%.4g") + " x " + number(s.cell_height, "%.4g") +
               (s.crs == CrsKind::none ? " (no coordinate system)" : " m") + ", " +
               std::to_string(s.count) + " NoData";
    if (n == "fill")
        return "depressions filled: " + std::to_string(s.count) + " cells raised";
    if (n == "d8")
        return "D8 flow directions";
    if (n == "flats")
        return "flats drained: " + std::to_string(s.count) + " cells";
    if (n == "accumulation")
        return "flow accumulation";
    if (n == "streams")
        return std::to_string(s.count) + " stream cells, draining " +
               threshold_text(o, s.threshold_cells) + " or more";
    if (n == "holes")
        return std::to_string(s.count) +
               " cells between stream paths side by side made stream cells";
    if (n == "intermediates")
        return "filled DEM, flow directions and accumulation written";
    if (n == "thinning")
        return std::to_string(s.count) + " redundant pixels removed: the network is one pixel wide";
    if (n == "written")
        return "wrote " + s.files.at(0) + (s.files.size() > 1 ? " and " + s.files[1] : "");
    if (n == "kept")
        return "wrote " + s.files.at(0) + ", " + s.files.at(1) + " and " + s.files.at(2);
    return n;
}

int prepare(const PrepareOptions& o, std::ostream& out, std::ostream& err) {
    PrepareCallbacks report;
    report.step = [&](const PrepareStep& s) {
        // The steps of --from-dem are timed; the other sources keep their lines as they are.
        err << "drainshape: " << step_line(o, s);
        if (o.from_dem && s.name != "kept")
            err << " (" << number(s.seconds, "%.2f") << " s)";
        err << "\n";
    };
    report.warning = [&](const std::string& text) {
        err << "drainshape: warning: " << text << "\n";
    };
    const PreparedFile file = prepare_network(o, report);
    print_check_report({o.out, file.summary, file.raw, 0, file.pixel}, o.json, out);
    out.flush();
    return out ? 0 : kFailureStatus;
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
