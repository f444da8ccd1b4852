#include "taco/smoothing_fast.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
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

constexpr std::int64_t kChainCacheBytes = std::int64_t{12} << 20;

std::int64_t& chain_cache() {
    static std::int64_t bytes = kChainCacheBytes;
    return bytes;
}

// Rows that a step of a chain may run ahead of those that the next step reads next.
constexpr std::int64_t kLead = 32;

// The number of steps, from step m on, to chain: as many as keep the rows in use (each step's
// window and lead, in both grids) within the cache's bytes, at least 2; 1 (no chain) when both
// fields fit in the cache anyway or a single step is left.
int chain_length(int m, int step_RI, std::int64_t rows, std::int64_t cols) {
    const std::int64_t row_bytes = 2 * cols * static_cast<std::int64_t>(sizeof(double));
    if (rows * row_bytes <= chain_cache())
        return 1;
    int n = 0;
    for (std::int64_t used = 0; m + n <= step_RI; ++n) {
        used += (2 * std::int64_t{m + n} + 1 + kLead) * row_bytes;
        if (used > chain_cache() && n >= 2)
            break;
    }
    return n >= 2 ? n : 1;
}

// One step of a chain: what it reads and writes, and how far down the rows it has got.
struct Link {
    int m = 0;
    RealGrid* grid = nullptr;  // written
    std::int64_t zero = 0;     // the frame of `grid` that is 0.0 already
    running::PackedField in, out;
    std::int64_t first = 0, last = 0;  // the rows it computes
    std::unique_ptr<running::StepPass> pass;
    bool started = false, finished = false;
    std::int64_t ready = 0;  // rows of `grid` from the top that hold its results
    std::int64_t wants = 0;  // rows of its input from the top that it reads next
};

// Runs the steps of `links` down the rows of a whole raster of `rows` rows, each a few bands at
// a time and each following the one before (whose output it reads) as closely as its window
// allows, so that the rows a step writes are read again by the next while the caches hold
// them. A step computes a band once the step before has written the rows it reads and has read
// for the last time the rows it overwrites (the same rows: a step's output grid is the input of
// the step before), and runs at most kLead rows ahead of what the next step reads next. Every
// band is computed as a single step computes it, so the bytes do not depend on the chain.
void run_chain(std::vector<Link>& links, std::int64_t rows) {
    const auto n = links.size();
    const auto clear = [rows](const Link& l, std::int64_t r0, std::int64_t r1) {
        r0 = std::min(r0, rows);
        r1 = std::min(r1, rows);
        if (r0 < r1)
            clear_band_border(*l.grid, {0, rows, {r0, r1}}, l.zero, l.m);
    };
    for (std::size_t finished = 0; finished < n;) {
        for (std::size_t k = 0; k < n; ++k) {
            Link& l = links[k];
            if (l.finished)
                continue;
            const std::int64_t input = k == 0 ? rows : links[k - 1].ready;
            const std::int64_t lead = k + 1 < n ? links[k + 1].wants + kLead : rows;
            if (!l.started) {
                if (input < l.wants)
                    continue;
                clear(l, 0, l.first);
                l.started = true;
                l.ready = std::min(l.first, rows);
            }
            running::StepPass& pass = *l.pass;
            while (!pass.done() && input >= pass.next_end() + l.m && pass.next_row() <= lead) {
                const std::int64_t r0 = pass.next_row();
                const std::int64_t r1 = pass.next_end();
                pass.next();
                clear(l, r0, r1);
                l.wants = pass.done() ? rows : pass.next_end() + l.m;
                l.ready = r1;
            }
            if (pass.done() && input >= rows) {
                clear(l, l.last, rows);
                l.ready = rows;
                l.finished = true;
                ++finished;
            }
        }
    }
}

}  // namespace

void set_chain_cache(std::int64_t bytes) {
    chain_cache() = bytes > 0 ? bytes : kChainCacheBytes;
}

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
    // One thread holding the whole raster chains its steps down the rows. (Two threads that
    // chain lose more than they gain to the rows one core reads from the other's caches: 10 %
    // slower than steps shared by rows, measured on a virtual machine of two cores.)
    const bool chained = threads == 1 && !share && band.first == 0 && band.own.begin == 0 &&
                         band.own.end == band.raster_rows;
    for (int m = 1; m <= step_RI; ++m) {
        const int length = chained ? chain_length(m, step_RI, band.raster_rows, a.cols()) : 1;
        if (length >= 2) {
            std::vector<Link> links(static_cast<std::size_t>(length));
            for (int k = 0; k < length; ++k) {
                Link& l = links[static_cast<std::size_t>(k)];
                const Buffer& read = k % 2 == 0 ? src : dst;
                const Buffer& write = k % 2 == 0 ? dst : src;
                l.m = m + k;
                l.grid = write.grid;
                l.zero = k >= 2 ? l.m - 2 : write.zero_border;
                l.in = k == 0 ? in : field(read, l.m, l.m - 1);
                l.first = l.m;
                l.last = std::max(band.raster_rows - l.m, l.first);
                if (l.m < step_RI)
                    l.out = field(write, l.m + 1, l.m);
                l.pass = std::make_unique<running::StepPass>(
                    l.in, l.m, l.first, l.last, l.m < step_RI ? &l.out : nullptr, write.grid);
                l.wants = l.pass->done() ? band.raster_rows : l.pass->next_end() + l.m;
                if (on_step)
                    on_step(2 * l.m + 1);
            }
            run_chain(links, band.raster_rows);
            m += length - 1;
            if (length % 2 == 1)
                std::swap(src, dst);
            src.zero_border = m;
            dst.zero_border = m - 1;
            in = links.back().out;
            continue;
        }
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
