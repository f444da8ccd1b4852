#include "dem/d8.h"

namespace ds {

namespace {

// Cardinal directions first, so that a cell drains out across an edge rather than a corner.
constexpr std::array<int, 8> kOutOrder = {0, 2, 4, 6, 1, 3, 5, 7};

}  // namespace

ByteGrid d8_directions(const DemGrid& dem) {
    check_dem(dem);
    const std::int64_t rows = dem.z.rows(), cols = dem.z.cols();
    const std::array<double, 8> dist = d8_distances(dem.cell_width, dem.cell_height);
    ByteGrid dir(rows, cols);
#pragma omp parallel for schedule(static)
    for (std::int64_t r = 0; r < rows; ++r) {
        const bool edge_row = r == 0 || r == rows - 1;
        for (std::int64_t c = 0; c < cols; ++c) {
            if (dem.nodata(r, c) != 0)
                continue;
            const double zc = dem.z(r, c);
            const bool interior = !edge_row && c > 0 && c < cols - 1;
            double best = 0;
            int best_k = -1;
            bool out = !interior;
            for (int k = 0; k < 8; ++k) {
                const std::int64_t nr = r + kD8[k].dr, nc = c + kD8[k].dc;
                if (!interior && (nr < 0 || nc < 0 || nr >= rows || nc >= cols))
                    continue;
                if (dem.nodata(nr, nc) != 0) {
                    out = true;
                    continue;
                }
                const double drop = (zc - dem.z(nr, nc)) / dist[k];
                if (drop > best) {
                    best = drop;
                    best_k = k;
                }
            }
            if (best_k >= 0) {
                dir(r, c) = kD8[best_k].code;
            } else if (out) {
                for (const int k : kOutOrder) {
                    const std::int64_t nr = r + kD8[k].dr, nc = c + kD8[k].dc;
                    if (nr < 0 || nc < 0 || nr >= rows || nc >= cols || dem.nodata(nr, nc) != 0) {
                        dir(r, c) = kD8[k].code;
                        break;
                    }
                }
            }
        }
    }
    return dir;
}

}  // namespace ds
