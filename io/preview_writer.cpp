#include "io/preview_writer.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "analysis/tables.h"
#include "lib/values.h"

namespace ds {

namespace {

constexpr int kFitBins = 50;  // classes of each axis of the dimension against its R²
constexpr std::size_t kLargestSystems = 20;

}  // namespace

std::vector<std::string> preview_suffixes(bool both) {
    std::vector<std::string> out;
    for (const ProductInfo* p : products_of(both, true))
        out.push_back(std::string(p->suffix) + ".png");
    out.push_back("_report.html");
    return out;
}

void PreviewWriter::image(const ImageProduct& p) {
    const std::string suffix = std::string(p.info.suffix) + ".png";
    // The scales span the real values where the run gave them: the TACO fields, and the
    // extremes of the dimension for the network images (the regional ones are means of it).
    std::optional<ValueRange> values;
    if (p.info.parameter == Parameter::Taco)
        values = p.info.kind == ProductKind::Network ? taco_range_ : taco_regional_range_;
    else if (p.info.kind == ProductKind::Network && p.min <= p.max)
        values = ValueRange{p.min, p.max};
    QuickLook q;
    try {
        q = quick_look(p.info, p.image, values);
    } catch (const std::runtime_error& e) {
        const std::string shown = out_.base() + suffix;
        throw FileError(shown, "Cannot write file " + shown + ": " + e.what());
    }
    OutFile f = out_.create(suffix, OutFile::Mode::Binary);
    f.write(q.png);
    f.close();
    report_.pictures.push_back(std::move(q));
    report_.tables.push_back(image_table(p.info, p.counts, p.min, p.max));
    // The extremes of each parameter, once: a network image comes before its regional one.
    if (p.info.kind == ProductKind::Network) {
        const char* label = p.info.parameter == Parameter::Taco ? "TACO"
                            : p.info.estimate == 1              ? "Fractal dimension, all box sizes"
                                                   : "Fractal dimension, without box side 1";
        report_.extremes.push_back({label, p.min, p.max});
    }
}

void PreviewWriter::r2_table(const R2Product& p) {
    report_.tables.push_back(ds::r2_table(p.info, p.counts));
}

void PreviewWriter::taco_field(const RealGrid& dtab2) {
    taco_range_ = nonzero_range(dtab2);
}

void PreviewWriter::fdp_fields(const SparseField& dtab, const SparseField&) {
    fdp_bins_ = bin_values(dtab, kFitBins, 0.01);  // the stored dimensions are x 100
}

void PreviewWriter::r2_fields(const SparseField& r2, const SparseField&) {
    report_.fit = joint_histogram(fdp_bins_, bin_values(r2, kFitBins));
    fdp_bins_ = BinnedValues();
}

void PreviewWriter::taco_regional_field(const RealGrid& smoothed) {
    taco_regional_range_ = nonzero_range(smoothed);
}

void PreviewWriter::segments(const SegmentGraph& graph, const FieldTables& fields,
                             double pixel_size) {
    ReportSegments g;
    g.rows = graph.index.rows();
    g.cols = graph.index.cols();
    g.palette = make_palette(ColourScale::TwoSided, true, 1, 200);
    g.pixel_size = pixel_size;
    g.both = fields.fields >= 3;
    g.systems = static_cast<std::int64_t>(graph.systems.size());
    g.segments = static_cast<std::int64_t>(graph.segments.size());
    g.pixels = graph.index.size();
    const auto field = [&](const FieldStats& (FieldTables::*row)(std::size_t, std::size_t) const,
                           std::size_t id, std::size_t f) -> std::optional<double> {
        return fields.fields > f ? (fields.*row)(id, f).mean() : std::nullopt;
    };
    // Every network pixel grey, then each segment's path in the colour of its mean TACO as the
    // network image would show it; isolated pixels lie on no segment and stay grey.
    std::vector<Rgb> pixels(static_cast<std::size_t>(g.rows * g.cols), kNetworkBackground);
    graph.index.for_each([&](std::int64_t r, std::int64_t c) {
        pixels[static_cast<std::size_t>(r * g.cols + c)] = kRegionalNoData;
    });
    for (std::size_t s = 0; s < graph.segments.size(); ++s) {
        const std::optional<double> taco = field(&FieldTables::segment, s, 0);
        if (!taco)
            continue;
        if (!g.values)
            g.values = ValueRange{*taco, *taco};
        g.values->lo = std::min(g.values->lo, *taco);
        g.values->hi = std::max(g.values->hi, *taco);
        const Rgb colour = g.palette[low_byte(image_value(*taco))];
        for (const GridPixel& p : graph.path(graph.segments[s]))
            pixels[static_cast<std::size_t>(p.row * g.cols + p.col)] = colour;
    }
    try {
        g.png = encode_png(g.rows, g.cols, pixels);
    } catch (const std::runtime_error& e) {
        throw FileError(out_.base() + "_report.html",
                        "Cannot write file " + out_.base() + "_report.html: " + e.what());
    }
    // The largest systems by pixels, the lower id first on a tie.
    std::vector<std::size_t> order(graph.systems.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const std::size_t shown = std::min(kLargestSystems, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(shown),
                      order.end(), [&](std::size_t a, std::size_t b) {
                          const auto pa = graph.systems[a].pixels;
                          const auto pb = graph.systems[b].pixels;
                          return pa != pb ? pa > pb : a < b;
                      });
    for (std::size_t k = 0; k < shown; ++k) {
        const std::size_t id = order[k];
        const GraphSystem& s = graph.systems[id];
        ReportSystem row;
        row.id = static_cast<std::int32_t>(id);
        row.pixels = s.pixels;
        row.length = s.length * pixel_size;
        row.segments = s.segments;
        row.ends = s.ends;
        row.junctions = s.junctions;
        row.loops = s.loops;
        row.taco = field(&FieldTables::system, id, 0);
        if (fields.fields > 0)
            row.meander_share = fields.system(id, 0).share_below();
        row.fdp = field(&FieldTables::system, id, 1);
        row.fdp2 = field(&FieldTables::system, id, 2);
        g.largest.push_back(row);
    }
    report_.segments = std::move(g);
}

void PreviewWriter::write_report(const std::string& name,
                                 std::vector<std::pair<std::string, std::string>> parameters) {
    report_.name = name;
    report_.parameters = std::move(parameters);
    const std::string html = report_html(report_);
    OutFile f = out_.create("_report.html", OutFile::Mode::Binary);
    f.write({reinterpret_cast<const unsigned char*>(html.data()), html.size()});
    f.close();
}

}  // namespace ds
