// Thinning by rounds. Each round visits the candidate pixels (those redundant at its start) four
// times, once per side. On each side, the candidates whose neighbour on that side is background
// and that are redundant are chosen first, all at once, so that one visit peels one layer and a
// line's tip does not crumble pixel after pixel along the line; then they are removed in raster
// order, each one only if it is still redundant at that moment, so that every removal is tested
// against the raster as it then is and keeps the topology on its own.
// Redundancy depends on the 3 x 3 neighbourhood only, so the next round's candidates are the
// survivors and the neighbours of the removed pixels that are redundant then; the work grows
// with the pixels removed, not with the raster times the rounds. A round always removes at
// least one candidate (a simple pixel has a background 4-neighbour, and the raster does not
// change until the first removal), so the rounds end, and they end with no redundant pixel.
#include "network/thinning.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "network/simple_point.h"

namespace ds {

namespace {

// The sides, as neighbour indices: north, south, east, west.
constexpr int kSides[4] = {0, 4, 2, 6};

}  // namespace

std::int64_t thin_network(ByteGrid& raster, const ByteGrid* kept) {
    if (kept != nullptr && (kept->rows() != raster.rows() || kept->cols() != raster.cols()))
        throw std::invalid_argument("the kept pixels and the network differ in shape");
    const std::int64_t cols = raster.cols();
    // A kept pixel is never a candidate; its neighbours still thin around it.
    const auto removable = [&](std::int64_t r, std::int64_t c) {
        return raster(r, c) == 1 && (kept == nullptr || (*kept)(r, c) == 0);
    };
    std::vector<std::int64_t> candidates;
    for (std::int64_t r = 0; r < raster.rows(); ++r)
        for (std::int64_t c = 0; c < cols; ++c)
            if (removable(r, c) && is_redundant(neighbour_code(raster, r, c)))
                candidates.push_back(r * cols + c);

    std::int64_t removed_total = 0;
    std::vector<std::int64_t> side_batch;
    std::vector<std::int64_t> removed;
    std::vector<std::int64_t> next;
    while (!candidates.empty()) {
        removed.clear();
        for (const int side : kSides) {
            side_batch.clear();
            for (const std::int64_t i : candidates) {
                const std::int64_t r = i / cols;
                const std::int64_t c = i % cols;
                if (raster(r, c) != 1)
                    continue;
                const unsigned code = neighbour_code(raster, r, c);
                if (((code >> side) & 1u) == 0 && is_redundant(code))
                    side_batch.push_back(i);
            }
            for (const std::int64_t i : side_batch) {
                const std::int64_t r = i / cols;
                const std::int64_t c = i % cols;
                if (is_redundant(neighbour_code(raster, r, c))) {
                    raster(r, c) = 0;
                    removed.push_back(i);
                }
            }
        }
        removed_total += static_cast<std::int64_t>(removed.size());

        next.clear();
        const auto consider = [&](std::int64_t r, std::int64_t c) {
            if (r >= 0 && c >= 0 && r < raster.rows() && c < cols && removable(r, c) &&
                is_redundant(neighbour_code(raster, r, c)))
                next.push_back(r * cols + c);
        };
        for (const std::int64_t i : candidates)
            consider(i / cols, i % cols);
        for (const std::int64_t i : removed)
            for (int k = 0; k < 8; ++k)
                consider(i / cols + kNeighbourRow[k], i % cols + kNeighbourCol[k]);
        std::sort(next.begin(), next.end());
        next.erase(std::unique(next.begin(), next.end()), next.end());
        candidates.swap(next);
    }
    return removed_total;
}

}  // namespace ds
