#include "io/formats.h"

#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <optional>

namespace ds {

namespace {

// One scanf("%d")-like read: skip white space, optional sign, digits. False when none.
bool scan_int(std::string_view& text, int& out) {
    std::size_t p = 0;
    while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p])))
        ++p;
    std::size_t q = p;
    if (q < text.size() && (text[q] == '+' || text[q] == '-'))
        ++q;
    const std::size_t digits = q;
    while (q < text.size() && std::isdigit(static_cast<unsigned char>(text[q])))
        ++q;
    if (q == digits)
        return false;
    const char* first = text.data() + p + (text[p] == '+' ? 1 : 0);
    int v = 0;
    const auto [ptr, ec] = std::from_chars(first, text.data() + q, v);
    if (ec != std::errc() || ptr != text.data() + q)
        return false;
    out = v;
    text.remove_prefix(q);
    return true;
}

[[gnu::format(printf, 2, 3)]] void append(std::string& out, const char* format, ...) {
    char buf[256];
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    if (n > 0)
        out.append(buf, static_cast<std::size_t>(std::min<int>(n, sizeof buf - 1)));
}

constexpr std::size_t kDescriptorReadLimit = 64 * 1024;

}  // namespace

RiverDescriptor parse_descriptor(std::string_view text) {
    RiverDescriptor d;
    for (int* v : {&d.nb_lig, &d.nb_col, &d.val, &d.mind, &d.maxd, &d.pix_size}) {
        if (!scan_int(text, *v))
            break;
        ++d.read;
    }
    return d;
}

std::optional<RiverDescriptor> read_descriptor(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return std::nullopt;
    std::string text(kDescriptorReadLimit, '\0');
    f.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(f.gcount()));
    return parse_descriptor(text);
}

std::string descriptor_header(int nb_lig, int nb_col, int pix_size) {
    std::string text;
    for (int v : {nb_lig, nb_col, 1, 0, 255, pix_size})
        append(text, "%d\n", v);
    return text;
}

std::string descriptor_text(const RiverDescriptor& river, const AnalysisParameters& p,
                            const ImageProduct& product) {
    std::string text = descriptor_header(river.nb_lig, river.nb_col, river.pix_size);
    if (product.info.parameter_lines) {
        append(text, "\n\t Window Size used for parameter calculation             = %d ", p.window);
        append(text, "\n\t Window Size used to calculate the mean regional values = %d ",
               p.regional);
        append(text, "\n\t Maximum number of confluents in a meandering structure = %d ", p.mnc);
    }
    if (product.info.parameter == Parameter::Fdp) {
        append(text, "\n\n\t Fractal Dimension Parameter Min. = %lf ", product.min);
        append(text, "\n\t Fractal Dimension Parameter Max. = %lf ", product.max);
    } else {
        append(text, "\n\n\tTortuosity And Confluent Parameter. Min. = %lf ", product.min);
        append(text, "\n\tTortuosity And Confluent Parameter. Max. = %lf ", product.max);
    }
    return text;
}

void write_table(OutFile& f, const FrequencyTable& t) {
    const auto whole = [](double v) { return static_cast<long long>(v); };
    if (t.info->kind == ProductKind::R2) {
        f.print("R2\tFrequence\n");
        for (const auto& r : t.rows)
            f.print("%lf\t%lld\n", r[0], whole(r[1]));
    } else if (t.info->parameter == Parameter::Fdp) {
        f.print("Fract.Dim.\tPix.Numb.\tPercent.\n");
        for (const auto& r : t.rows)
            f.print("%lf\t%lf\t%lf\n", r[0], r[1], r[2]);
    } else {
        f.print("TAC\tPix.Numb.\tPercent.\n");
        for (const auto& r : t.rows)
            f.print("%lld\t%lld\t%lf\n", whole(r[0]), whole(r[1]), r[2]);
    }
}

void write_image(OutFile& f, const ByteGrid& image) {
    // The rows lie one after another: one write, not one per buffer of stdio.
    f.write({image.data(), static_cast<std::size_t>(image.size())});
}

void write_image_rows(RowsFile& f, const ByteGrid& image, std::int64_t first, RowRange rows) {
    if (rows.empty())
        return;
    const std::int64_t cols = image.cols();
    const auto* from = image.row(rows.begin - first).data();
    f.write_at(rows.begin * cols, {from, static_cast<std::size_t>(rows.size() * cols)});
}

}  // namespace ds
