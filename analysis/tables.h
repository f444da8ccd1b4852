// The frequency tables of the products as numbers: which classes get a row, and each row's
// class, count and percentage. The `.xls` files print these rows; other callers take them as
// they are.
#pragma once

#include <array>
#include <vector>

#include "analysis/products.h"
#include "lib/values.h"

namespace ds {

struct FrequencyTable {
    const ProductInfo* info = nullptr;
    int columns = 3;  // class, pixels, percentage; R² tables: class, pixels
    std::vector<std::array<double, 3>> rows;
};

// Rows lo to hi of an FDP table: the extremes x 100, truncated; the range is cut to the 256
// bins, so it is empty (lo > hi) when it lies wholly outside them or no pixel was processed.
struct FdpRows {
    int lo;
    int hi;
};
FdpRows fdp_table_rows(double min_df, double max_df);

// The table of an image product from its counts and the extremes of its parameter: FDP tables
// over the rows of the extremes, TACO tables over the values 1 to 200.
FrequencyTable image_table(const ProductInfo& info, const Histogram& counts, double min,
                           double max);

// An R² table, classes 0 to 1000.
FrequencyTable r2_table(const ProductInfo& info, const R2Histogram& counts);

}  // namespace ds
