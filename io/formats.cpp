#include "io/formats.h"

#include <algorithm>
#include <cctype>
#include <charconv>

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

void write_six(OutFile& f, int nb_lig, int nb_col, int pix_size) {
    for (int v : {nb_lig, nb_col, 1, 0, 255, pix_size})
        f.print("%d\n", v);
}

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

void write_river_descriptor(OutFile& f, int nb_lig, int nb_col, int pix_size) {
    write_six(f, nb_lig, nb_col, pix_size);
}

void write_descriptor_header(OutFile& f, int nb_lig, int nb_col, int pix_size) {
    write_six(f, nb_lig, nb_col, pix_size);
}

void write_parameter_lines(OutFile& f, int win_size, int slid_win, int MNC) {
    f.print("\n\t Window Size used for parameter calculation             = %d ", win_size);
    f.print("\n\t Window Size used to calculate the mean regional values = %d ", slid_win);
    f.print("\n\t Maximum number of confluents in a meandering structure = %d ", MNC);
}

void write_fdp_extremes(OutFile& f, double min, double max) {
    f.print("\n\n\t Fractal Dimension Parameter Min. = %lf ", min);
    f.print("\n\t Fractal Dimension Parameter Max. = %lf ", max);
}

void write_taco_extremes(OutFile& f, double min, double max) {
    f.print("\n\n\tTortuosity And Confluent Parameter. Min. = %lf ", min);
    f.print("\n\tTortuosity And Confluent Parameter. Max. = %lf ", max);
}

FdpRows fdp_table_rows(double min_df, double max_df) {
    // The x100 products are exact in extended precision before the truncation; the range is
    // then cut to the bins that exist, so extremes beyond them never bring in a foreign row.
    auto bound = [](double v) {
        const long double scaled = static_cast<long double>(v) * 100;
        return static_cast<int>(std::clamp(scaled, -1.0L, 256.0L));
    };
    return {std::max(bound(min_df), 0), std::min(bound(max_df), 255)};
}

void write_fdp_table(OutFile& f, const Histogram& hist, double min_df, double max_df) {
    const auto [lo, hi] = fdp_table_rows(min_df, max_df);
    double DF_Suma = 0.0;
    for (int b = lo; b <= hi; ++b)
        DF_Suma += hist[static_cast<std::size_t>(b)];
    f.print("Fract.Dim.\tPix.Numb.\tPercent.\n");
    for (int b = lo; b <= hi; ++b) {
        const int count = hist[static_cast<std::size_t>(b)];
        const double dim = static_cast<double>(static_cast<long double>(b) * 0.01);
        f.print("%lf\t%lf\t%lf\n", dim, static_cast<double>(count), percentage(count, DF_Suma));
    }
}

void write_taco_table(OutFile& f, const Histogram& hist) {
    int TAC_Suma = 0;
    for (int b = 1; b <= 200; ++b)
        TAC_Suma += hist[static_cast<std::size_t>(b)];
    f.print("TAC\tPix.Numb.\tPercent.\n");
    for (int b = 1; b <= 200; ++b) {
        const int count = hist[static_cast<std::size_t>(b)];
        f.print("%d\t%d\t%lf\n", b, count, percentage(count, TAC_Suma));
    }
}

void write_r2_table(OutFile& f, const R2Histogram& hist) {
    f.print("R2\tFrequence\n");
    for (int b = 0; b <= 1000; ++b) {
        const double r2 = static_cast<double>(static_cast<long double>(b) * 0.001);
        f.print("%lf\t%d\n", r2, hist[static_cast<std::size_t>(b)]);
    }
}

void write_image(OutFile& f, const ByteGrid& image) {
    for (std::int64_t r = 0; r < image.rows(); ++r)
        f.write(image.row(r));
}

}  // namespace ds
