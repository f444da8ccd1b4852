#include "analysis/tables.h"

#include <algorithm>
#include <cstddef>

namespace ds {

FdpRows fdp_table_rows(double min_df, double max_df) {
    // The x100 products are exact in extended precision before the truncation; the range is
    // then cut to the bins that exist, so extremes beyond them never bring in a foreign row.
    auto bound = [](double v) {
        const long double scaled = static_cast<long double>(v) * 100;
        return static_cast<int>(std::clamp(scaled, -1.0L, 256.0L));
    };
    return {std::max(bound(min_df), 0), std::min(bound(max_df), 255)};
}

namespace {

FrequencyTable fdp_table(const ProductInfo& info, const Histogram& counts, double min_df,
                         double max_df) {
    const auto [lo, hi] = fdp_table_rows(min_df, max_df);
    double DF_Suma = 0.0;
    for (int b = lo; b <= hi; ++b)
        DF_Suma += static_cast<double>(counts[static_cast<std::size_t>(b)]);
    FrequencyTable t{&info, 3, {}};
    for (int b = lo; b <= hi; ++b) {
        const std::int64_t count = counts[static_cast<std::size_t>(b)];
        const double dim = static_cast<double>(static_cast<long double>(b) * 0.01);
        t.rows.push_back({dim, static_cast<double>(count), percentage(count, DF_Suma)});
    }
    return t;
}

FrequencyTable taco_table(const ProductInfo& info, const Histogram& counts) {
    std::int64_t TAC_Suma = 0;
    for (int b = 1; b <= 200; ++b)
        TAC_Suma += counts[static_cast<std::size_t>(b)];
    FrequencyTable t{&info, 3, {}};
    for (int b = 1; b <= 200; ++b) {
        const std::int64_t count = counts[static_cast<std::size_t>(b)];
        t.rows.push_back({static_cast<double>(b), static_cast<double>(count),
                          percentage(count, static_cast<long double>(TAC_Suma))});
    }
    return t;
}

}  // namespace

FrequencyTable image_table(const ProductInfo& info, const Histogram& counts, double min,
                           double max) {
    if (info.parameter == Parameter::Fdp)
        return fdp_table(info, counts, min, max);
    return taco_table(info, counts);
}

FrequencyTable r2_table(const ProductInfo& info, const R2Histogram& counts) {
    FrequencyTable t{&info, 2, {}};
    for (int b = 0; b <= 1000; ++b) {
        const double r2 = static_cast<double>(static_cast<long double>(b) * 0.001);
        t.rows.push_back({r2, static_cast<double>(counts[static_cast<std::size_t>(b)]), 0.0});
    }
    return t;
}

}  // namespace ds
