#include "lib/moving_mean_fast.h"

#include <immintrin.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace ds {

namespace running {

namespace {

constexpr int kMaxLanes = 8;

// One band of rows of a dense step, as the kernels see it.
struct BandJob {
    int rows = 0;                          // rows of the band, up to the lanes
    const Cell* add[kMaxLanes] = {};       // the packed row entering each row's window
    const Cell* sub[kMaxLanes] = {};       // the one leaving it (the zero row at a chunk's start)
    bool clean = false;                    // every cell of the band's windows inside the frame > 0
    std::int64_t rows_in[kMaxLanes] = {};  // rows of each row's window inside the frame
    std::int64_t cols = 0;
    std::int64_t lane_step = 0;  // cells from the row of a lane to that of the next: +-cols
    std::int64_t half = 0;
    std::int64_t border = 0;  // frame of zeros of the input
    double scale = 1.0;       // factor of sum / count
    int in_bits = 1;
    int out_bits = 1;
    Cell* col = nullptr;            // the column sums of the thread
    std::uint64_t* val = nullptr;   // transposed column sums, values
    std::uint64_t* cnt = nullptr;   // and counts
    bool spaced = false;            // add[k] is add[0] + k cols, and sub[k] likewise
    bool packed = true;             // the means packed, or reals
    char* out = nullptr;            // the output row of lane 0; the others lane_step apart
    bool zero_row[kMaxLanes] = {};  // the row got an empty window
};

// Lane shuffles: GCC's and clang's builtins take the lane indices differently.
#if defined(__clang__)
#define RUNNING_SHUFFLE(a, b, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define RUNNING_SHUFFLE(a, b, ...) __builtin_shuffle(a, b, I{__VA_ARGS__})
#endif

namespace lanes2 {
#define RUNNING_LANES 2
#include "lib/moving_mean_kernels.inc"
#undef RUNNING_LANES
}  // namespace lanes2

#if defined(__x86_64__) && !defined(__clang__)
// The same kernels four and eight lanes wide, for processors with AVX2 and with AVX-512 (picked
// at run time; g++ only).
#pragma GCC push_options
#pragma GCC target("avx2,fma")
namespace lanes4 {
#define RUNNING_LANES 4
#include "lib/moving_mean_kernels.inc"
#undef RUNNING_LANES
}  // namespace lanes4
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx512bw")
namespace lanes8 {
#define RUNNING_LANES 8
#include "lib/moving_mean_kernels.inc"
#undef RUNNING_LANES
}  // namespace lanes8
#pragma GCC pop_options
#define RUNNING_HAS_WIDE 1
#endif

struct Kernels {
    int lanes;
    decltype(&lanes2::pack_row) pack_row;
    decltype(&lanes2::dense_means) dense_means;
    decltype(&lanes2::band_sums) band_sums;
    decltype(&lanes2::rounded_means) rounded_means;
};

constexpr Kernels kLanes2{2, lanes2::pack_row, lanes2::dense_means, lanes2::band_sums,
                          lanes2::rounded_means};
#ifdef RUNNING_HAS_WIDE
constexpr Kernels kLanes4{4, lanes4::pack_row, lanes4::dense_means, lanes4::band_sums,
                          lanes4::rounded_means};
constexpr Kernels kLanes8{8, lanes8::pack_row, lanes8::dense_means, lanes8::band_sums,
                          lanes8::rounded_means};

bool supported(int lanes) {
    if (lanes == 8)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
    if (lanes == 4)
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return lanes == 2;
}
#else
constexpr Kernels kLanes4 = kLanes2;
constexpr Kernels kLanes8 = kLanes2;

bool supported(int lanes) {
    return lanes == 2;
}
#endif

const Kernels* widest() {
    return supported(8) ? &kLanes8 : supported(4) ? &kLanes4 : &kLanes2;
}

std::atomic<const Kernels*>& chosen() {
    static std::atomic<const Kernels*> k{widest()};
    return k;
}

const Kernels& kernels() {
    return *chosen().load(std::memory_order_relaxed);
}

// Nearest integer, ties to even, of 0 <= x < 2^62, as the vector kernels find it.
std::uint64_t nearest(double x) {
    return static_cast<std::uint64_t>(std::llrint(x));
}

int bit_width(std::int64_t n) {
    return static_cast<int>(std::bit_width(static_cast<std::uint64_t>(n)));
}

// Rows of the window of row i that lie inside the frame.
std::int64_t rows_inside(std::int64_t i, std::int64_t half, std::int64_t rows,
                         std::int64_t border) {
    return std::min(i + half, rows - 1 - border) - std::max(i - half, border) + 1;
}

// Buffer `which` of the calling thread, of at least n cells, kept from one step to the next: a
// step is short and its buffers are large.
std::uint64_t* scratch(int which, std::size_t n) {
    thread_local std::vector<std::uint64_t> buffers[3];
    std::vector<std::uint64_t>& b = buffers[which];
    if (b.size() < n)
        b.resize(n);
    return b.data();
}

// Where a dense step writes its means.
struct StepOut {
    const PackedField* packed = nullptr;
    RealGrid* real = nullptr;
    double scale = 1.0;
};

// One dense step over rows a to b - 1, cut into bands of `lanes` rows, from the top down (band 0
// starts at row a) or from the bottom up (band 0 ends at row b - 1). A pass takes a run of
// consecutive bands in order with its own column sums: each thread one run (mean_step), or one
// thread a part of the step, a band at a time (StepPass).
class DenseStep {
  public:
    DenseStep(const PackedField& in, int half, std::int64_t a, std::int64_t b, const StepOut& o,
              bool up = false)
        : in_(in),
          o_(o),
          h_(half),
          a_(a),
          b_(b),
          cols_(in.rows.cols),
          up_(up),
          lanes_(kernels().lanes),
          zeros_(static_cast<std::size_t>(cols_), 0) {}

    // Whether the step has a column to compute.
    bool any_column() const { return cols_ > 2 * h_; }

    std::int64_t bands() const { return (b_ - a_ + lanes_ - 1) / lanes_; }
    RowRange band_rows(std::int64_t band) const {
        const std::int64_t k = band * lanes_;
        return up_ ? RowRange{std::max(b_ - k - lanes_, a_), b_ - k}
                   : RowRange{a_ + k, std::min(a_ + k + lanes_, b_)};
    }
    // Whether every cell of a band's windows inside the frame is positive, so that their counts
    // are those of the frame alone: no row of those windows inside the frame has a cell <= 0.
    // This holds only where the frame lies outside every window's centre, as it does for the
    // fields that a step makes. Reads the flags of the rows that the band reads.
    bool clean(std::int64_t band) const {
        if (in_.border > h_)
            return false;
        const RowRange rows = band_rows(band);
        for (std::int64_t r = rows.begin - h_; r < rows.end + h_; ++r)
            if (r >= in_.border && r < in_.raster_rows - in_.border && !in_.rows.full(r))
                return false;
        return true;
    }

    // The first band of thread t of nt, so that each gets about as much work: a band whose
    // windows need counting costs about half as much again.
    static std::int64_t first_band(const std::vector<std::uint8_t>& clean, std::int64_t t,
                                   std::int64_t nt) {
        std::int64_t total = 0;
        for (const std::uint8_t c : clean)
            total += c ? 2 : 3;
        std::int64_t band = 0;
        const auto bands = static_cast<std::int64_t>(clean.size());
        for (std::int64_t cost = 0; band < bands && cost * nt < total * t; ++band)
            cost += clean[static_cast<std::size_t>(band)] ? 2 : 3;
        return band;
    }

    // Band `band` of a pass that started at band `first`, on the calling thread, with the
    // pass's column sums in `col` (cols cells); `clean` is clean(band).
    void compute(std::int64_t band, std::int64_t first, std::uint64_t* col, bool clean) const {
        BandJob job;
        job.cols = cols_;
        job.lane_step = up_ ? -cols_ : cols_;
        job.half = h_;
        job.border = in_.border;
        job.scale = o_.scale;
        job.in_bits = in_.packing.count_bits;
        job.out_bits = o_.packed ? o_.packed->packing.count_bits : 1;
        job.packed = o_.packed != nullptr;
        job.col = col;
        job.val = scratch(1, static_cast<std::size_t>(cols_ * lanes_));
        job.cnt = scratch(2, static_cast<std::size_t>(cols_ * lanes_));
        if (band == first)
            start_columns(lane_row(band, 0), col);
        prepare(job, band, band == first);
        job.clean = clean;
        kernels().dense_means(job);
        if (o_.packed)
            for (int q = 0; q < job.rows; ++q)
                o_.packed->rows.full(lane_row(band, q)) = job.zero_row[q] ? 0 : 1;
    }

    // Bands first to last - 1, on the calling thread, whose clean() is in `clean`.
    void run(std::int64_t first, std::int64_t last, const std::vector<std::uint8_t>& clean) const {
        std::uint64_t* col = scratch(0, static_cast<std::size_t>(cols_));
        for (std::int64_t b = first; b < last; ++b)
            compute(b, first, col, clean[static_cast<std::size_t>(b)] != 0);
    }

  private:
    // The row of lane q of a band: its rows in the order of the pass.
    std::int64_t lane_row(std::int64_t band, int q) const {
        const RowRange rows = band_rows(band);
        return up_ ? rows.end - 1 - q : rows.begin + q;
    }

    // The column sums of row i's window but the row that the band's first lane adds: its last
    // row going down, its first going up.
    void start_columns(std::int64_t i, std::uint64_t* col) const {
        std::fill(col, col + cols_, 0);
        const std::int64_t from = up_ ? i - h_ + 1 : i - h_;
        for (std::int64_t r = from; r < from + 2 * h_; ++r) {
            const Cell* row = in_.rows.row(r);
            for (std::int64_t j = 0; j < cols_; ++j)
                col[j] += row[j];
        }
    }

    // The rows of one band: what enters and leaves each row's window and where its means go.
    void prepare(BandJob& job, std::int64_t band, bool starts_run) const {
        const Cell* zero = zeros_.data();
        const RowRange rows = band_rows(band);
        const std::int64_t enter = up_ ? -h_ : h_;
        const std::int64_t leave = up_ ? h_ + 1 : -h_ - 1;
        job.rows = static_cast<int>(rows.size());
        for (int q = 0; q < lanes_; ++q) {
            const bool real_row = q < job.rows;
            const std::int64_t i = real_row ? lane_row(band, q) : 0;
            job.add[q] = real_row ? in_.rows.row(i + enter) : zero;
            job.sub[q] = real_row && !(starts_run && q == 0) ? in_.rows.row(i + leave) : zero;
            job.rows_in[q] = real_row ? rows_inside(i, h_, in_.raster_rows, in_.border) : 1;
        }
        job.spaced = job.rows == lanes_ && !starts_run;
        const std::int64_t i0 = lane_row(band, 0);
        if (o_.packed)
            job.out = reinterpret_cast<char*>(o_.packed->rows.row(i0));
        else
            job.out = reinterpret_cast<char*>(o_.real->row(i0 - in_.rows.first_row).data());
    }

    const PackedField& in_;
    const StepOut& o_;
    std::int64_t h_, a_, b_, cols_;
    bool up_;
    int lanes_;
    std::vector<std::uint64_t> zeros_;
};

void check_step(const PackedField& in, int half, std::int64_t a, std::int64_t b) {
    if (half < 0 || b < a || (a < b && (a < half || b > in.raster_rows - half)))
        throw std::invalid_argument("window step: rows outside the raster's margin");
}

void mean_step(const PackedField& in, int half, std::int64_t a, std::int64_t b, const StepOut& o,
               int threads) {
    check_step(in, half, a, b);
    if (a == b || in.rows.cols <= 2 * std::int64_t{half})
        return;
    const DenseStep step(in, half, a, b, o);
    const std::int64_t bands = step.bands();
    std::vector<std::uint8_t> clean(static_cast<std::size_t>(bands));
    for (std::int64_t band = 0; band < bands; ++band)
        clean[static_cast<std::size_t>(band)] = step.clean(band) ? 1 : 0;
    threads = static_cast<int>(std::clamp<std::int64_t>(threads, 1, bands));
#pragma omp parallel num_threads(threads) if (threads > 1)
    {
        const std::int64_t t = omp_get_thread_num();
        const std::int64_t nt = omp_get_num_threads();
        step.run(DenseStep::first_band(clean, t, nt), DenseStep::first_band(clean, t + 1, nt),
                 clean);
    }
}

StepOut packed_out(const PackedField& in, const PackedField& out) {
    StepOut o;
    o.packed = &out;
    o.scale = std::ldexp(1.0, out.packing.shift - in.packing.shift);
    return o;
}

StepOut real_out(const PackedField& in, RealGrid& real) {
    StepOut o;
    o.real = &real;
    o.scale = std::ldexp(1.0, -in.packing.shift);
    return o;
}

}  // namespace

Packing packing_for(double vmax, int half) {
    const std::int64_t w = 2 * std::int64_t{half} + 1;
    const int count_bits = bit_width(w);
    const int e = vmax > 0.0 ? std::ilogb(vmax) + 1 : 0;  // vmax < 2^e
    // q <= 2^(e + shift): a column of w packed cells and a window of w * w values of q stay
    // below 2^63.
    const int top = std::min(63 - count_bits - bit_width(w), 62 - bit_width(w * w));
    return {std::min(top - e, 1000), count_bits};
}

std::uint64_t pack(double v, Packing p) {
    if (!(v > 0.0))
        return 0;
    return (nearest(v * std::ldexp(1.0, p.shift)) << p.count_bits) | 1;
}

int lanes() {
    return kernels().lanes;
}

void force_lanes(int lanes) {
    if (lanes == 0) {
        chosen().store(widest(), std::memory_order_relaxed);
        return;
    }
    if (lanes != 2 && lanes != 4 && lanes != 8)
        throw std::invalid_argument("the window sums work with 2, 4 or 8 lanes");
    if (!supported(lanes))
        throw std::invalid_argument("this processor lacks the vector width asked for");
    chosen().store(lanes == 8   ? &kLanes8
                   : lanes == 4 ? &kLanes4
                                : &kLanes2,
                   std::memory_order_relaxed);
}

void pack_rows(const RealGrid& src, std::int64_t a, std::int64_t b, const PackedField& field,
               int threads) {
    const double scale = std::ldexp(1.0, field.packing.shift);
    const int bits = field.packing.count_bits;
    const std::int64_t z = field.border;
    const Kernels& k = kernels();
#pragma omp parallel for num_threads(std::max(threads, 1)) schedule(static)
    for (std::int64_t i = a; i < b; ++i) {
        const auto row = src.row(i - field.rows.first_row);
        bool all = k.pack_row(row.data(), src.cols(), scale, bits, field.rows.row(i));
        if (!all && z > 0 && 2 * z < src.cols())
            all = std::all_of(row.begin() + z, row.end() - z, [](double v) { return v > 0.0; });
        field.rows.full(i) = all ? 1 : 0;
    }
}

void flag_rows(std::int64_t a, std::int64_t b, const PackedField& field) {
    const std::int64_t cols = field.rows.cols;
    const std::int64_t z = 2 * field.border < cols ? field.border : 0;
    for (std::int64_t i = a; i < b; ++i) {
        const Cell* row = field.rows.row(i);
        field.rows.full(i) = std::all_of(row + z, row + cols - z, [](Cell c) { return c != 0; });
    }
}

void packed_mean_step(const PackedField& in, int half, std::int64_t a, std::int64_t b,
                      const PackedField& out, int threads) {
    mean_step(in, half, a, b, packed_out(in, out), threads);
}

void real_mean_step(const PackedField& in, int half, std::int64_t a, std::int64_t b, RealGrid& real,
                    int threads) {
    mean_step(in, half, a, b, real_out(in, real), threads);
}

struct StepPass::Impl {
    StepOut out;
    DenseStep step;
    std::vector<std::uint64_t> col;
    std::int64_t bands;
    std::int64_t band = 0;

    Impl(const PackedField& in, int half, std::int64_t a, std::int64_t b, const StepOut& o, bool up)
        : out(o),
          step(in, half, a, b, out, up),
          col(static_cast<std::size_t>(in.rows.cols)),
          bands(step.any_column() ? step.bands() : 0) {}
};

StepPass::StepPass(const PackedField& in, int half, std::int64_t a, std::int64_t b,
                   const PackedField* out, RealGrid* real, bool up) {
    check_step(in, half, a, b);
    if (out == nullptr && real == nullptr)
        throw std::invalid_argument("window step: no output");
    impl_ = std::make_unique<Impl>(in, half, a, b, out ? packed_out(in, *out) : real_out(in, *real),
                                   up);
}

StepPass::~StepPass() = default;

RowRange StepPass::next_band() const {
    return done() ? RowRange{} : impl_->step.band_rows(impl_->band);
}

bool StepPass::done() const {
    return impl_->band == impl_->bands;
}

void StepPass::next() {
    if (done())
        return;
    impl_->step.compute(impl_->band, 0, impl_->col.data(), impl_->step.clean(impl_->band));
    ++impl_->band;
}

void sparse_window_sums(const SparseField& f, int half, Packing packing, std::int64_t a,
                        std::int64_t b, int threads, WindowSink& sink) {
    const SparsePositions& at = *f.at;
    const std::int64_t h = half;
    const std::int64_t cols = at.cols;
    if (half < 0 || b < a || (a < b && (a < h || b > at.rows - h)))
        throw std::invalid_argument("window sums: rows outside the raster's margin");
    if (a == b || cols <= 2 * h)
        return;
    // The fixed point of every stored value, -1 for those that take no part.
    const double scale = std::ldexp(1.0, packing.shift);
    std::vector<std::int64_t> q(f.values.size());
    for (std::size_t s = 0; s < q.size(); ++s)
        q[s] = f.values[s] > 0.0 ? static_cast<std::int64_t>(nearest(f.values[s] * scale)) : -1;

    const Kernels& k = kernels();
    const int lanes = k.lanes;
    const std::int64_t bands = (b - a + lanes - 1) / lanes;
    threads = static_cast<int>(std::clamp<std::int64_t>(threads, 1, bands));
    const std::int64_t width = cols - 2 * h;

#pragma omp parallel num_threads(threads) if (threads > 1)
    {
        const int t = omp_get_thread_num();
        const std::int64_t nt = omp_get_num_threads();
        const std::int64_t first = bands * t / nt;
        const std::int64_t last = bands * (t + 1) / nt;
        const auto n = static_cast<std::size_t>(cols);
        const auto nl = static_cast<std::size_t>(lanes);
        std::vector<std::uint64_t> col_val(n, 0), col_cnt(n, 0);
        std::vector<std::uint64_t> val(n * nl), cnt(n * nl);
        std::vector<std::uint64_t> sum(static_cast<std::size_t>(width) * nl);
        std::vector<std::uint64_t> count(static_cast<std::size_t>(width) * nl);
        // Adds the stored values of row r with `sign` to the column sums and, from lane `lane`
        // on, to the band's lanes.
        const auto apply = [&](std::int64_t r, std::uint64_t sign, int lane) {
            for (std::int64_t s = at.begin(r); s < at.end(r); ++s) {
                const std::int64_t v = q[static_cast<std::size_t>(s)];
                if (v < 0)
                    continue;
                const auto j = static_cast<std::size_t>(at.col[static_cast<std::size_t>(s)]);
                const std::uint64_t dv = sign * static_cast<std::uint64_t>(v);
                col_val[j] += dv;
                col_cnt[j] += sign;
                for (std::size_t l = static_cast<std::size_t>(lane); l < nl; ++l) {
                    val[j * nl + l] += dv;
                    cnt[j * nl + l] += sign;
                }
            }
        };
        if (first < last)
            for (std::int64_t r = a + first * lanes - h; r < a + first * lanes + h; ++r)
                apply(r, 1, lanes);
        for (std::int64_t band = first; band < last; ++band) {
            const std::int64_t i0 = a + band * lanes;
            const int rows = static_cast<int>(std::min<std::int64_t>(lanes, b - i0));
            for (std::size_t j = 0; j < n; ++j)
                for (std::size_t l = 0; l < nl; ++l) {
                    val[j * nl + l] = col_val[j];
                    cnt[j * nl + l] = col_cnt[j];
                }
            for (int r = 0; r < rows; ++r) {
                apply(i0 + r + h, 1, r);
                if (band != first || r != 0)
                    apply(i0 + r - h - 1, ~std::uint64_t{0}, r);
            }
            k.band_sums(val.data(), cnt.data(), cols, h, sum.data(), count.data(), width);
            sink.emit(t, i0, rows, h, width, sum.data(), count.data());
        }
    }
}

void rounded_means(const std::uint64_t* sum, const std::uint64_t* count, std::int64_t n,
                   double unit, std::int64_t* value) {
    kernels().rounded_means(sum, count, n, unit, value);
}

}  // namespace running

void running_positive_mean(const RealGrid& src, int half, RealGrid& dst, int threads) {
    require_same_shape(src, dst, "moving mean grids differ in size");
    if (&src == &dst)
        throw std::invalid_argument("moving mean needs distinct grids");
    const std::int64_t rows = src.rows();
    if (half < 0 || rows <= 2 * std::int64_t{half} || src.cols() <= 2 * std::int64_t{half})
        return;
    double vmax = 0.0;
    for (std::int64_t i = 0; i < src.size(); ++i)
        vmax = std::max(vmax, src.data()[i]);
    std::vector<std::uint64_t> cells(static_cast<std::size_t>(src.size()));
    std::vector<std::uint8_t> full(static_cast<std::size_t>(rows));
    running::PackedField field;
    field.rows = {cells.data(), full.data(), 0, src.cols()};
    field.raster_rows = rows;
    field.packing = running::packing_for(vmax, half);
    running::pack_rows(src, 0, rows, field, threads);
    running::real_mean_step(field, half, half, rows - half, dst, threads);
}

}  // namespace ds
