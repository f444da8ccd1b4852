#include "fractal/fdp_products_fast.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "lib/moving_mean.h"
#include "lib/moving_mean_fast.h"

namespace ds {

namespace {

void require_consistent(const SparseField& f, const ByteGrid& image) {
    if (f.at == nullptr || static_cast<std::int64_t>(f.values.size()) != f.at->size() ||
        static_cast<std::int64_t>(f.at->row_start.size()) != f.at->rows + 1)
        throw std::invalid_argument("sparse field and its positions disagree");
    if (f.at->rows != image.rows() || f.at->cols != image.cols())
        throw std::invalid_argument("image buffer and value field differ in size");
}

// Sum and count of the positive stored values of the window, added in the order of the literal
// pass (row by row from the top, left to right); the zeros between them add nothing there.
PositiveSum literal_window_sum(const SparseField& f, std::int64_t i, std::int64_t j, int half) {
    PositiveSum s;
    const auto& col = f.at->col;
    for (std::int64_t r = i - half; r <= i + half; ++r) {
        const auto end = col.begin() + f.at->end(r);
        auto k = std::lower_bound(col.begin() + f.at->begin(r), end, j - half);
        for (; k != end && *k <= j + half; ++k) {
            const double v = f.values[static_cast<std::size_t>(k - col.begin())];
            if (v > 0.0) {
                ++s.ico;
                s.suma += v;
            }
        }
    }
    return s;
}

// Rounds each window mean; where the rounding of the literal mean could differ, sums that
// window again in the literal order.
//
// With u = 2^-53: the literal sum of n positive values in plain double is within (n - 1) u of
// the exact sum, and its mean and the added 0.5 are each rounded once more. The running sum is
// within 2 u of the exact sum plus `slack_` (each column sum and the window sum are rounded once
// to a double; the compensated parts add errors of order u^2 only), and its mean and the added
// 0.5 are rounded once more each. So both values of mean + 0.5 lie within (x + 1) (n + 6) u +
// slack_ of x; the bound below doubles that. When the whole interval x +- bound lies between
// two integers, both truncate alike.
class RegionalSink final : public running::WindowSink {
  public:
    RegionalSink(const SparseField& f, int half, ByteGrid& out, int threads, double slack)
        : f_(f), half_(half), out_(out), slack_(slack), hist_(static_cast<std::size_t>(threads)) {}

    void emit(int thread, std::int64_t i, int rows, std::int64_t j0, std::int64_t j1,
              const double* sum, const double* count) override {
        Histogram& hist = hist_[static_cast<std::size_t>(thread)];
        for (std::int64_t j = j0; j < j1; ++j)
            for (int k = 0; k < rows; ++k) {
                const std::int64_t q = (j - j0) * running::kGroupRows + k;
                const double n = count[q];
                if (n == 0.0)
                    continue;
                const double x = sum[q] / n + 0.5;
                const double bound = (x + 1.0) * (n + 16.0) * 0x1p-52 + slack_;
                int v;
                if (std::floor(x - bound) == std::floor(x + bound)) {
                    v = static_cast<int>(x);
                } else {
                    const PositiveSum s = literal_window_sum(f_, i + k, j, half_);
                    v = image_value(s.suma / s.ico);
                }
                out_(i + k, j) = low_byte(v);
                count_bin(hist, v);
            }
    }

    Histogram merged() const {
        Histogram h{};
        for (const Histogram& t : hist_)
            for (std::size_t b = 0; b < h.size(); ++b)
                h[b] += t[b];
        return h;
    }

  private:
    const SparseField& f_;
    int half_;
    ByteGrid& out_;
    double slack_;
    std::vector<Histogram> hist_;  // one per thread; integer counts merge in any order
};

}  // namespace

void fdp_network_image(const SparseField& dtab, ByteGrid& tab_out) {
    require_consistent(dtab, tab_out);
    tab_out.fill(0);
    for (std::int64_t r = 0; r < dtab.at->rows; ++r)
        for (std::int64_t k = dtab.at->begin(r); k < dtab.at->end(r); ++k)
            tab_out(r, dtab.at->col[static_cast<std::size_t>(k)]) =
                low_byte(image_value(dtab.values[static_cast<std::size_t>(k)]));
}

Histogram fdp_regional_image_fast(const SparseField& dtab, int bord, ByteGrid& tab_out, int threads,
                                  const std::function<void(int line)>& on_line) {
    require_consistent(dtab, tab_out);
    threads = std::max(threads, 1);
    tab_out.fill(0);

    // Compensated part of the error: the lo parts of the column and window sums collect at most
    // rows + cols terms of u times the largest sum, each rounded with an error of u.
    double vmax = 0.0;
    for (const double v : dtab.values)
        if (v > 0.0)
            vmax = std::max(vmax, v);
    const double side = 2.0 * bord + 1.0;
    const double ops = static_cast<double>(dtab.at->rows + dtab.at->cols) + 2.0;
    const double slack = 8.0 * ops * ops * 0x1p-106 * side * side * vmax;

    RegionalSink sink(dtab, bord, tab_out, threads, slack);
    running::window_sums(running::SparseColumns(dtab), bord, threads, sink, 250,
                         [&](std::int64_t i0, std::int64_t i1) {
                             if (!on_line)
                                 return;
                             for (std::int64_t i = i0; i < i1; ++i)
                                 on_line(static_cast<int>(i + 1));
                         });
    return sink.merged();
}

}  // namespace ds
