#include "app/check_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "app/cli.h"
#include "drainshape/run.h"

namespace ds {

namespace {

std::string number(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string pixel_text(const CheckReport& r) {
    const PixelDescription& p = r.pixel;
    if (r.raw)
        return number(p.size) + " m (from the descriptor), no coordinate system";
    if (p.size == 0)
        return "unknown (no geotransform)";
    const std::string unit = p.unit == "metre"    ? "m"
                             : p.unit == "degree" ? "degrees"
                             : p.unit.empty()     ? "(no unit)"
                                                  : p.unit;
    std::string text = number(p.size) + " " + unit;
    if (p.metres != 0 && p.unit != "metre")
        text += " (" + number(p.metres) + " m)";
    return text + ", " + (p.crs.empty() ? "no coordinate system" : p.crs);
}

std::string verdict_text(const NetworkSummary& s) {
    if (s.clean())
        return "yes: one pixel wide, values 0 and 1 only";
    std::string why;
    const auto add = [&](const std::string& reason) { why += (why.empty() ? "" : "; ") + reason; };
    if (s.ones == 0)
        add("no network pixel (value 1)");
    if (s.redundant > 0)
        add("not one pixel wide (" + std::to_string(s.redundant) + " redundant pixels)");
    if (s.others > 0)
        add("values other than 0 and 1 (" + std::to_string(s.others) + " pixels)");
    return "no: " + why + "; drainshape prepare makes a network the analysis can trust";
}

void print_text(const CheckReport& r, std::ostream& out) {
    const NetworkSummary& s = r.summary;
    const auto line = [&](const char* label, const std::string& text) {
        char head[32];
        std::snprintf(head, sizeof head, "  %-18s", label);
        out << head << text << "\n";
    };
    const auto n = [](std::int64_t v) { return std::to_string(v); };
    out << r.file << "\n";
    line("size", n(s.lines) + " lines x " + n(s.columns) + " columns");
    line("pixel", pixel_text(r));
    if (r.pixel.geographic)
        line("warning",
             "geographic coordinates: the pixel size is in degrees, not metres; "
             "drainshape prepare --t-srs draws a network in a projection");
    std::string values = n(s.zeros) + " of 0, " + n(s.ones) + " of 1, " + n(s.others) + " other";
    if (r.nodata > 0)
        values += " (" + n(r.nodata) + " NoData pixels read as 0)";
    line("values", values);
    char share[32];
    std::snprintf(share, sizeof share, " (%.2f %%)",
                  s.lines * s.columns > 0 ? 100.0 * s.ones / (s.lines * s.columns) : 0.0);
    line("network pixels", n(s.ones) + share);
    line("isolated pixels", n(s.isolated) + " (left out of the analysis)");
    line("components", n(s.components) + " (8-connected), the largest " + n(s.largest_component) +
                           " pixels, " + n(s.small_components) + " of one or two pixels");
    line("end pixels", n(s.ends));
    line("junction pixels", n(s.junctions) + " (three network neighbours or more)");
    line("loops", n(s.loops));
    line("2 x 2 blocks", n(s.blocks));
    line("redundant pixels", n(s.redundant));
    line("verdict", verdict_text(s));
}

void print_json(const CheckReport& r, std::ostream& out) {
    const NetworkSummary& s = r.summary;
    const auto n = [](std::int64_t v) { return std::to_string(v); };
    out << "{\"file\":" << json_string(r.file) << ",\"lines\":" << s.lines
        << ",\"columns\":" << s.columns << ",\"pixel_size\":" << number(r.pixel.size)
        << ",\"pixel_unit\":" << (r.pixel.unit.empty() ? "null" : json_string(r.pixel.unit))
        << ",\"pixel_size_m\":" << number(r.pixel.metres)
        << ",\"crs\":" << (r.pixel.crs.empty() ? "null" : json_string(r.pixel.crs))
        << ",\"geographic\":" << (r.pixel.geographic ? "true" : "false")
        << ",\"values\":{\"0\":" << n(s.zeros) << ",\"1\":" << n(s.ones)
        << ",\"other\":" << n(s.others) << "},\"nodata\":" << n(r.nodata)
        << ",\"network_pixels\":" << n(s.ones) << ",\"isolated_pixels\":" << n(s.isolated)
        << ",\"components\":" << n(s.components)
        << ",\"largest_component\":" << n(s.largest_component)
        << ",\"small_components\":" << n(s.small_components) << ",\"end_pixels\":" << n(s.ends)
        << ",\"junction_pixels\":" << n(s.junctions) << ",\"loops\":" << n(s.loops)
        << ",\"blocks_2x2\":" << n(s.blocks) << ",\"redundant_pixels\":" << n(s.redundant)
        << ",\"one_pixel_wide\":" << (s.redundant == 0 ? "true" : "false")
        << ",\"verdict\":" << (s.clean() ? "true" : "false") << "}\n";
}

}  // namespace

CLI::App* add_check_subcommand(CLI::App& app, CheckOptions& o) {
    CLI::App* check = app.add_subcommand(
        "check", "summarize a network raster and say whether the analysis can trust it");
    check
        ->add_option("RIVER", o.river,
                     "R.raw with its descriptor R.txt beside it, or any raster GDAL reads "
                     "(band 1)")
        ->required();
    check->add_flag("--json", o.json, "print the summary as one JSON object");
    check->add_flag("--strict", o.strict,
                    "exit with status 3 when the network is not one pixel wide with values 0 "
                    "and 1 only");
    return check;
}

void print_check_report(const CheckReport& r, bool json, std::ostream& out) {
    if (json)
        print_json(r, out);
    else
        print_text(r, out);
}

int check_command(const CheckOptions& o, std::ostream& out, std::ostream& err) {
    if (!is_raw_path(o.river) && !have_gdal()) {
        err << "drainshape: cannot read " << o.river
            << ": this drainshape is built without GDAL and reads only .raw rasters\n";
        return kUsageStatus;
    }
    RiverRaster river;
    try {
        river = read_river_raster(o.river, BandRule{});
    } catch (const InputError& e) {
        err << "drainshape: " << e.what() << "\n";
        return kFailureStatus;
    } catch (const GridAllocError& e) {
        err << "drainshape: " << o.river << ": " << e.what() << "\n";
        return kFailureStatus;
    }
    if (!river.warning.empty())
        err << "drainshape: warning: " << river.warning << "\n";
    CheckReport report;
    report.file = o.river;
    report.summary = summarize_network(river.cells);
    report.raw = river.raw;
    report.nodata = river.nodata;
    report.pixel = river.pixel;
    print_check_report(report, o.json, out);
    out.flush();
    if (!out)
        return kFailureStatus;
    return o.strict && !report.summary.clean() ? kStrictStatus : 0;
}

}  // namespace ds
