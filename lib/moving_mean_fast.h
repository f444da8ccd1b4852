// Moving-window sums of positive values in time proportional to the pixels, whatever the window,
// in exact integer arithmetic.
//
// Every positive value v is held in fixed point, as the integer q = round(v * 2^shift), and the
// window sums are sums of those integers: column sums slide down the rows, window sums slide
// along the columns, and since integer additions are exact, a sum does not depend on the order
// of its terms. So a window's sum is the same whatever the number of threads, wherever a band of
// rows starts and whichever part of the raster a process holds: rows a to b - 1 of a result need
// only rows a - half to b + half - 1 of its input. The shift is chosen from the largest value and
// the window (packing_for) so that no sum can overflow 64 bits.
//
// A field that goes from one window to the next (the progressive smoothing) stays in that form,
// packed: a positive cell is q shifted left by `count_bits` with the lowest bit set, any other
// cell is 0, so that one integer sum down a column adds the values and counts the positive cells
// at once.
//
// Error: rounding a value into fixed point moves it by at most 2^-(shift + 1), and so moves any
// mean of such values by at most as much (a double of at least 2^(52 - shift) is held exactly);
// the mean itself, fl(sum) / count rounded to nearest, is within 2 units in the last place of
// the exact quotient. With vmax < 2^e and n cells in the window, 2^-(shift + 1) is at most
// n 2^(e - 62); the literal window sum, added in plain double one term after another, can be
// off by (n - 1) units in the last place of its partial sums, (n - 1) 2^(e - 54) for means near
// vmax: the fixed point adds a 256th of that bound, and about its typical size (sqrt(n) units in
// the last place) for the largest windows.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "lib/grid.h"
#include "lib/sparse_field.h"

namespace ds {

namespace running {

// A packed cell; may alias the doubles of a RealGrid whose memory a field borrows.
using Cell = std::uint64_t __attribute__((may_alias));

struct Packing {
    int shift = 0;       // q = round(v * 2^shift)
    int count_bits = 1;  // bits below q in a packed cell; a column sum keeps its count there
};

// The packing for windows of side 2 * half + 1 over values no larger than `vmax` (0 when there is
// no positive value): the largest shift that keeps every column sum of packed cells and every
// window sum of the q below 2^63. The values must be finite.
Packing packing_for(double vmax, int half);

// The packed cell of one value (0 unless v > 0).
std::uint64_t pack(double v, Packing p);

// Width of the vector kernels in use: 8 lanes where the processor has AVX-512 (F and DQ), 4 where
// it has AVX2, else 2. Every width gives the same results (integer sums, and the same IEEE
// operations on the same values); force_lanes(2, 4 or 8) picks one (0: the default), for tests
// and measurements.
int lanes();
void force_lanes(int lanes);

// Rows of a packed field: row r of the raster at cells + (r - first_row) * cols, and whether
// every cell of that row in columns border to cols - border - 1 is positive at
// positive[r - first_row]. `border` is the width of the frame of zeros along every edge of the
// field (0 when nothing is known).
struct PackedRows {
    Cell* cells = nullptr;
    std::uint8_t* positive = nullptr;
    std::int64_t first_row = 0;
    std::int64_t cols = 0;

    Cell* row(std::int64_t r) const { return cells + (r - first_row) * cols; }
    std::uint8_t& full(std::int64_t r) const { return positive[r - first_row]; }
};

struct PackedField {
    PackedRows rows;
    std::int64_t raster_rows = 0;  // the whole raster, whatever part `rows` holds
    std::int64_t border = 0;
    Packing packing;
};

// Packs rows a to b - 1 of the raster from `src` (which holds its rows from field.rows.first_row
// on, as the field does) into field.rows, with their `positive` flags (over the columns inside
// field.border, a frame of zeros that `src` must have).
void pack_rows(const RealGrid& src, std::int64_t a, std::int64_t b, const PackedField& field,
               int threads);

// Sets the `positive` flags of rows a to b - 1 of the field from their packed cells, as
// pack_rows and packed_mean_step set them: for rows copied in from elsewhere.
void flag_rows(std::int64_t a, std::int64_t b, const PackedField& field);

// One moving mean of the positive values of `in` over the window of side 2 * half + 1, for rows
// a to b - 1 of the raster (half <= a <= b <= raster_rows - half), from rows a - half to
// b + half - 1 of `in`: columns half to cols - half - 1 of each row get the mean (0 where the
// window holds no positive value) and the other cells are left as they are. The means are packed
// with out.packing into `out`, with the flags of those rows (so that out.border may be `half`
// once the caller has cleared the frame), or written as reals into `real` (which holds the
// raster's rows from in.rows.first_row on).
void packed_mean_step(const PackedField& in, int half, std::int64_t a, std::int64_t b,
                      const PackedField& out, int threads);
void real_mean_step(const PackedField& in, int half, std::int64_t a, std::int64_t b, RealGrid& real,
                    int threads);

// One step of packed_mean_step (`out` not null) or real_mean_step (into `real`) over rows a to
// b - 1, taken a band of rows at a time from the top down (or from the bottom up) on the calling
// thread, with the same results: for steps that follow one another along the rows, each band
// computed once the rows of `in` that it reads are final (those within `half` of its rows) and
// no one reads any longer the rows of the output it writes. `in`, `out` and the grids behind
// them must outlive the pass.
class StepPass {
  public:
    StepPass(const PackedField& in, int half, std::int64_t a, std::int64_t b,
             const PackedField* out, RealGrid* real, bool up = false);
    ~StepPass();
    StepPass(const StepPass&) = delete;
    StepPass& operator=(const StepPass&) = delete;

    RowRange next_band() const;  // the rows that next() computes, empty once done
    bool done() const;
    void next();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Receives the window sums of a sparse field: the rows i to i + rows - 1, columns j0 to j0 +
// width - 1, the sum of row i + k and column j0 + q at sum[k * width + q] (in units of
// 2^-shift) and the number of positive values at count[...]. Runs on the worker threads (`thread`
// from 0 to threads - 1), never twice at once for the same pixel.
class WindowSink {
  public:
    virtual ~WindowSink() = default;
    virtual void emit(int thread, std::int64_t i, int rows, std::int64_t j0, std::int64_t width,
                      const std::uint64_t* sum, const std::uint64_t* count) = 0;
};

// Emits the window sums, quantized with `packing`, of every pixel of rows a to b - 1 whose window
// of side 2 * half + 1 lies inside the raster (half <= a <= b <= rows - half).
void sparse_window_sums(const SparseField& f, int half, Packing packing, std::int64_t a,
                        std::int64_t b, int threads, WindowSink& sink);

// The image value, mean + 0.5 truncated, of n windows whose sums are in units of `unit` (the
// mean a rounded quotient): value[t] is -1 for an empty window, and -2 where the mean of the
// same values summed in plain double, one after another, could round to another integer: within
// (x + 1) (count + 16) 2^-52 + unit of x, the mean + 0.5, twice the distance that both roundings
// and the fixed point can put between them.
void rounded_means(const std::uint64_t* sum, const std::uint64_t* count, std::int64_t n,
                   double unit, std::int64_t* value);

}  // namespace running

// Moving mean of the positive values of `src` over the window of side 2 * half + 1: every pixel
// of rows and columns half to size - half - 1 of `dst` gets the mean (0.0 when its window holds
// no positive value); the other pixels of `dst` are left as they are. Each mean is that of
// positive_window_sum up to rounding (see above); the result is the same for every number of
// threads (below 1 acts as 1). `src` and `dst` must be distinct grids of the same size, and the
// values finite.
void running_positive_mean(const RealGrid& src, int half, RealGrid& dst, int threads);

}  // namespace ds
