#include "taco/smoothing.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "lib/moving_mean.h"
#include "lib/window.h"

namespace ds {

void progressive_smoothing(RealGrid& dtab2, RealGrid& dtab3, int slid_win,
                           const std::function<void(int step)>& on_step) {
    require_same_shape(dtab2, dtab3, "smoothing grids differ in size");
    dtab3.fill(0.0);
    if (half_side(slid_win) < 1)
        return;
    const SmoothingBand whole{0, dtab2.rows(), {0, dtab2.rows()}};
    const RealGrid& result = progressive_smoothing_band(dtab2, dtab3, whole, slid_win, {}, on_step);
    if (&result == &dtab3)
        dtab2 = dtab3;
    else
        dtab3 = dtab2;
}

RowRange step_rows(const SmoothingBand& band, int half) {
    return {std::max<std::int64_t>(band.own.begin - half, 0),
            std::min(band.own.end + half, band.raster_rows)};
}

void check_band(const RealGrid& a, const RealGrid& b, const SmoothingBand& band, int half) {
    require_same_shape(a, b, "smoothing grids differ in size");
    const RowRange need = step_rows(band, half);
    if (band.own.empty() || band.own.begin < 0 || band.own.end > band.raster_rows ||
        need.begin < band.first || need.end > band.first + a.rows())
        throw std::invalid_argument("smoothing band: the grids lack rows that the steps read");
}

void clear_band_border(RealGrid& g, const SmoothingBand& band, std::int64_t done,
                       std::int64_t half) {
    if (done >= half)
        return;
    const std::int64_t cols = g.cols();
    for (std::int64_t i = band.own.begin; i < band.own.end; ++i) {
        const auto row = g.row(i - band.first);
        const auto fill = [&](std::int64_t c0, std::int64_t c1) {
            if (c0 < c1)
                std::fill(row.begin() + c0, row.begin() + c1, 0.0);
        };
        const std::int64_t di = std::min(i, band.raster_rows - 1 - i);
        if (di < done)
            continue;
        if (di < half) {
            fill(done, cols - done);
        } else {
            fill(done, std::min(half, cols - done));
            fill(std::max(cols - half, half), cols - done);
        }
    }
}

RealGrid& progressive_smoothing_band(RealGrid& a, RealGrid& b, const SmoothingBand& band,
                                     int slid_win, const ShareRows& share,
                                     const std::function<void(int step)>& on_step) {
    const int step_RI = half_side(slid_win);
    check_band(a, b, band, step_RI);
    RealGrid* src = &a;
    RealGrid* dst = &b;
    if (step_RI < 1) {
        for (std::int64_t i = band.own.begin; i < band.own.end; ++i)
            std::ranges::fill(b.row(i - band.first), 0.0);
        return b;
    }
    for (int m = 1; m <= step_RI; ++m) {
        if (on_step)
            on_step(2 * m + 1);
        const RowRange need = step_rows(band, m);
        if (share)
            share(*src, need);
        clear_band_border(*dst, band, 0, m);
        positive_mean(*src, m, *dst, need.begin - band.first, need.size());
        std::swap(src, dst);
    }
    return *src;
}

}  // namespace ds
