#include "io/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "lib/markup.h"
#include "lib/values.h"

namespace ds {

namespace {

std::string escape(std::string_view text) {
    return markup_escaped(text);
}

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string hex(Rgb c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
    return buf;
}

std::string rect(double x, double y, double w, double h, Rgb fill) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"%s\"/>", x, y,
                  w, h, hex(fill).c_str());
    return buf;
}

std::string text_at(double x, double y, const char* anchor, const std::string& text) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"%s\">", x, y, anchor);
    return buf + escape(text) + "</text>";
}

std::string swatch(Rgb c, const std::string& label) {
    return "<span class=\"swatch\"><i style=\"background:" + hex(c) + "\"></i>" + escape(label) +
           "</span>";
}

// The image value of a real TACO value: rounded in the network image, truncated in the regional
// one, as taco_network_image and taco_regional_image store them.
int taco_image_value(double v, bool network) {
    return network ? image_value(v) : static_cast<int>(v);
}

// The TACO bar from the real minimum to the real maximum, each column in the colour its value
// takes in the picture, labelled at the ends, at 0 and at the class boundary 100.
std::string taco_bar(const ValueRange& values, const Palette& palette, bool network) {
    constexpr int kColumns = 300;
    const double lo = values.lo;
    const double span = values.hi - lo;
    const auto colour = [&](int c) {
        const double v = lo + span * (c + 0.5) / kColumns;
        return palette[low_byte(taco_image_value(v, network))];
    };
    const auto x_of = [&](double v) { return 10 + (span > 0 ? (v - lo) / span * kColumns : 0); };
    std::string svg;
    int start = 0;
    for (int c = 1; c <= kColumns; ++c)
        if (c == kColumns || !(colour(c) == colour(start))) {
            svg += rect(10 + start, 2, c - start + 0.05, 18, colour(start));
            start = c;
        }
    svg += text_at(10, 34, "start", format("%.2f", lo));
    svg += text_at(10 + kColumns, 34, "end", format("%.2f", values.hi));
    for (const double tick : {0.0, 100.0}) {
        const double x = x_of(tick);
        if (tick > lo && tick < values.hi && x > 10 + 40 && x < 10 + kColumns - 40)
            svg += "<line x1=\"" + format("%.1f", x) + "\" y1=\"20\" x2=\"" + format("%.1f", x) +
                   "\" y2=\"24\" stroke=\"#333\"/>" +
                   text_at(x, 34, "middle", format("%.0f", tick));
    }
    // Each class named under its part of the bar when that part is wide enough.
    const auto name = [&](double a, double b, const char* label) {
        a = std::max(a, lo);
        b = std::min(b, values.hi);
        if (x_of(b) - x_of(a) >= 60)
            svg += text_at((x_of(a) + x_of(b)) / 2, 44, "middle", label);
    };
    name(0, 100, "meanders");
    name(100, values.hi, "dendritic");
    return svg;
}

// The colour bar of a picture, with its value labels and the colours outside the scale.
std::string colour_scale(const QuickLook& q) {
    const bool two_sided = q.info->scale == ColourScale::TwoSided;
    const bool network = q.info->kind == ProductKind::Network;
    constexpr double kWidth = 300;
    std::string svg =
        "<svg class=\"scale\" width=\"320\" height=\"44\" viewBox=\"0 0 320 44\" "
        "shape-rendering=\"crispEdges\">";
    const int lo = two_sided ? 1 : q.lo;
    const int hi = two_sided ? 200 : q.hi;
    std::string legend;
    if (two_sided && q.values) {
        svg += taco_bar(*q.values, q.palette, network);
    } else if (hi > 0) {
        const double w = kWidth / (hi - lo + 1);
        for (int v = lo; v <= hi; ++v)
            svg += rect(10 + (v - lo) * w, 2, w + 0.05, 18, q.palette[static_cast<std::size_t>(v)]);
        if (two_sided) {
            svg += text_at(10, 34, "start", "1");
            svg += text_at(10 + 99 * w, 34, "middle", "100");
            svg += text_at(10 + kWidth, 34, "end", "200");
            svg += text_at(10 + 49 * w, 44, "middle", "meanders");
            svg += text_at(10 + 149 * w, 44, "middle", "dendritic");
        } else if (q.values) {
            svg += text_at(10, 34, "start", format("%.3f", q.values->lo));
            svg += text_at(10 + kWidth, 34, "end", format("%.3f", q.values->hi));
        } else {
            // The image values of the FDP are the dimensions x 100.
            svg += text_at(10, 34, "start", format("%.2f", lo / 100.0));
            svg += text_at(10 + kWidth, 34, "end", format("%.2f", hi / 100.0));
        }
    }
    svg += "</svg>";
    legend += swatch(q.palette[0], network ? "0: no network" : "0: no data");
    if (two_sided && network && !q.values)
        legend += swatch(kTacoOutside, "201-255: below 0");
    else if (two_sided && network && q.values->lo < 0)
        legend += swatch(kTacoOutside, "below 0");
    if (!two_sided && hi == 0)
        legend += swatch(q.palette[0], "no value");
    return svg + "<div class=\"legend\">" + legend + "</div>";
}

// The picture of the segments with its TACO bar and legend.
std::string segments_figure(const ReportSegments& g, const std::string& name) {
    const int k = display_scale(g.rows, g.cols);
    std::string h = "<figure id=\"picture_segments\">\n<img alt=\"" + escape(name) +
                    " segments\" width=\"" + std::to_string(g.cols * k) + "\" height=\"" +
                    std::to_string(g.rows * k) + "\" src=\"data:image/png;base64," + base64(g.png) +
                    "\">\n<figcaption><b>Segments</b>: mean TACO of each segment</figcaption>\n";
    h += "<svg class=\"scale\" width=\"320\" height=\"44\" viewBox=\"0 0 320 44\" "
         "shape-rendering=\"crispEdges\">";
    if (g.values)
        h += taco_bar(*g.values, g.palette, true);
    h += "</svg><div class=\"legend\">" + swatch(kNetworkBackground, "no network") +
         swatch(kRegionalNoData, "no segment or no TACO value");
    if (g.values && g.values->lo < 0)
        h += swatch(kTacoOutside, "below 0");
    return h + "</div>\n</figure>\n";
}

std::string optional_cell(const std::optional<double>& v, const char* fmt) {
    return "<td>" + (v ? format(fmt, *v) : std::string("-")) + "</td>";
}

// The largest drainage systems and the totals of the graph.
std::string systems_table(const ReportSegments& g) {
    std::string h = "<h2>Drainage systems</h2>\n<p id=\"system_totals\">" +
                    std::to_string(g.systems) + " systems, " + std::to_string(g.segments) +
                    " segments, " + std::to_string(g.pixels) + " pixels; the " +
                    std::to_string(g.largest.size()) +
                    " largest by pixels, lengths along the segments with a pixel side of " +
                    format("%g", g.pixel_size) +
                    "</p>\n<table id=\"systems\">\n<tr><th>Id</th>"
                    "<th>Pixels</th><th>Length</th><th>Segments</th><th>Ends</th>"
                    "<th>Junctions</th><th>Loops</th><th>Mean TACO</th><th>Meander share</th>";
    if (g.both)
        h += "<th>Mean FDP</th><th>Mean FDP2</th>";
    h += "</tr>\n";
    for (const ReportSystem& s : g.largest) {
        h += "<tr><td>" + std::to_string(s.id) + "</td><td>" + std::to_string(s.pixels) +
             "</td><td>" + format("%.2f", s.length) + "</td><td>" + std::to_string(s.segments) +
             "</td><td>" + std::to_string(s.ends) + "</td><td>" + std::to_string(s.junctions) +
             "</td><td>" + std::to_string(s.loops) + "</td>" + optional_cell(s.taco, "%.2f") +
             optional_cell(s.meander_share, "%.3f");
        if (g.both)
            h += optional_cell(s.fdp, "%.4f") + optional_cell(s.fdp2, "%.4f");
        h += "</tr>\n";
    }
    return h + "</table>\n";
}

// A bar chart of a frequency table.
std::string histogram(const FrequencyTable& table) {
    constexpr double kW = 520, kH = 160, kLeft = 56, kTop = 10;
    const auto& rows = table.rows;
    double max_count = 0;
    double total = 0;
    for (const auto& r : rows) {
        max_count = std::max(max_count, r[1]);
        total += r[1];
    }
    std::string svg =
        "<svg class=\"histogram\" width=\"590\" height=\"205\" viewBox=\"0 0 590 205\">";
    svg += "<line x1=\"56\" y1=\"170\" x2=\"576\" y2=\"170\" stroke=\"#444\"/>";
    svg += "<line x1=\"56\" y1=\"10\" x2=\"56\" y2=\"170\" stroke=\"#444\"/>";
    const bool taco = table.info->parameter == Parameter::Taco;
    const bool r2 = table.info->kind == ProductKind::R2;
    if (!rows.empty() && max_count > 0) {
        const double w = kW / static_cast<double>(rows.size());
        for (std::size_t k = 0; k < rows.size(); ++k) {
            if (rows[k][1] <= 0)
                continue;
            const double h = kH * rows[k][1] / max_count;
            Rgb fill{90, 90, 110};
            if (taco)
                fill = taco_colour(std::clamp(static_cast<int>(rows[k][0]), 1, 200));
            else if (!r2)
                fill = viridis(rows.size() > 1 ? static_cast<double>(k) / (rows.size() - 1) : 0.5);
            svg += rect(kLeft + k * w, kTop + kH - h, std::max(w, 0.6), h, fill);
        }
    }
    const char* value_format = taco ? "%.0f" : r2 ? "%.3f" : "%.2f";
    if (!rows.empty()) {
        svg += text_at(kLeft, 186, "start", format(value_format, rows.front()[0]));
        svg += text_at(kLeft + kW, 186, "end", format(value_format, rows.back()[0]));
    }
    svg += text_at(kLeft - 6, kTop + 10, "end", format("%.0f", max_count));
    svg += text_at(kLeft - 6, kTop + kH, "end", "0");
    svg += text_at(kLeft + kW / 2, 200, "middle",
                   std::string(taco ? "TACO value"
                               : r2 ? "R\u00b2"
                                    : "fractal dimension") +
                       ", " + format("%.0f", total) + " pixels");
    svg += "</svg>";
    return svg;
}

// The dimension against the R² of its fits: processed pixels per cell on a log colour scale,
// with the bar of the counts at the right.
std::string joint_figure(const JointHistogram& h) {
    constexpr double kLeft = 64, kTop = 10, kSide = 300;
    std::int64_t max_count = 0;
    std::int64_t total = 0;
    for (const std::int64_t n : h.counts) {
        max_count = std::max(max_count, n);
        total += n;
    }
    const auto shade = [&](double n) {
        return viridis(max_count > 1 ? std::log(n) / std::log(static_cast<double>(max_count))
                                     : 1.0);
    };
    std::string svg =
        "<svg class=\"joint\" width=\"480\" height=\"360\" viewBox=\"0 0 480 "
        "360\" shape-rendering=\"crispEdges\">";
    const double cw = kSide / std::max(h.x.bins, 1);
    const double ch = kSide / std::max(h.y.bins, 1);
    for (int iy = 0; iy < h.y.bins; ++iy)
        for (int ix = 0; ix < h.x.bins; ++ix)
            if (const std::int64_t n = h.at(ix, iy); n > 0)
                svg += rect(kLeft + ix * cw, kTop + kSide - (iy + 1) * ch, cw + 0.05, ch + 0.05,
                            shade(static_cast<double>(n)));
    svg +=
        "<rect x=\"64\" y=\"10\" width=\"300\" height=\"300\" fill=\"none\" "
        "stroke=\"#444\"/>";
    for (int k = 0; k <= 2; ++k) {
        const double f = k / 2.0;
        const char* anchor = k == 0 ? "start" : k == 1 ? "middle" : "end";
        svg += text_at(kLeft + f * kSide, kTop + kSide + 14, anchor,
                       format("%.3f", h.x.lo + f * (h.x.hi - h.x.lo)));
        svg += text_at(kLeft - 4,
                       kTop + kSide - f * kSide +
                           (k == 0   ? 0
                            : k == 1 ? 4
                                     : 9),
                       "end", format("%.3f", h.y.lo + f * (h.y.hi - h.y.lo)));
    }
    svg += text_at(kLeft + kSide / 2, kTop + kSide + 30, "middle",
                   "fractal dimension, all box sizes; " + std::to_string(total) + " pixels" +
                       (h.left_out > 0 ? ", " + std::to_string(h.left_out) + " without a value"
                                       : std::string()));
    svg +=
        "<text transform=\"translate(14 160) rotate(-90)\" text-anchor=\"middle\">mean "
        "R\u00b2 of the fit</text>";
    if (max_count > 0) {
        constexpr int kSteps = 60;
        const double step = kSide / kSteps;
        for (int k = 0; k < kSteps; ++k)
            svg += rect(kLeft + kSide + 24, kTop + kSide - (k + 1) * step, 12, step + 0.05,
                        viridis(static_cast<double>(k) / (kSteps - 1)));
        svg += text_at(kLeft + kSide + 40, kTop + 9, "start", std::to_string(max_count));
        svg += text_at(kLeft + kSide + 40, kTop + kSide, "start", "1");
        svg += text_at(kLeft + kSide + 40, kTop + kSide / 2 + 4, "start",
                       format("%.0f", std::sqrt(static_cast<double>(max_count))));
    }
    svg += "</svg>";
    return svg;
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 24px; color: #222; background: #fff; }
h1 { font-size: 22px; margin: 0 0 12px; }
h2 { font-size: 17px; margin: 24px 0 8px; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; }
td, th { padding: 2px 12px 2px 0; text-align: left; font-size: 14px; }
.pictures, .histograms { display: flex; flex-wrap: wrap; gap: 24px; }
figure { margin: 0; }
figure img { display: block; image-rendering: pixelated; max-width: 100%; height: auto; }
figcaption { font-size: 13px; margin: 4px 0; }
.scale text, .histogram text, .joint text { font-size: 11px; fill: #333; }
.legend { font-size: 12px; }
.swatch { margin-right: 12px; white-space: nowrap; }
.swatch i { display: inline-block; width: 12px; height: 12px; border: 1px solid #999;
            vertical-align: middle; margin-right: 4px; }
)";

}  // namespace

std::string base64(const std::vector<unsigned char>& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t k = 0; k < bytes.size(); k += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - k);
        unsigned v = static_cast<unsigned>(bytes[k]) << 16;
        if (n > 1)
            v |= static_cast<unsigned>(bytes[k + 1]) << 8;
        if (n > 2)
            v |= bytes[k + 2];
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += n > 1 ? kDigits[(v >> 6) & 63] : '=';
        out += n > 2 ? kDigits[v & 63] : '=';
    }
    return out;
}

int display_scale(std::int64_t rows, std::int64_t cols) {
    const std::int64_t side = std::max<std::int64_t>({rows, cols, 1});
    return static_cast<int>(std::max<std::int64_t>(1, 360 / side));
}

std::string report_html(const ReportInput& in) {
    std::string h = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    h += "<title>drainshape: " + escape(in.name) + "</title>\n<style>" + kStyle +
         "</style>\n</head>\n<body>\n";
    h += "<h1>drainshape: " + escape(in.name) + "</h1>\n";

    h += "<h2>Run</h2>\n<table id=\"parameters\">\n";
    for (const auto& [label, value] : in.parameters)
        h += "<tr><th>" + escape(label) + "</th><td>" + escape(value) + "</td></tr>\n";
    h += "</table>\n";

    h += "<h2>Extremes</h2>\n<table id=\"extremes\">\n<tr><th>Parameter</th><th>Min.</th>"
         "<th>Max.</th></tr>\n";
    for (const ReportExtremes& e : in.extremes)
        h += "<tr><td>" + escape(e.label) + "</td><td>" + format("%.6f", e.min) + "</td><td>" +
             format("%.6f", e.max) + "</td></tr>\n";
    h += "</table>\n";

    h += "<h2>Pictures</h2>\n<div class=\"pictures\">\n";
    for (const QuickLook& q : in.pictures) {
        const int k = display_scale(q.rows, q.cols);
        const std::string suffix(q.info->suffix);
        h += "<figure id=\"picture" + suffix + "\">\n<img alt=\"" + escape(in.name + suffix) +
             "\" width=\"" + std::to_string(q.cols * k) + "\" height=\"" +
             std::to_string(q.rows * k) + "\" src=\"data:image/png;base64," + base64(q.png) +
             "\">\n<figcaption><b>" + escape(in.name + suffix) +
             "</b>: " + std::string(q.info->title) + "</figcaption>\n" + colour_scale(q) +
             "\n</figure>\n";
    }
    if (in.segments)
        h += segments_figure(*in.segments, in.name);
    h += "</div>\n";
    if (in.segments)
        h += systems_table(*in.segments);

    h += "<h2>Frequency tables</h2>\n<div class=\"histograms\">\n";
    for (const FrequencyTable& t : in.tables) {
        const std::string suffix(t.info->suffix);
        h += "<figure id=\"table" + suffix + "\">\n<figcaption><b>" + escape(in.name + suffix) +
             ".xls</b>: " + std::string(t.info->title) + "</figcaption>\n" + histogram(t) +
             "\n</figure>\n";
    }
    h += "</div>\n";
    if (in.fit)
        h +=
            "<h2>Dimension against fit</h2>\n<figure id=\"fdp_r2\">\n<figcaption>Fractal dimension "
            "over all box sizes against the mean R\u00b2 of its fits: processed pixels per cell, "
            "on a log colour scale</figcaption>\n" +
            joint_figure(*in.fit) + "\n</figure>\n";
    h += "</body>\n</html>\n";
    return h;
}

}  // namespace ds
