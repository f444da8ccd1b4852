#include "fractal/fdp_products_fast.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "lib/moving_mean.h"
#include "lib/moving_mean_fast.h"

namespace ds {

namespace {

constexpr std::int64_t kSpanRows = 256;  // rows between two progress reports

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
                ++s.count;
                s.sum += v;
            }
        }
    }
    return s;
}

// Rounds each window mean; where the rounding of the literal mean could differ
// (running::rounded_means), sums that window again in the literal order.
class RegionalSink final : public running::WindowSink {
  public:
    RegionalSink(const SparseField& f, int half, ByteGrid& out, int threads, double unit,
                 double vmax, FloatGrid* dimensions)
        : f_(f),
          half_(half),
          out_(out),
          unit_(unit),
          dimensions_(dimensions),
          hist_(static_cast<std::size_t>(threads)),
          values_(static_cast<std::size_t>(threads)) {
        int e = 0;
        std::frexp(vmax, &e);  // vmax < 2^e
        ulp_ = std::ldexp(1.0, e - 52);
    }

    void emit(int thread, std::int64_t i, int rows, std::int64_t j0, std::int64_t width,
              const std::uint64_t* sum, const std::uint64_t* count) override {
        Histogram& hist = hist_[static_cast<std::size_t>(thread)];
        std::vector<std::int64_t>& value = values_[static_cast<std::size_t>(thread)];
        value.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
        running::rounded_means(sum, count, width * rows, unit_, value.data());
        for (int k = 0; k < rows; ++k) {
            unsigned char* row = out_.row(i + k).data();
            const std::int64_t* v = value.data() + k * width;
            for (std::int64_t q = 0; q < width; ++q) {
                if (v[q] == -1)
                    continue;
                int b = static_cast<int>(v[q]);
                if (v[q] == -2) {
                    const PositiveSum s = literal_window_sum(f_, i + k, j0 + q, half_);
                    b = image_value(s.sum / s.count);
                }
                row[j0 + q] = low_byte(b);
                count_bin(hist, b);
                if (dimensions_)
                    (*dimensions_)(i + k, j0 + q) =
                        dimension(i + k, j0 + q, sum[k * width + q], count[k * width + q]);
            }
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
    // The Float32 dimension of the window's mean, from its sums. The literal mean, added term
    // after term, is off the exact one by at most n units of 2^(e - 53) and one rounding, the
    // fixed point by half a unit and the roundings of the quotient: where that error leaves the
    // Float32 in doubt, the window is summed again in the literal order.
    float dimension(std::int64_t i, std::int64_t j, std::uint64_t sum, std::uint64_t count) const {
        const double n = static_cast<double>(count);
        const double m = static_cast<double>(sum) * unit_ / n;
        const double error = (n + 4) * ulp_ + unit_;
        const auto low = static_cast<float>(dimension_of(m - error));
        if (low == static_cast<float>(dimension_of(m + error)))
            return low;
        const PositiveSum s = literal_window_sum(f_, i, j, half_);
        return static_cast<float>(dimension_of(s.sum / s.count));
    }

    const SparseField& f_;
    int half_;
    ByteGrid& out_;
    double unit_;
    FloatGrid* dimensions_;
    double ulp_ = 0;               // 2^(e - 52), vmax < 2^e
    std::vector<Histogram> hist_;  // one per thread; integer counts merge in any order
    std::vector<std::vector<std::int64_t>> values_;  // one per thread
};

}  // namespace

void fdp_network_image(const SparseField& field, ByteGrid& image) {
    require_consistent(field, image);
    image.fill(0);
    for (std::int64_t r = 0; r < field.at->rows; ++r)
        for (std::int64_t k = field.at->begin(r); k < field.at->end(r); ++k)
            image(r, field.at->col[static_cast<std::size_t>(k)]) =
                low_byte(image_value(field.values[static_cast<std::size_t>(k)]));
}

Histogram fdp_regional_image_fast(const SparseField& field, int margin, ByteGrid& image,
                                  int threads, const std::function<void(int line)>& on_line) {
    require_consistent(field, image);
    return fdp_regional_image_fast(field, margin, largest_value(field, {0, field.at->rows}), image,
                                   threads, on_line);
}

double largest_value(const SparseField& f, RowRange rows) {
    double vmax = 0.0;
    for (std::int64_t s = f.at->begin(rows.begin); s < f.at->begin(rows.end); ++s)
        vmax = std::max(vmax, f.values[static_cast<std::size_t>(s)]);
    return vmax;
}

Histogram fdp_regional_image_fast(const SparseField& field, int margin, double vmax,
                                  ByteGrid& image, int threads,
                                  const std::function<void(int line)>& on_line,
                                  FloatGrid* dimensions) {
    require_consistent(field, image);
    threads = std::max(threads, 1);
    image.fill(0);
    if (dimensions) {
        require_same_shape(*dimensions, image, "dimensions and image differ in size");
        dimensions->fill(std::numeric_limits<float>::quiet_NaN());
    }

    const running::Packing packing = running::packing_for(vmax, margin);
    RegionalSink sink(field, margin, image, threads, std::ldexp(1.0, -packing.shift), vmax,
                      dimensions);
    // Bands of rows in turn, each on every thread, so that the lines are reported in order.
    const std::int64_t first = margin;
    const std::int64_t last = std::max<std::int64_t>(field.at->rows - margin, first);
    for (std::int64_t i0 = first; i0 < last; i0 += kSpanRows) {
        const std::int64_t i1 = std::min(i0 + kSpanRows, last);
        running::sparse_window_sums(field, margin, packing, i0, i1, threads, sink);
        if (on_line)
            for (std::int64_t i = i0; i < i1; ++i)
                on_line(static_cast<int>(i + 1));
    }
    return sink.merged();
}

}  // namespace ds
