#include "taco/taco_products.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace ds {

namespace {

// Rows lo to hi - 1 cut into one run per thread, `part(first, last)` computing each; the parts
// come back in row order, so that folding them in turn gives what one scan gives.
template <class Part, class Body>
std::vector<Part> row_runs(std::int64_t lo, std::int64_t hi, int threads, const Body& part) {
    const std::int64_t n = std::max<std::int64_t>(hi - lo, 0);
    const int nt =
        static_cast<int>(std::clamp<std::int64_t>(threads, 1, std::max<std::int64_t>(n, 1)));
    std::vector<Part> parts(static_cast<std::size_t>(nt));
#pragma omp parallel for num_threads(nt) schedule(static, 1) if (nt > 1)
    for (int t = 0; t < nt; ++t)
        parts[static_cast<std::size_t>(t)] = part(lo + n * t / nt, lo + n * (t + 1) / nt);
    return parts;
}

Histogram summed(const std::vector<Histogram>& parts) {
    Histogram h{};
    for (const Histogram& p : parts)
        for (std::size_t b = 0; b < h.size(); ++b)
            h[b] += p[b];
    return h;
}

}  // namespace

TacoExtremes taco_extremes(const RealGrid& values, int margin, int threads) {
    return taco_extremes(values, margin, {margin, values.rows() - margin}, threads);
}

TacoExtremes taco_extremes(const RealGrid& values, int margin, RowRange rows, int threads) {
    const auto part = [&](std::int64_t first, std::int64_t last) {
        TacoExtremes e;
        for (std::int64_t i = first; i < last; ++i) {
            for (std::int64_t j = margin; j < values.cols() - margin; ++j) {
                const double v = values(i, j);
                if (v > 0.0 && e.min > v)
                    e.min = v;
                if (e.max < v)
                    e.max = v;
            }
        }
        return e;
    };
    // The same tests on the extremes of the runs, in row order.
    TacoExtremes e;
    for (const TacoExtremes& p : row_runs<TacoExtremes>(rows.begin, rows.end, threads, part)) {
        if (p.min > 0.0 && e.min > p.min)
            e.min = p.min;
        if (e.max < p.max)
            e.max = p.max;
    }
    return e;
}

Histogram taco_network_image(const RealGrid& values, ByteGrid& image, int threads) {
    require_same_shape(values, image, "image buffer and value grid differ in size");
    const auto part = [&](std::int64_t first, std::int64_t last) {
        Histogram counts{};
        for (std::int64_t i = first; i < last; ++i) {
            for (std::int64_t j = 0; j < values.cols(); ++j) {
                const double v = values(i, j);
                const int t = image_value(v);
                if (v != 0.0)
                    count_bin(counts, t);
                image(i, j) = low_byte(t);
            }
        }
        return counts;
    };
    return summed(row_runs<Histogram>(0, values.rows(), threads, part));
}

Histogram taco_regional_image(const RealGrid& smoothed, int margin, ByteGrid& image, int threads) {
    return taco_regional_image(smoothed, margin, image, {margin, smoothed.rows() - margin},
                               threads);
}

Histogram taco_regional_image(const RealGrid& smoothed, int margin, ByteGrid& image,
                              RowRange inside, int threads) {
    require_same_shape(smoothed, image, "image buffer and value grid differ in size");
    const std::int64_t rows = smoothed.rows();
    const std::int64_t cols = smoothed.cols();
    const auto part = [&](std::int64_t first, std::int64_t last) {
        Histogram counts{};
        for (std::int64_t i = first; i < last; ++i) {
            const auto out = image.row(i);
            std::fill(out.begin(), out.end(), 0);
            if (i < inside.begin || i >= inside.end)
                continue;
            for (std::int64_t j = margin; j < cols - margin; ++j) {
                // Truncated: the one image whose values get no 0.5 before the cut.
                const int t = static_cast<int>(smoothed(i, j));
                count_bin(counts, t);
                out[static_cast<std::size_t>(j)] = low_byte(t);
            }
        }
        return counts;
    };
    return summed(row_runs<Histogram>(0, rows, threads, part));
}

}  // namespace ds
