#include "io/preview_writer.h"

#include <stdexcept>

#include "analysis/tables.h"

namespace ds {

namespace {

constexpr int kFitBins = 50;  // classes of each axis of the dimension against its R²

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
