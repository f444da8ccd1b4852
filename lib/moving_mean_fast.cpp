#include "lib/moving_mean_fast.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>

namespace ds {

namespace running {

namespace {

constexpr std::int64_t kBlockRows = 64;   // rows of one share of the row pass
constexpr std::int64_t kBandCols = 256;   // columns of one share of the column pass
constexpr std::int64_t kBlockCols = 128;  // columns handed to the sink at once
static_assert(kBlockRows % kGroupRows == 0);
constexpr int G = kGroupRows;

// Lane shuffles: GCC's and clang's builtins take the lane indices differently.
#if defined(__clang__)
#define RUNNING_SHUFFLE(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define RUNNING_SHUFFLE(a, b, ...) __builtin_shuffle(a, b, M{__VA_ARGS__})
#endif

namespace lanes2 {
#define RUNNING_LANES 2
#include "lib/moving_mean_kernels.inc"
#undef RUNNING_LANES
}  // namespace lanes2

#if defined(__x86_64__) && !defined(__clang__)
// The same kernels four lanes wide, for processors with AVX2 (picked at run time; g++ only).
#pragma GCC push_options
#pragma GCC target("avx2")
namespace lanes4 {
#define RUNNING_LANES 4
#include "lib/moving_mean_kernels.inc"
#undef RUNNING_LANES
}  // namespace lanes4
#pragma GCC pop_options
#define RUNNING_HAS_LANES4 1
#endif

struct Kernels {
    int lanes;
    decltype(&lanes2::dense_step) dense_step;
    decltype(&lanes2::dense_sum) dense_sum;
    decltype(&lanes2::dense_group) dense_group;
    decltype(&lanes2::row_pass) row_pass;
    decltype(&lanes2::store_means) store_means;
};

constexpr Kernels kLanes2{2,
                          lanes2::dense_step,
                          lanes2::dense_sum,
                          lanes2::dense_group,
                          lanes2::row_pass,
                          lanes2::store_means};
#ifdef RUNNING_HAS_LANES4
constexpr Kernels kLanes4{4,
                          lanes4::dense_step,
                          lanes4::dense_sum,
                          lanes4::dense_group,
                          lanes4::row_pass,
                          lanes4::store_means};

bool wide_supported() {
    return __builtin_cpu_supports("avx2");
}
#else
constexpr Kernels kLanes4 = kLanes2;

bool wide_supported() {
    return false;
}
#endif

std::atomic<const Kernels*>& chosen() {
    static std::atomic<const Kernels*> k{wide_supported() ? &kLanes4 : &kLanes2};
    return k;
}

const Kernels& kernels() {
    return *chosen().load(std::memory_order_relaxed);
}

void copy(const ColumnSums& from, std::int64_t c0, std::int64_t c1, ColumnSums& to) {
    std::copy(from.hi.begin() + c0, from.hi.begin() + c1, to.hi.begin() + c0);
    std::copy(from.lo.begin() + c0, from.lo.begin() + c1, to.lo.begin() + c0);
    std::copy(from.n.begin() + c0, from.n.begin() + c1, to.n.begin() + c0);
}

void clear(std::int64_t c0, std::int64_t c1, ColumnSums& s) {
    std::fill(s.hi.begin() + c0, s.hi.begin() + c1, 0.0);
    std::fill(s.lo.begin() + c0, s.lo.begin() + c1, 0.0);
    std::fill(s.n.begin() + c0, s.n.begin() + c1, 0.0);
}

}  // namespace

void DenseColumns::start(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
                         ColumnSums& s) const {
    clear(c0, c1, s);
    kernels().dense_sum(row(i - half), src_.cols(), 2 * std::int64_t{half} + 1, c0, c1, s.hi.data(),
                        s.lo.data(), s.n.data());
}

void DenseColumns::slide(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
                         ColumnSums& s) const {
    kernels().dense_step(row(i + half), row(i - half - 1), c0, c1, s.hi.data(), s.lo.data(),
                         s.n.data());
}

void ColumnSource::group(int half, std::int64_t i, int rows, bool slide_first, ColumnSums& s,
                         double* sum, double* count) const {
    const std::int64_t n_cols = cols();
    for (int k = 0; k < rows; ++k) {
        if (k > 0 || slide_first)
            slide(half, i + k, 0, n_cols, s);
        for (std::int64_t j = 0; j < n_cols; ++j) {
            const auto u = static_cast<std::size_t>(j);
            sum[j * G + k] = s.hi[u] + s.lo[u];
            count[j * G + k] = s.n[u];
        }
    }
}

void DenseColumns::group(int half, std::int64_t i, int rows, bool slide_first, ColumnSums& s,
                         double* sum, double* count) const {
    const double* add[G] = {};
    const double* sub[G] = {};
    for (int k = 0; k < rows; ++k) {
        add[k] = row(i + k + half);
        sub[k] = (k > 0 || slide_first) ? row(i + k - half - 1) : nullptr;
    }
    kernels().dense_group(add, sub, rows, cols(), s.hi.data(), s.lo.data(), s.n.data(), sum, count);
}

namespace {

// Stored pixels of row r in columns c0 to c1 - 1.
std::pair<std::int64_t, std::int64_t> stored_range(const SparsePositions& at, std::int64_t r,
                                                   std::int64_t c0, std::int64_t c1) {
    const auto first = at.col.begin();
    const auto lo = std::lower_bound(first + at.begin(r), first + at.end(r), c0);
    const auto hi = std::lower_bound(lo, first + at.end(r), c1);
    return {lo - first, hi - first};
}

}  // namespace

void SparseColumns::start(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
                          ColumnSums& s) const {
    clear(c0, c1, s);
    for (std::int64_t r = i - half; r <= i + half; ++r) {
        const auto [b, e] = stored_range(*f_.at, r, c0, c1);
        for (std::int64_t k = b; k < e; ++k) {
            const double v = f_.values[static_cast<std::size_t>(k)];
            const auto j = static_cast<std::size_t>(f_.at->col[static_cast<std::size_t>(k)]);
            if (v > 0.0)
                slide_sum(s.hi[j], s.lo[j], s.n[j], v, 0.0, 1.0);
        }
    }
}

void SparseColumns::slide(int half, std::int64_t i, std::int64_t c0, std::int64_t c1,
                          ColumnSums& s) const {
    // The entering and the leaving row, merged by column: a column touched by both takes both
    // in one step, as the dense pass does; untouched columns would only add zeros there.
    const auto& col = f_.at->col;
    auto [a, ae] = stored_range(*f_.at, i + half, c0, c1);
    auto [b, be] = stored_range(*f_.at, i - half - 1, c0, c1);
    const auto value = [&](std::int64_t k) { return f_.values[static_cast<std::size_t>(k)]; };
    const auto column = [&](std::int64_t k) { return col[static_cast<std::size_t>(k)]; };
    while (a < ae || b < be) {
        std::int64_t j;
        double va = 0.0, vb = 0.0;
        if (b >= be || (a < ae && column(a) < column(b))) {
            j = column(a);
            va = value(a++);
        } else if (a >= ae || column(b) < column(a)) {
            j = column(b);
            vb = value(b++);
        } else {
            j = column(a);
            va = value(a++);
            vb = value(b++);
        }
        const bool pa = va > 0.0;
        const bool pb = vb > 0.0;
        if (pa || pb) {
            const auto u = static_cast<std::size_t>(j);
            slide_sum(s.hi[u], s.lo[u], s.n[u], pa ? va : 0.0, pb ? vb : 0.0,
                      (pa ? 1.0 : 0.0) - (pb ? 1.0 : 0.0));
        }
    }
}

int lanes() {
    return kernels().lanes;
}

namespace {

// Windows taller than this slide their column sums down to the block starts (see window_sums).
bool slides_starts(std::int64_t h) {
    return 2 * h + 1 > 4 * kBlockRows;
}

}  // namespace

std::int64_t row_period(int half) {
    const std::int64_t side = 2 * std::int64_t{half} + 1;
    if (!slides_starts(half))
        return kBlockRows;
    // Whole blocks covering a window side: starting afresh there costs at most half a slide
    // per row.
    return (side + kBlockRows - 1) / kBlockRows * kBlockRows;
}

void force_lanes(int lanes) {
    if (lanes == 0)
        lanes = wide_supported() ? 4 : 2;
    if (lanes == 4 && !wide_supported())
        throw std::invalid_argument("4 lanes need a processor with AVX2");
    if (lanes != 2 && lanes != 4)
        throw std::invalid_argument("the running sums work with 2 or 4 lanes");
    chosen().store(lanes == 4 ? &kLanes4 : &kLanes2, std::memory_order_relaxed);
}

void window_sums(const ColumnSource& columns, int half, int threads, WindowSink& sink,
                 std::int64_t span_rows,
                 const std::function<void(std::int64_t i0, std::int64_t i1)>& after_span) {
    const std::int64_t rows = columns.rows();
    const std::int64_t cols = columns.cols();
    const std::int64_t h = half;
    if (half < 0 || rows <= 2 * h || cols <= 2 * h)
        return;
    threads = std::max(threads, 1);
    // Whole blocks per span, so that the blocks start at the same rows whatever the span.
    span_rows = span_rows <= 0 ? rows : (span_rows + kBlockRows - 1) / kBlockRows * kBlockRows;
    const std::int64_t bands = (cols + kBandCols - 1) / kBandCols;

    // The rows are cut into blocks at fixed places, each block handled by one thread. A block
    // sums its first rows from nothing, unless the window is so tall that this would cost more
    // than sliding over the block (adding a row costs about half a slide, which adds one and
    // removes one): then the column sums first slide down once, band by band, starting from
    // nothing every row_period rows and keeping their state at the first row of every block,
    // and each block then slides again from there with the same operations. Either way the
    // sums depend on the window and on the rows since the last fresh start only, never on how
    // the blocks fall to the threads nor on the rows above that start.
    const bool slide_starts = slides_starts(h);
    const std::int64_t period = row_period(half);
    ColumnSums state(cols);
    const std::int64_t max_blocks =
        (std::min(span_rows, rows - 2 * h) + kBlockRows - 1) / kBlockRows;
    std::vector<ColumnSums> starts;
    if (slide_starts)
        starts.assign(static_cast<std::size_t>(max_blocks), ColumnSums(cols));

    // Per thread: the column sums of its current block and those of one group of rows,
    // column-major, so that the row pass reads the rows of the group side by side.
    struct ThreadWork {
        explicit ThreadWork(std::int64_t cols)
            : local(cols),
              csum(static_cast<std::size_t>(cols * G)),
              cn(static_cast<std::size_t>(cols * G)) {}
        ColumnSums local;
        std::vector<double> csum;
        std::vector<double> cn;
    };
    std::vector<ThreadWork> work(static_cast<std::size_t>(threads), ThreadWork(cols));

    for (std::int64_t i0 = h; i0 < rows - h; i0 += span_rows) {
        const std::int64_t i1 = std::min(i0 + span_rows, rows - h);
        const std::int64_t blocks = (i1 - i0 + kBlockRows - 1) / kBlockRows;
#pragma omp parallel num_threads(threads) if (threads > 1)
        {
            if (slide_starts) {
#pragma omp for schedule(dynamic)
                for (std::int64_t band = 0; band < bands; ++band) {
                    const std::int64_t c0 = band * kBandCols;
                    const std::int64_t c1 = std::min(c0 + kBandCols, cols);
                    for (std::int64_t i = i0; i < i1; ++i) {
                        if ((i - h) % period == 0)
                            columns.start(half, i, c0, c1, state);
                        else
                            columns.slide(half, i, c0, c1, state);
                        if ((i - i0) % kBlockRows == 0)
                            copy(state, c0, c1,
                                 starts[static_cast<std::size_t>((i - i0) / kBlockRows)]);
                    }
                }
            }

            const int thread = omp_get_thread_num();
            ThreadWork& w = work[static_cast<std::size_t>(thread)];
#pragma omp for schedule(dynamic)
            for (std::int64_t block = 0; block < blocks; ++block) {
                const std::int64_t b0 = i0 + block * kBlockRows;
                const std::int64_t b1 = std::min(b0 + kBlockRows, i1);
                if (slide_starts)
                    copy(starts[static_cast<std::size_t>(block)], 0, cols, w.local);
                else
                    columns.start(half, b0, 0, cols, w.local);
                for (std::int64_t g0 = b0; g0 < b1; g0 += G) {
                    const int valid = static_cast<int>(std::min<std::int64_t>(G, b1 - g0));
                    columns.group(half, g0, valid, g0 != b0, w.local, w.csum.data(), w.cn.data());
                    kernels().row_pass(w.csum.data(), w.cn.data(), cols, h, thread, g0, valid,
                                       sink);
                }
            }
        }
        if (after_span)
            after_span(i0, i1);
    }
}

}  // namespace running

namespace {

// Stores each window sum over its count, 0.0 for an empty window.
class MeanSink final : public running::WindowSink {
  public:
    // Row i of the sums is row first + i of `dst`.
    MeanSink(RealGrid& dst, std::int64_t first)
        : out_(dst.data() + first * dst.cols()), cols_(dst.cols()) {}

    void emit(int, std::int64_t i, int rows, std::int64_t j0, std::int64_t j1, const double* sum,
              const double* count) override {
        running::kernels().store_means(sum, count, j1 - j0, rows, out_ + i * cols_ + j0, cols_);
    }

  private:
    double* out_;
    std::int64_t cols_;
};

}  // namespace

void running_positive_mean(const RealGrid& src, int half, RealGrid& dst, int threads) {
    running_positive_mean(src, half, dst, threads, 0, src.rows());
}

void running_positive_mean(const RealGrid& src, int half, RealGrid& dst, int threads,
                           std::int64_t first, std::int64_t rows) {
    require_same_shape(src, dst, "moving mean grids differ in size");
    if (&src == &dst)
        throw std::invalid_argument("moving mean needs distinct grids");
    if (first < 0 || rows < 0 || first + rows > src.rows())
        throw std::invalid_argument("moving mean band lies outside the grids");
    MeanSink sink(dst, first);
    running::window_sums(running::DenseColumns(src, first, rows), half, threads, sink, 0, {});
}

}  // namespace ds
