#include "taco/taco_products.h"

#include <stdexcept>

namespace ds {

TacoExtremes taco_extremes(const RealGrid& dtab2, int bord) {
    return taco_extremes(dtab2, bord, {bord, dtab2.rows() - bord});
}

TacoExtremes taco_extremes(const RealGrid& dtab2, int bord, RowRange rows) {
    TacoExtremes e;
    for (std::int64_t i = rows.begin; i < rows.end; ++i) {
        for (std::int64_t j = bord; j < dtab2.cols() - bord; ++j) {
            const double v = dtab2(i, j);
            if (v > 0.0 && e.dval_min > v)
                e.dval_min = v;
            if (e.dval_max < v)
                e.dval_max = v;
        }
    }
    return e;
}

Histogram taco_network_image(const RealGrid& dtab2, ByteGrid& tab_out2) {
    require_same_shape(dtab2, tab_out2, "image buffer and value grid differ in size");
    Histogram val_TAC{};
    tab_out2.fill(0);
    for (std::int64_t i = 0; i < dtab2.rows(); ++i) {
        for (std::int64_t j = 0; j < dtab2.cols(); ++j) {
            const double v = dtab2(i, j);
            const int t = image_value(v);
            if (v != 0.0)
                count_bin(val_TAC, t);
            tab_out2(i, j) = low_byte(t);
        }
    }
    return val_TAC;
}

Histogram taco_regional_image(const RealGrid& dtab3, int bord, ByteGrid& tab_out2) {
    return taco_regional_image(dtab3, bord, tab_out2, {bord, dtab3.rows() - bord});
}

Histogram taco_regional_image(const RealGrid& dtab3, int bord, ByteGrid& tab_out2, RowRange rows) {
    require_same_shape(dtab3, tab_out2, "image buffer and value grid differ in size");
    Histogram val_TAC{};
    tab_out2.fill(0);
    for (std::int64_t i = rows.begin; i < rows.end; ++i) {
        for (std::int64_t j = bord; j < dtab3.cols() - bord; ++j) {
            // Truncated: the one image whose values get no 0.5 before the cut.
            const int t = static_cast<int>(dtab3(i, j));
            count_bin(val_TAC, t);
            tab_out2(i, j) = low_byte(t);
        }
    }
    return val_TAC;
}

}  // namespace ds
