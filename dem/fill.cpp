// The flood grows inwards from the cells that drain out, always from the lowest cell of its
// boundary (a binary heap ordered by elevation, then by cell index, so that the order is fixed).
// A neighbour no higher than the cell that reaches it lies in a pit: it is raised to that level
// and taken from a plain queue before the heap, since nothing in the pit can be lower.
#include "dem/fill.h"

#include <algorithm>
#include <vector>

namespace ds {

namespace {

struct Open {
    double z;
    std::int64_t i;
};

// Heap order: the lowest elevation on top, then the lowest index.
bool after(const Open& a, const Open& b) {
    return a.z > b.z || (a.z == b.z && a.i > b.i);
}

}  // namespace

bool drains_out(const DemGrid& dem, std::int64_t r, std::int64_t c) {
    const std::int64_t rows = dem.z.rows(), cols = dem.z.cols();
    if (r == 0 || c == 0 || r == rows - 1 || c == cols - 1)
        return true;
    for (const D8Step& s : kD8)
        if (dem.nodata(r + s.dr, c + s.dc) != 0)
            return true;
    return false;
}

std::int64_t fill_depressions(DemGrid& dem) {
    check_dem(dem);
    const std::int64_t rows = dem.z.rows(), cols = dem.z.cols();
    double* z = dem.z.data();
    // NoData cells count as already reached: the flood never enters them.
    std::vector<unsigned char> closed(dem.nodata.data(), dem.nodata.data() + dem.nodata.size());

    std::vector<Open> open;
    for (std::int64_t r = 0; r < rows; ++r)
        for (std::int64_t c = 0; c < cols; ++c) {
            const std::int64_t i = r * cols + c;
            if (closed[i] == 0 && drains_out(dem, r, c)) {
                closed[i] = 1;
                open.push_back({z[i], i});
            }
        }
    std::make_heap(open.begin(), open.end(), after);

    std::array<std::int64_t, 8> offset{};
    for (std::size_t k = 0; k < kD8.size(); ++k)
        offset[k] = kD8[k].dr * cols + kD8[k].dc;

    std::vector<std::int64_t> pit;
    std::size_t pit_head = 0;
    std::int64_t raised = 0;
    while (pit_head < pit.size() || !open.empty()) {
        std::int64_t i;
        if (pit_head < pit.size()) {
            i = pit[pit_head++];
        } else {
            pit.clear();
            pit_head = 0;
            std::pop_heap(open.begin(), open.end(), after);
            i = open.back().i;
            open.pop_back();
        }
        const double zi = z[i];
        const std::int64_t r = i / cols, c = i % cols;
        const bool interior = r > 0 && c > 0 && r < rows - 1 && c < cols - 1;
        for (std::size_t k = 0; k < kD8.size(); ++k) {
            if (!interior) {
                const std::int64_t nr = r + kD8[k].dr, nc = c + kD8[k].dc;
                if (nr < 0 || nc < 0 || nr >= rows || nc >= cols)
                    continue;
            }
            const std::int64_t n = i + offset[k];
            if (closed[n] != 0)
                continue;
            closed[n] = 1;
            if (z[n] <= zi) {
                if (z[n] < zi) {
                    z[n] = zi;
                    ++raised;
                }
                pit.push_back(n);
            } else {
                open.push_back({z[n], n});
                std::push_heap(open.begin(), open.end(), after);
            }
        }
    }
    return raised;
}

}  // namespace ds
