#include "lib/moving_mean.h"

namespace ds {

PositiveSum positive_window_sum(const RealGrid& src, std::int64_t i, std::int64_t j, int half) {
    assert(i - half >= 0 && i + half < src.rows() && j - half >= 0 && j + half < src.cols());
    PositiveSum s;
    for (std::int64_t r = i - half; r <= i + half; ++r) {
        const auto row = src.row(r);
        for (std::int64_t c = j - half; c <= j + half; ++c) {
            const double v = row[static_cast<std::size_t>(c)];
            if (v > 0.0) {
                ++s.count;
                s.sum += v;
            }
        }
    }
    return s;
}

void positive_mean(const RealGrid& src, int half, RealGrid& dst, std::int64_t first,
                   std::int64_t rows) {
    require_same_shape(src, dst, "moving mean grids differ in size");
    for (std::int64_t i = first + half; i < first + rows - half; ++i) {
        for (std::int64_t j = half; j < src.cols() - half; ++j) {
            const PositiveSum s = positive_window_sum(src, i, j, half);
            dst(i, j) = s.count != 0 ? s.sum / s.count : 0.0;
        }
    }
}

}  // namespace ds
