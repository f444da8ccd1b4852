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

TacoExtremes taco_extremes(const RealGrid& dtab2, int bord, int threads) {
    return taco_extremes(dtab2, bord, {bord, dtab2.rows() - bord}, threads);
}

TacoExtremes taco_extremes(const RealGrid& dtab2, int bord, RowRange rows, int threads) {
    const auto part = [&](std::int64_t first, std::int64_t last) {
        TacoExtremes e;
        for (std::int64_t i = first; i < last; ++i) {
            for (std::int64_t j = bord; j < dtab2.cols() - bord; ++j) {
                const double v = dtab2(i, j);
                if (v > 0.0 && e.dval_min > v)
                    e.dval_min = v;
                if (e.dval_max < v)
                    e.dval_max = v;
            }
        }
        return e;
    };
    // The same tests on the extremes of the runs, in row order.
    TacoExtremes e;
    for (const TacoExtremes& p : row_runs<TacoExtremes>(rows.begin, rows.end, threads, part)) {
        if (p.dval_min > 0.0 && e.dval_min > p.dval_min)
            e.dval_min = p.dval_min;
        if (e.dval_max < p.dval_max)
            e.dval_max = p.dval_max;
    }
    return e;
}

Histogram taco_network_image(const RealGrid& dtab2, ByteGrid& tab_out2, int threads) {
    require_same_shape(dtab2, tab_out2, "image buffer and value grid differ in size");
    const auto part = [&](std::int64_t first, std::int64_t last) {
        Histogram val_TAC{};
        for (std::int64_t i = first; i < last; ++i) {
            for (std::int64_t j = 0; j < dtab2.cols(); ++j) {
                const double v = dtab2(i, j);
                const int t = image_value(v);
                if (v != 0.0)
                    count_bin(val_TAC, t);
                tab_out2(i, j) = low_byte(t);
            }
        }
        return val_TAC;
    };
    return summed(row_runs<Histogram>(0, dtab2.rows(), threads, part));
}

Histogram taco_regional_image(const RealGrid& dtab3, int bord, ByteGrid& tab_out2, int threads) {
    return taco_regional_image(dtab3, bord, tab_out2, {bord, dtab3.rows() - bord}, threads);
}

Histogram taco_regional_image(const RealGrid& dtab3, int bord, ByteGrid& tab_out2, RowRange inside,
                              int threads) {
    require_same_shape(dtab3, tab_out2, "image buffer and value grid differ in size");
    const std::int64_t rows = dtab3.rows();
    const std::int64_t cols = dtab3.cols();
    const auto part = [&](std::int64_t first, std::int64_t last) {
        Histogram val_TAC{};
        for (std::int64_t i = first; i < last; ++i) {
            const auto out = tab_out2.row(i);
            std::fill(out.begin(), out.end(), 0);
            if (i < inside.begin || i >= inside.end)
                continue;
            for (std::int64_t j = bord; j < cols - bord; ++j) {
                // Truncated: the one image whose values get no 0.5 before the cut.
                const int t = static_cast<int>(dtab3(i, j));
                count_bin(val_TAC, t);
                out[static_cast<std::size_t>(j)] = low_byte(t);
            }
        }
        return val_TAC;
    };
    return summed(row_runs<Histogram>(0, rows, threads, part));
}

}  // namespace ds
