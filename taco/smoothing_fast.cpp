#include "taco/smoothing_fast.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
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

// The number of steps, from step m on, to chain in `parts` parts: as many as keep the rows in use
// by a part (each step's window and lead, in both grids) within the cache's bytes, at least 2;
// 1 (no chain) when both fields fit in the caches of the parts anyway or a single step is left.
int chain_length(int m, int steps, std::int64_t rows, std::int64_t cols, int parts) {
    const std::int64_t row_bytes = 2 * cols * static_cast<std::int64_t>(sizeof(double));
    if (rows * row_bytes / parts <= chain_cache())
        return 1;
    int n = 0;
    for (std::int64_t used = 0; m + n <= steps; ++n) {
        used += (2 * std::int64_t{m + n} + 1 + kLead) * row_bytes;
        if (used > chain_cache() && n >= 2)
            break;
    }
    return n >= 2 ? n : 1;
}

// Far beyond any row: what a part of a step that has no band left wants of its input.
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max() / 4;

// A part of one step of a chain: its rows from the top down to the step's middle row, or from
// the bottom up to it.
struct ChainPart {
    std::unique_ptr<running::StepPass> pass;
    bool up = false;
    bool started = false;  // seen by its own thread only
    std::atomic<bool> finished{false};
    // The output rows that hold the step's results: 0 to ready - 1 going down, ready to the last
    // going up.
    std::atomic<std::int64_t> ready{0};
    // What its next band reads: the input rows below `wants` going down, from `wants` on going
    // up (kNever and -kNever once it has no band left).
    std::atomic<std::int64_t> wants{0};

    void want_next(int m) {
        const RowRange b = pass->next_band();
        wants.store(pass->done() ? (up ? -kNever : kNever)
                    : up         ? b.begin - m
                                 : b.end + m,
                    std::memory_order_release);
    }
};

// One step of a chain: what it reads and writes, and its parts.
struct Link {
    int m = 0;
    RealGrid* grid = nullptr;  // written
    std::int64_t zero = 0;     // the frame of `grid` that is 0.0 already
    running::PackedField in, out;
    std::int64_t first = 0, last = 0;  // the rows it computes
    int parts = 1;
    ChainPart part[2];

    bool finished() const {
        for (int p = 0; p < parts; ++p)
            if (!part[p].finished.load(std::memory_order_acquire))
                return false;
        return true;
    }
};

// Runs the steps of `links` along the rows of a whole raster of `rows` rows, each step following
// the one before (whose output it reads) as closely as its window allows, so that the rows a
// step writes are read by the next while the caches hold them. With one part a step goes from
// the top down; with two, thread 0 takes the rows from the top down to the middle and thread 1
// those from the bottom up to it, each reading what it wrote itself but near the middle. A band
// is computed once the step before has written the rows it reads and has read for the last time
// the rows it overwrites (the same rows: a step's output grid is the input of the step before):
// near the middle, once both parts of the step before are done. A part runs at most kLead rows
// ahead of what the same part of the next step reads next. Every band is computed as a single
// step computes it, so the bytes do not depend on the chain.
void run_chain(std::vector<Link>& links, std::int64_t rows) {
    const auto n = links.size();
    const int parts = links.front().parts;
    const auto clear = [rows](const Link& l, std::int64_t r0, std::int64_t r1) {
        r0 = std::clamp<std::int64_t>(r0, 0, rows);
        r1 = std::clamp<std::int64_t>(r1, 0, rows);
        if (r0 < r1)
            clear_band_border(*l.grid, {0, rows, {r0, r1}}, l.zero, l.m);
    };
    // Moves part p of link k on as far as it may; returns whether it did anything.
    const auto advance = [&](std::size_t k, int p) {
        Link& l = links[k];
        ChainPart& c = l.part[p];
        const Link* before = k > 0 ? &links[k - 1] : nullptr;
        const Link* after = k + 1 < n ? &links[k + 1] : nullptr;
        const bool input_done = before == nullptr || before->finished();
        const std::int64_t input =
            before == nullptr ? 0 : before->part[p].ready.load(std::memory_order_acquire);
        const std::int64_t lead =
            after == nullptr ? (c.up ? -kNever : kNever)
            : c.up           ? after->part[p].wants.load(std::memory_order_acquire) - kLead
                             : after->part[p].wants.load(std::memory_order_acquire) + kLead;
        // Whether the band `b` may be computed now.
        const auto may = [&](const RowRange& b) {
            if (c.up)
                return b.end >= lead && (input_done || b.begin - l.m >= input);
            return b.begin <= lead && (input_done || b.end + l.m <= input);
        };
        running::StepPass& pass = *c.pass;
        bool moved = false;
        if (!c.started) {
            if (pass.done() ? !input_done : !may(pass.next_band()))
                return false;
            if (c.up) {
                clear(l, l.last, rows);
                c.ready.store(l.last, std::memory_order_release);
            } else {
                clear(l, 0, l.first);
                c.ready.store(std::min(l.first, rows), std::memory_order_release);
            }
            c.started = moved = true;
        }
        while (!pass.done() && may(pass.next_band())) {
            const RowRange b = pass.next_band();
            pass.next();
            clear(l, b.begin, b.end);
            c.want_next(l.m);
            c.ready.store(c.up ? b.begin : b.end, std::memory_order_release);
            moved = true;
        }
        // With one part, the rows below the last ones are cleared once the step before is done.
        if (pass.done() && (c.up || l.parts == 2 || input_done)) {
            if (!c.up && l.parts == 1) {
                clear(l, l.last, rows);
                c.ready.store(rows, std::memory_order_release);
            }
            c.finished.store(true, std::memory_order_release);
            moved = true;
        }
        return moved;
    };
#pragma omp parallel num_threads(parts) if (parts > 1)
    {
        // The part of a thread that the runtime did not start is taken by the other.
        const int t0 = omp_get_thread_num();
        const int nt = omp_get_num_threads();
        for (;;) {
            bool all = true, moved = false;
            for (int p = t0; p < parts; p += nt)
                for (std::size_t k = 0; k < n; ++k)
                    if (!links[k].part[p].finished.load(std::memory_order_relaxed)) {
                        all = false;
                        moved = advance(k, p) || moved;
                    }
            if (all)
                break;
            if (!moved)
                std::this_thread::yield();
        }
    }
}

}  // namespace

void set_chain_cache(std::int64_t bytes) {
    chain_cache() = bytes > 0 ? bytes : kChainCacheBytes;
}

void progressive_smoothing_fast(RealGrid& values, RealGrid& scratch, int side, int threads,
                                const std::function<void(int step)>& on_step) {
    require_same_shape(values, scratch, "smoothing grids differ in size");
    if (half_side(side) < 1) {
        scratch.fill(0.0);
        return;
    }
    const SmoothingBand whole{0, values.rows(), {0, values.rows()}};
    const RealGrid& result = progressive_smoothing_band_fast(
        values, scratch, whole, side, largest_value(values, threads), threads, {}, on_step);
    if (&result == &scratch)
        copy_rows(scratch, values, threads);
    else
        copy_rows(values, scratch, threads);
}

RealGrid& progressive_smoothing_band_fast(RealGrid& a, RealGrid& b, const SmoothingBand& band,
                                          int side, double vmax, int threads,
                                          const ShareRows& share,
                                          const std::function<void(int step)>& on_step) {
    const int steps = half_side(side);
    if (steps < 1 || !std::isfinite(vmax))
        // The fixed point holds finite values only; such fields never come from the first pass.
        return progressive_smoothing_band(a, b, band, side, share, on_step);
    check_band(a, b, band, steps);
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
    // One or two threads holding the whole raster chain its steps along the rows: steps m to
    // m + length - 1 at once.
    const bool chained = threads <= 2 && !share && band.first == 0 && band.own.begin == 0 &&
                         band.own.end == band.raster_rows;
    const auto chain = [&](int m, int length) {
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
            if (l.m < steps)
                l.out = field(write, l.m + 1, l.m);
            l.parts = threads;
            const std::int64_t middle = threads == 2 ? (l.first + l.last) / 2 : l.last;
            for (int p = 0; p < l.parts; ++p) {
                ChainPart& c = l.part[p];
                c.up = p == 1;
                c.pass = std::make_unique<running::StepPass>(
                    l.in, l.m, c.up ? middle : l.first, c.up ? l.last : middle,
                    l.m < steps ? &l.out : nullptr, write.grid, c.up);
                c.ready.store(c.up ? band.raster_rows : 0);
                c.want_next(l.m);
            }
            if (on_step)
                on_step(2 * l.m + 1);
        }
        run_chain(links, band.raster_rows);
        const int end = m + length - 1;
        if (length % 2 == 1)
            std::swap(src, dst);
        src.zero_border = end;
        dst.zero_border = end - 1;
        in = links.back().out;
    };
    for (int m = 1; m <= steps; ++m) {
        const int length =
            chained ? chain_length(m, steps, band.raster_rows, a.cols(), threads) : 1;
        if (length >= 2) {
            chain(m, length);
            m += length - 1;
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
        if (m < steps) {
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
