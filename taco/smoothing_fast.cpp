#include "taco/smoothing_fast.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "lib/moving_mean_fast.h"
#include "lib/window.h"

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

}  // namespace

void progressive_smoothing_fast(RealGrid& dtab2, RealGrid& dtab3, int slid_win, int threads,
                                const std::function<void(int step)>& on_step) {
    require_same_shape(dtab2, dtab3, "smoothing grids differ in size");
    const int step_RI = half_side(slid_win);
    dtab3.fill(0.0);
    // Each step reads one grid and writes the other; the last result is copied once at the end.
    Buffer src{&dtab2, 0};
    Buffer dst{&dtab3, std::numeric_limits<std::int64_t>::max()};
    int step = 1;
    for (int m = 1; m <= step_RI; ++m) {
        step += 2;
        const int bord2 = half_side(step);
        if (on_step)
            on_step(step);
        clear_border(dst, bord2);
        running_positive_mean(*src.grid, bord2, *dst.grid, threads);
        dst.zero_border = bord2;
        std::swap(src, dst);
    }
    if (step_RI < 1)
        return;
    if (src.grid == &dtab3)
        dtab2 = dtab3;
    else
        dtab3 = dtab2;
}

}  // namespace ds
