// Moving-window sums of positive values in time proportional to the pixels, whatever the window.
//
// A column sum slides down its column (adding the row entering the window, removing the row
// leaving it) and a window sum slides along its row over the column sums. Both are kept as an
// unevaluated pair hi + lo: every addition goes through TwoSum, so hi carries the rounded
// running sum and lo the exact rounding errors, and a sum does not drift with the number of
// rows or columns it has slid over; the counts of positive values are exact integers. Every
// value comes from the same operations in the same order whatever the number of threads: a
// window sum starts at the left end of its row, and the column sums start at fixed rows (see
// window_sums), so that a band of rows that starts at a multiple of row_period gives the same
// sums as the whole grid.
#pragma once

#include <cstdint>
#include <functional>
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

inline constexpr int kGroupRows = 4;  // rows whose window sums slide side by side

// One positive value `a` (or 0) enters a sum and one `b` (or 0) leaves it, `dn` the change of
// the count. A sum whose count falls to 0 is exactly 0 again.
inline void slide_sum(double& hi, double& lo, double& n, double a, double b, double dn) {
    double s1, e1, s2, e2;
    two_sum(hi, a, s1, e1);
    two_sum(s1, -b, s2, e2);
    const double l = lo + (e1 + e2);
    const double cnt = n + dn;
    hi = cnt != 0.0 ? s2 : 0.0;
    lo = cnt != 0.0 ? l : 0.0;
    n = cnt;
}

// Per-column sums over the rows of the current window; the counts are whole numbers held in
// doubles (exact far beyond any window), which keeps every lane of the vector code 64 bits wide.
struct ColumnSums {
    explicit ColumnSums(std::int64_t cols)
        : hi(static_cast<std::size_t>(cols)),
          lo(static_cast<std::size_t>(cols)),
          n(static_cast<std::size_t>(cols)) {}
    std::vector<double> hi;
    std::vector<double> lo;
    std::vector<double> n;
};

// Where the column sums come from.
class ColumnSource {
  public:
    virtual ~ColumnSource() = default;
    virtual std::int64_t rows() const = 0;
    virtual std::int64_t cols() const = 0;
    // Sums of rows i - half to i + half for columns c0 to c1 - 1, from nothing.
    virtual void start(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
                       ColumnSums& s) const = 0;
    // Moves the window of columns c0 to c1 - 1 from centre row i - 1 to centre row i.
    virtual void slide(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
                       ColumnSums& s) const = 0;
    // Row by row for centre rows i to i + rows - 1 (rows <= kGroupRows), sliding first into row
    // i only when `slide_first`: the rounded sum hi + lo and the count of every column, row k of
    // column j at sum[j * kGroupRows + k] and count[...], over all the columns.
    virtual void group(int half, std::int64_t i, int rows, bool slide_first, ColumnSums& s,
                       double* sum, double* count) const;
};

class DenseColumns final : public ColumnSource {
  public:
    explicit DenseColumns(const RealGrid& src) : DenseColumns(src, 0, src.rows()) {}
    // Rows first to first + rows - 1 of `src`, as if they were the whole grid.
    DenseColumns(const RealGrid& src, std::int64_t first, std::int64_t rows)
        : src_(src), first_(first), rows_(rows) {}
    std::int64_t rows() const override { return rows_; }
    std::int64_t cols() const override { return src_.cols(); }
    void start(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
               ColumnSums& s) const override;
    void slide(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
               ColumnSums& s) const override;
    void group(int half, std::int64_t i, int rows, bool slide_first, ColumnSums& s, double* sum,
               double* count) const override;

  private:
    const double* row(std::int64_t i) const { return src_.row(first_ + i).data(); }

    const RealGrid& src_;
    std::int64_t first_;
    std::int64_t rows_;
};

// Visits only the stored pixels; the sums are the same doubles as those of the dense
// equivalent.
class SparseColumns final : public ColumnSource {
  public:
    explicit SparseColumns(const SparseField& f) : f_(f) {}
    std::int64_t rows() const override { return f_.at->rows; }
    std::int64_t cols() const override { return f_.at->cols; }
    void start(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
               ColumnSums& s) const override;
    void slide(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
               ColumnSums& s) const override;

  private:
    const SparseField& f_;
};

// Receives the window sums, a block of columns of one row group at a time.
class WindowSink {
  public:
    virtual ~WindowSink() = default;
    // Rows i to i + rows - 1 (rows <= kGroupRows), columns j0 to j1 - 1: the window sum and
    // the count of row i + k, column j at sum[(j - j0) * kGroupRows + k] and count[...].
    // Runs on the worker threads (`thread` from 0 to threads - 1), never twice at once for the
    // same pixel.
    virtual void emit(int thread, std::int64_t i, int rows, std::int64_t j0, std::int64_t j1,
                      const double* sum, const double* count) = 0;
};

// Width of the vector kernels in use: 4 doubles where the processor has AVX2, else 2. Every
// width gives the same doubles; force_lanes(2 or 4) picks one (0: the default), for tests and
// measurements.
int lanes();
void force_lanes(int lanes);

// The rows at which the column sums of a window of side 2 * half + 1 start from nothing are the
// multiples of this period, counted from the first row whose window fits: the sum at any row
// depends only on the values from the last such row up to the row's window, so the rows of a
// band that starts at a multiple of the period (in the grid's rows) get the same doubles as in
// the whole grid.
std::int64_t row_period(int half);

// Emits the window sum of every pixel whose window of side 2 * half + 1 lies inside the raster,
// about `span_rows` rows at a time (all at once when 0 or below): `after_span(i0, i1)` runs on the
// calling thread once rows i0 to i1 - 1 are all emitted, in increasing order. The sums depend
// neither on `threads` (below 1 acts as 1) nor on `span_rows`.
void window_sums(const ColumnSource& columns, int half, int threads, WindowSink& sink,
                 std::int64_t span_rows,
                 const std::function<void(std::int64_t i0, std::int64_t i1)>& after_span);

}  // namespace running

// Moving mean of the positive values of `src` over the window of side 2 * half + 1: every pixel
// of rows and columns half to size - half - 1 of `dst` gets the mean (0.0 when its window holds
// no positive value); the other pixels of `dst` are left as they are. Each mean is that of
// positive_window_sum up to rounding; the result is the same for every number of threads
// (below 1 acts as 1). `src` and `dst` must be distinct grids of the same size.
void running_positive_mean(const RealGrid& src, int half, RealGrid& dst, int threads);
// The same over rows first to first + rows - 1 of both grids, as if they were the whole grids;
// the other rows are left as they are.
void running_positive_mean(const RealGrid& src, int half, RealGrid& dst, int threads,
                           std::int64_t first, std::int64_t rows);

}  // namespace ds
