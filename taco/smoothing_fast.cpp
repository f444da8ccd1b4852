#include "taco/smoothing_fast.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "lib/moving_mean_fast.h"
#include "lib/window.h"

namespace ds {

double largest_value(const RealGrid& g, int threads) {
    double vmax = 0.0;
#pragma omp parallel for num_threads(std::max(threads, 1)) reduction(max : vmax) schedule(static)
    for (std::int64_t i = 0; i < g.rows(); ++i)
        for (const double v : g.row(i))
            vmax = v > vmax ? v : vmax;
    return vmax;
}

namespace {

// `to` = `from` (grids of the same size), rows split over the threads.
void copy_rows(const RealGrid& from, RealGrid& to, int threads) {
    const auto bytes = static_cast<std::size_t>(from.cols()) * sizeof(double);
#pragma omp parallel for num_threads(std::max(threads, 1)) schedule(static)
    for (std::int64_t i = 0; i < from.rows(); ++i)
        std::memcpy(to.row(i).data(), from.row(i).data(), bytes);
}

}  // namespace

void progressive_smoothing_fast(RealGrid& dtab2, RealGrid& dtab3, int slid_win, int threads,
                                const std::function<void(int step)>& on_step) {
    require_same_shape(dtab2, dtab3, "smoothing grids differ in size");
    if (half_side(slid_win) < 1) {
        dtab3.fill(0.0);
        return;
    }
    const SmoothingBand whole{0, dtab2.rows(), {0, dtab2.rows()}};
    const RealGrid& result = progressive_smoothing_band_fast(
        dtab2, dtab3, whole, slid_win, largest_value(dtab2, threads), threads, {}, on_step);
    if (&result == &dtab3)
        copy_rows(dtab3, dtab2, threads);
    else
        copy_rows(dtab2, dtab3, threads);
}

RealGrid& progressive_smoothing_band_fast(RealGrid& a, RealGrid& b, const SmoothingBand& band,
                                          int slid_win, double vmax, int threads,
                                          const ShareRows& share,
                                          const std::function<void(int step)>& on_step) {
    const int step_RI = half_side(slid_win);
    if (step_RI < 1 || !std::isfinite(vmax))
        // The fixed point holds finite values only; such fields never come from the first pass.
        return progressive_smoothing_band(a, b, band, slid_win, share, on_step);
    check_band(a, b, band, step_RI);
    threads = std::max(threads, 1);

    // Between the steps the field is packed (moving_mean_fast.h) into the memory of the two
    // grids in turn, each step reading one and writing the other; the last step writes reals.
    std::vector<std::uint8_t> full_a(static_cast<std::size_t>(a.rows()));
    std::vector<std::uint8_t> full_b(static_cast<std::size_t>(a.rows()));
    struct Buffer {
        RealGrid* grid;
        std::vector<std::uint8_t>* full;
        std::int64_t zero_border;  // the own rows' cells this near the edges are 0.0
    };
    const auto field = [&](const Buffer& g, int half, std::int64_t border) {
        running::PackedField f;
        f.rows = {reinterpret_cast<running::Cell*>(g.grid->data()), g.full->data(), band.first,
                  g.grid->cols()};
        f.raster_rows = band.raster_rows;
        f.border = border;
        f.packing = running::packing_for(vmax, half);
        return f;
    };
    Buffer src{&b, &full_b, 0};
    Buffer dst{&a, &full_a, 0};
    running::PackedField in = field(src, 1, 0);
    running::pack_rows(a, band.own.begin, band.own.end, in, threads);
    for (int m = 1; m <= step_RI; ++m) {
        if (on_step)
            on_step(2 * m + 1);
        const RowRange need = step_rows(band, m);
        if (share) {
            share(*src.grid, need);
            running::flag_rows(need.begin, band.own.begin, in);
            running::flag_rows(band.own.end, need.end, in);
        }
        clear_band_border(*dst.grid, band, dst.zero_border, m);
        const std::int64_t first = std::max<std::int64_t>(band.own.begin, m);
        const std::int64_t last = std::max(std::min(band.own.end, band.raster_rows - m), first);
        if (m < step_RI) {
            const running::PackedField out = field(dst, m + 1, m);
            running::packed_mean_step(in, m, first, last, out, threads);
            in = out;
        } else {
            running::real_mean_step(in, m, first, last, *dst.grid, threads);
        }
        dst.zero_border = m;
        std::swap(src, dst);
    }
    return *src.grid;
}

}  // namespace ds
