#include "taco/smoothing_fast.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "lib/moving_mean_fast.h"
#include "lib/window.h"
#include "taco/smoothing.h"

namespace ds {

namespace {

// A grid of the ping-pong pair and the width of its border known to be 0.0.
struct Buffer {
    RealGrid* grid;
    std::int64_t zero_border;
};

// Clears every cell at a distance from the nearest edge of at least b.zero_border and below
// `half`, so that after the cells inside that margin are written, the border of width `half` is
// 0.0. Only the ring that the previous write could have touched is cleared.
void clear_border(Buffer& b, std::int64_t half) {
    RealGrid& g = *b.grid;
    const std::int64_t rows = g.rows();
    const std::int64_t cols = g.cols();
    const std::int64_t z = b.zero_border;
    if (z >= half)
        return;
    for (std::int64_t i = z; i < rows - z; ++i) {
        const auto row = g.row(i);
        const std::int64_t di = std::min(i, rows - 1 - i);
        const auto fill = [&](std::int64_t c0, std::int64_t c1) {
            if (c0 < c1)
                std::fill(row.begin() + c0, row.begin() + c1, 0.0);
        };
        if (di < half) {
            fill(z, cols - z);
        } else {
            fill(z, std::min(half, cols - z));
            fill(std::max(cols - half, half), cols - z);
        }
    }
}

// The largest positive value of the field (0 when there is none), on every thread.
double largest_value(const RealGrid& g, int threads) {
    double vmax = 0.0;
#pragma omp parallel for num_threads(threads) reduction(max : vmax) schedule(static)
    for (std::int64_t i = 0; i < g.rows(); ++i)
        for (const double v : g.row(i))
            vmax = v > vmax ? v : vmax;
    return vmax;
}

// `to` = `from` (grids of the same size), rows split over the threads.
void copy_rows(const RealGrid& from, RealGrid& to, int threads) {
    const auto bytes = static_cast<std::size_t>(from.cols()) * sizeof(double);
#pragma omp parallel for num_threads(threads) schedule(static)
    for (std::int64_t i = 0; i < from.rows(); ++i)
        std::memcpy(to.row(i).data(), from.row(i).data(), bytes);
}

}  // namespace

void progressive_smoothing_fast(RealGrid& dtab2, RealGrid& dtab3, int slid_win, int threads,
                                const std::function<void(int step)>& on_step) {
    require_same_shape(dtab2, dtab3, "smoothing grids differ in size");
    threads = std::max(threads, 1);
    const int step_RI = half_side(slid_win);
    if (step_RI < 1) {
        dtab3.fill(0.0);
        return;
    }
    const double vmax = largest_value(dtab2, threads);
    if (!std::isfinite(vmax)) {
        // The fixed point holds finite values only; such fields never come from the first pass.
        progressive_smoothing(dtab2, dtab3, slid_win, on_step);
        return;
    }
    const std::int64_t nb_lig = dtab2.rows();

    // Between the steps the field is packed (moving_mean_fast.h) into the memory of the two
    // grids in turn, each step reading one and writing the other; the last step writes reals,
    // copied once into the other grid at the end.
    std::vector<std::uint8_t> full_a(static_cast<std::size_t>(nb_lig));
    std::vector<std::uint8_t> full_b(static_cast<std::size_t>(nb_lig));
    const auto field = [&](RealGrid& g, std::vector<std::uint8_t>& full, int half) {
        running::PackedField f;
        f.rows = {reinterpret_cast<running::Cell*>(g.data()), full.data(), 0, g.cols()};
        f.raster_rows = nb_lig;
        f.packing = running::packing_for(vmax, half);
        return f;
    };
    running::PackedField in = field(dtab3, full_a, 1);
    running::pack_rows(dtab2, 0, nb_lig, in, threads);
    Buffer src{&dtab3, 0};
    Buffer dst{&dtab2, 0};
    std::vector<std::uint8_t>* dst_full = &full_b;
    int step = 1;
    for (int m = 1; m <= step_RI; ++m) {
        step += 2;
        const int bord2 = half_side(step);
        if (on_step)
            on_step(step);
        clear_border(dst, bord2);
        const std::int64_t a = bord2;
        const std::int64_t b = std::max<std::int64_t>(nb_lig - bord2, a);
        if (m < step_RI) {
            running::PackedField out = field(*dst.grid, *dst_full, m + 1);
            running::packed_mean_step(in, bord2, a, b, out, threads);
            out.border = bord2;
            dst_full = in.rows.positive == full_a.data() ? &full_a : &full_b;
            in = out;
        } else {
            running::real_mean_step(in, bord2, a, b, *dst.grid, threads);
        }
        dst.zero_border = bord2;
        std::swap(src, dst);
    }
    if (src.grid == &dtab3)
        copy_rows(dtab3, dtab2, threads);
    else
        copy_rows(dtab2, dtab3, threads);
}

}  // namespace ds
