// Moving-window sums of positive values in time proportional to the pixels, whatever the window.
//
// Each window sum is kept as an unevaluated pair hi + lo: every addition goes through TwoSum, so
// hi carries the rounded running sum and lo the exact rounding errors, and the count of positive
// values is an exact integer. A column sum slides down its column (adding the row entering the
// window, removing the row leaving it) and a window sum slides along its row over the column
// sums. A column sum always starts at the top of the raster and a window sum at the left end of
// its row, so every value is computed by the same operations in the same order whatever the
// number of threads: the column pass is shared out by bands of columns, the row pass by groups
// of rows, one chunk of rows at a time.
#pragma once

#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "lib/grid.h"
#include "lib/sparse_field.h"

namespace ds {

// a + b == s + e exactly, s the rounded sum.
inline void two_sum(double a, double b, double& s, double& e) {
    s = a + b;
    const double bb = s - a;
    e = (a - (s - bb)) + (b - bb);
}

namespace running {

inline constexpr int kGroupRows = 8;   // rows whose window sums slide side by side
inline constexpr int kChunkRows = 64;  // rows between two column-pass/row-pass switches
inline constexpr std::int64_t kBandCols = 256;

static_assert(kChunkRows % kGroupRows == 0);

// One positive value `a` (or 0) enters a sum and one `b` (or 0) leaves it; `dn` is the change
// of the count. A sum whose count falls to 0 is exactly 0 again.
inline void slide_sum(double& hi, double& lo, int& n, double a, double b, int dn) {
    double s1, e1, s2, e2;
    two_sum(hi, a, s1, e1);
    two_sum(s1, -b, s2, e2);
    const double l = lo + (e1 + e2);
    const int cnt = n + dn;
    hi = cnt != 0 ? s2 : 0.0;
    lo = cnt != 0 ? l : 0.0;
    n = cnt;
}

// Per-column sums over the rows of the current window.
struct ColumnSums {
    explicit ColumnSums(std::int64_t cols)
        : hi(static_cast<std::size_t>(cols)),
          lo(static_cast<std::size_t>(cols)),
          n(static_cast<std::size_t>(cols)) {}
    std::vector<double> hi;
    std::vector<double> lo;
    std::vector<int> n;
};

// Column source over a dense grid.
class DenseColumns {
  public:
    DenseColumns(const RealGrid& src, int half) : src_(src), half_(half) {}
    std::int64_t rows() const { return src_.rows(); }
    std::int64_t cols() const { return src_.cols(); }

    // Sums of rows 0 to 2 * half for columns c0 to c1 - 1.
    void start(std::int64_t c0, std::int64_t c1, ColumnSums& s) const {
        std::fill(s.hi.begin() + c0, s.hi.begin() + c1, 0.0);
        std::fill(s.lo.begin() + c0, s.lo.begin() + c1, 0.0);
        std::fill(s.n.begin() + c0, s.n.begin() + c1, 0);
        for (std::int64_t r = 0; r <= 2 * std::int64_t{half_}; ++r)
            step(src_.row(r).data(), nullptr, c0, c1, s);
    }
    // Moves the window of columns c0 to c1 - 1 from centre row i - 1 to centre row i.
    void slide(std::int64_t i, std::int64_t c0, std::int64_t c1, ColumnSums& s) const {
        step(src_.row(i + half_).data(), src_.row(i - half_ - 1).data(), c0, c1, s);
    }

  private:
    static void step(const double* add, const double* sub, std::int64_t c0, std::int64_t c1,
                     ColumnSums& s) {
        double* hi = s.hi.data();
        double* lo = s.lo.data();
        int* n = s.n.data();
        if (sub == nullptr) {
#pragma omp simd
            for (std::int64_t j = c0; j < c1; ++j) {
                const bool pa = add[j] > 0.0;
                slide_sum(hi[j], lo[j], n[j], pa ? add[j] : 0.0, 0.0, pa ? 1 : 0);
            }
            return;
        }
#pragma omp simd
        for (std::int64_t j = c0; j < c1; ++j) {
            const bool pa = add[j] > 0.0;
            const bool pb = sub[j] > 0.0;
            slide_sum(hi[j], lo[j], n[j], pa ? add[j] : 0.0, pb ? sub[j] : 0.0,
                      (pa ? 1 : 0) - (pb ? 1 : 0));
        }
    }

    const RealGrid& src_;
    int half_;
};

// Column source over a sparse field: only the stored pixels are visited; the sums are the same
// doubles as those of the dense equivalent.
class SparseColumns {
  public:
    SparseColumns(const SparseField& f, int half) : f_(f), half_(half) {}
    std::int64_t rows() const { return f_.at->rows; }
    std::int64_t cols() const { return f_.at->cols; }

    void start(std::int64_t c0, std::int64_t c1, ColumnSums& s) const {
        std::fill(s.hi.begin() + c0, s.hi.begin() + c1, 0.0);
        std::fill(s.lo.begin() + c0, s.lo.begin() + c1, 0.0);
        std::fill(s.n.begin() + c0, s.n.begin() + c1, 0);
        for (std::int64_t r = 0; r <= 2 * std::int64_t{half_}; ++r) {
            const auto [b, e] = range(r, c0, c1);
            for (std::int64_t k = b; k < e; ++k)
                if (value(k) > 0.0)
                    slide_sum(s.hi[col(k)], s.lo[col(k)], s.n[col(k)], value(k), 0.0, 1);
        }
    }

    void slide(std::int64_t i, std::int64_t c0, std::int64_t c1, ColumnSums& s) const {
        // The entering and the leaving row, merged by column: a column touched by both takes
        // both in one step, as the dense pass does.
        auto [a, ae] = range(i + half_, c0, c1);
        auto [b, be] = range(i - half_ - 1, c0, c1);
        while (a < ae || b < be) {
            std::int64_t j;
            double va = 0.0, vb = 0.0;
            if (b >= be || (a < ae && col(a) < col(b))) {
                j = col(a);
                va = value(a++);
            } else if (a >= ae || col(b) < col(a)) {
                j = col(b);
                vb = value(b++);
            } else {
                j = col(a);
                va = value(a++);
                vb = value(b++);
            }
            const bool pa = va > 0.0;
            const bool pb = vb > 0.0;
            if (pa || pb)
                slide_sum(s.hi[static_cast<std::size_t>(j)], s.lo[static_cast<std::size_t>(j)],
                          s.n[static_cast<std::size_t>(j)], pa ? va : 0.0, pb ? vb : 0.0,
                          (pa ? 1 : 0) - (pb ? 1 : 0));
        }
    }

  private:
    std::size_t col(std::int64_t k) const { return static_cast<std::size_t>(f_.at->col[k]); }
    double value(std::int64_t k) const { return f_.values[static_cast<std::size_t>(k)]; }
    // Stored pixels of row r in columns c0 to c1 - 1.
    std::pair<std::int64_t, std::int64_t> range(std::int64_t r, std::int64_t c0,
                                                std::int64_t c1) const {
        const auto first = f_.at->col.begin();
        const auto lo = std::lower_bound(first + f_.at->begin(r), first + f_.at->end(r), c0);
        const auto hi = std::lower_bound(lo, first + f_.at->end(r), c1);
        return {lo - first, hi - first};
    }

    const SparseField& f_;
    int half_;
};

// Window sums of every pixel whose window lies inside the raster, handed to `sink.emit` one
// column of a row group at a time:
//   emit(thread, i, rows, j, hi, lo, n): rows i to i + rows - 1 of column j, with the window sum
//   hi[k] + lo[k] and count n[k] for row i + k (arrays of kGroupRows entries).
// emit runs on the worker threads, never twice at once for the same pixel. `after_chunk(i0, i1)`
// runs on the calling thread once rows i0 to i1 - 1 are all emitted, in increasing order.
template <class Columns, class Sink, class AfterChunk>
void window_sums(const Columns& columns, int half, int threads, Sink& sink,
                 AfterChunk&& after_chunk) {
    constexpr int G = kGroupRows;
    const std::int64_t rows = columns.rows();
    const std::int64_t cols = columns.cols();
    const std::int64_t h = half;
    if (half < 0 || rows <= 2 * h || cols <= 2 * h)
        return;
    threads = std::max(threads, 1);

    ColumnSums state(cols);
    // Column sums of one chunk, row group by row group, each group column-major: entry (row k,
    // column j) of a group at j * G + k, so that the row pass reads the G rows side by side.
    const auto buf_size = static_cast<std::size_t>(kChunkRows * cols);
    std::vector<double> buf_hi(buf_size), buf_lo(buf_size);
    std::vector<int> buf_n(buf_size);
    const std::int64_t bands = (cols + kBandCols - 1) / kBandCols;

    for (std::int64_t i0 = h; i0 < rows - h; i0 += kChunkRows) {
        const std::int64_t i1 = std::min(i0 + kChunkRows, rows - h);
        const std::int64_t groups = (i1 - i0 + G - 1) / G;
#pragma omp parallel num_threads(threads) if (threads > 1)
        {
#pragma omp for schedule(static)
            for (std::int64_t band = 0; band < bands; ++band) {
                const std::int64_t c0 = band * kBandCols;
                const std::int64_t c1 = std::min(c0 + kBandCols, cols);
                for (std::int64_t i = i0; i < i1; ++i) {
                    if (i == h)
                        columns.start(c0, c1, state);
                    else
                        columns.slide(i, c0, c1, state);
                    const std::int64_t k = i - i0;
                    const std::size_t base = static_cast<std::size_t>((k / G) * cols * G + k % G);
                    for (std::int64_t j = c0; j < c1; ++j) {
                        const auto at = base + static_cast<std::size_t>(j * G);
                        buf_hi[at] = state.hi[static_cast<std::size_t>(j)];
                        buf_lo[at] = state.lo[static_cast<std::size_t>(j)];
                        buf_n[at] = state.n[static_cast<std::size_t>(j)];
                    }
                }
            }

#pragma omp for schedule(static)
            for (std::int64_t g = 0; g < groups; ++g) {
                const int thread = omp_get_thread_num();
                const std::size_t base = static_cast<std::size_t>(g * cols * G);
                const double* ch = buf_hi.data() + base;
                const double* cl = buf_lo.data() + base;
                const int* cn = buf_n.data() + base;
                const std::int64_t first = i0 + g * G;
                const int valid = static_cast<int>(std::min<std::int64_t>(G, i1 - first));
                alignas(64) double rh[G] = {};
                alignas(64) double rl[G] = {};
                alignas(64) int rn[G] = {};
                for (std::int64_t j = 0; j <= 2 * h; ++j) {
                    const std::int64_t a = j * G;
#pragma omp simd
                    for (int k = 0; k < G; ++k) {
                        double s, e;
                        two_sum(rh[k], ch[a + k], s, e);
                        const int cnt = rn[k] + cn[a + k];
                        const double l = rl[k] + (e + cl[a + k]);
                        rh[k] = cnt != 0 ? s : 0.0;
                        rl[k] = cnt != 0 ? l : 0.0;
                        rn[k] = cnt;
                    }
                }
                sink.emit(thread, first, valid, h, rh, rl, rn);
                for (std::int64_t j = h + 1; j < cols - h; ++j) {
                    const std::int64_t a = (j + h) * G;
                    const std::int64_t b = (j - h - 1) * G;
#pragma omp simd
                    for (int k = 0; k < G; ++k) {
                        double s1, e1, s2, e2;
                        two_sum(rh[k], ch[a + k], s1, e1);
                        two_sum(s1, -ch[b + k], s2, e2);
                        const int cnt = rn[k] + cn[a + k] - cn[b + k];
                        const double l = rl[k] + ((e1 + e2) + (cl[a + k] - cl[b + k]));
                        rh[k] = cnt != 0 ? s2 : 0.0;
                        rl[k] = cnt != 0 ? l : 0.0;
                        rn[k] = cnt;
                    }
                    sink.emit(thread, first, valid, j, rh, rl, rn);
                }
            }
        }
        after_chunk(i0, i1);
    }
}

}  // namespace running

// Moving mean of the positive values of `src` over the window of side 2 * half + 1: every pixel
// of rows and columns half to size - half - 1 of `dst` gets the mean (0.0 when its window holds
// no positive value); the other pixels of `dst` are left as they are. Up to rounding, each mean
// is that of positive_window_sum; the result is the same for every number of threads (below 1
// acts as 1). `src` and `dst` must be distinct grids of the same size.
void running_positive_mean(const RealGrid& src, int half, RealGrid& dst, int threads);

}  // namespace ds
