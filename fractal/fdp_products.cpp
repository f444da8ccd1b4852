#include "fractal/fdp_products.h"

#include <limits>
#include <stdexcept>

#include "lib/moving_mean.h"

namespace ds {

void fdp_network_image(const RealGrid& dtab, ByteGrid& tab_out) {
    require_same_shape(dtab, tab_out, "image buffer and value grid differ in size");
    tab_out.fill(0);
    for (std::int64_t i = 0; i < dtab.rows(); ++i)
        for (std::int64_t j = 0; j < dtab.cols(); ++j)
            tab_out(i, j) = low_byte(image_value(dtab(i, j)));
}

Histogram fdp_regional_image(const RealGrid& dtab, int bord, ByteGrid& tab_out,
                             const std::function<void(int line)>& on_line, FloatGrid* dimensions) {
    require_same_shape(dtab, tab_out, "image buffer and value grid differ in size");
    Histogram val_DF{};
    tab_out.fill(0);
    if (dimensions) {
        require_same_shape(dtab, *dimensions, "dimensions and value grid differ in size");
        dimensions->fill(std::numeric_limits<float>::quiet_NaN());
    }
    for (std::int64_t i = bord; i < dtab.rows() - bord; ++i) {
        if (on_line)
            on_line(static_cast<int>(i + 1));
        for (std::int64_t j = bord; j < dtab.cols() - bord; ++j) {
            const PositiveSum s = positive_window_sum(dtab, i, j, bord);
            if (s.count == 0)
                continue;
            const double result = s.sum / s.count;
            if (dimensions)
                (*dimensions)(i, j) = static_cast<float>(dimension_of(result));
            const int v = image_value(result);
            tab_out(i, j) = low_byte(v);
            count_bin(val_DF, v);
        }
    }
    return val_DF;
}

}  // namespace ds
