// Two breadth-first distances over the cells of each flat and its outlets (all of one
// elevation, 8-connected):
//   low(v)  steps from v to the nearest outlet, through the flat (0 on outlets);
//   high(v) steps from the nearest flat cell that touches higher terrain (1 on those), or 0 on
//           a flat that touches none.
// A flat cell drains to the neighbour of steepest descent of mask = 2 low - high, among the
// cells of the flat and its outlets. That descent always exists: the neighbour n that the
// low distance came from has low(n) = low(c) - 1, and high, a distance over the same graph,
// differs by at most 1 between neighbours, so mask(c) - mask(n) >= 2 - 1 = 1. The mask thus
// falls strictly along every path, which ends at an outlet: no loop, no cell left behind.
// Both distances are unique whatever the order of the queue, and ties go to the first
// neighbour in code order, so the result is fixed.
#include "dem/flats.h"

#include <stdexcept>
#include <vector>

namespace ds {

namespace {

enum : unsigned char { kOther = 0, kFlat = 1, kOutlet = 2 };

}  // namespace

FlatResolution resolve_flats(const DemGrid& dem, ByteGrid& dir) {
    check_dem(dem);
    require_same_shape(dem.z, dir, "directions and elevations differ in size");
    const std::int64_t rows = dem.z.rows(), cols = dem.z.cols();
    const std::int64_t n = rows * cols;
    const double* z = dem.z.data();
    const unsigned char* nodata = dem.nodata.data();
    unsigned char* d = dir.data();

    FlatResolution result;
    std::vector<std::int64_t> flats;
    for (std::int64_t i = 0; i < n; ++i)
        if (nodata[i] == 0 && d[i] == 0)
            flats.push_back(i);
    result.flat_cells = static_cast<std::int64_t>(flats.size());
    if (flats.empty())
        return result;

    // Calls f(k, j) for each neighbour j of cell i inside the raster that holds a value.
    const auto each_neighbour = [&](std::int64_t i, auto&& f) {
        const std::int64_t r = i / cols, c = i % cols;
        for (int k = 0; k < 8; ++k) {
            const std::int64_t nr = r + kD8[k].dr, nc = c + kD8[k].dc;
            if (nr < 0 || nc < 0 || nr >= rows || nc >= cols)
                continue;
            const std::int64_t j = nr * cols + nc;
            if (nodata[j] == 0)
                f(k, j);
        }
    };

    std::vector<unsigned char> kind(static_cast<std::size_t>(n), kOther);
    for (const std::int64_t i : flats)
        kind[i] = kFlat;
    std::vector<std::int64_t> queue;
    for (const std::int64_t i : flats)
        each_neighbour(i, [&](int, std::int64_t j) {
            if (kind[j] == kOther && z[j] == z[i]) {
                kind[j] = kOutlet;
                queue.push_back(j);
            }
        });

    // Distance to the outlets, through flat cells only.
    std::vector<std::int32_t> low(static_cast<std::size_t>(n), -1);
    for (const std::int64_t i : queue)
        low[i] = 0;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::int64_t i = queue[head];
        each_neighbour(i, [&](int, std::int64_t j) {
            if (kind[j] == kFlat && low[j] < 0 && z[j] == z[i]) {
                low[j] = low[i] + 1;
                queue.push_back(j);
            }
        });
    }

    // Distance from the higher terrain, through flat cells and outlets alike.
    std::vector<std::int32_t> high(static_cast<std::size_t>(n), 0);
    queue.clear();
    for (const std::int64_t i : flats) {
        bool touches_higher = false;
        each_neighbour(i, [&](int, std::int64_t j) { touches_higher |= z[j] > z[i]; });
        if (touches_higher) {
            high[i] = 1;
            queue.push_back(i);
        }
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::int64_t i = queue[head];
        each_neighbour(i, [&](int, std::int64_t j) {
            if (kind[j] != kOther && high[j] == 0 && z[j] == z[i]) {
                high[j] = high[i] + 1;
                queue.push_back(j);
            }
        });
    }

    const std::array<double, 8> dist = d8_distances(dem.cell_width, dem.cell_height);
    const auto mask = [&](std::int64_t i) {
        return 2 * static_cast<std::int64_t>(low[i]) - static_cast<std::int64_t>(high[i]);
    };
    for (const std::int64_t i : flats) {
        if (low[i] < 0) {
            ++result.unresolved;
            continue;
        }
        const std::int64_t mi = mask(i);
        double best = 0;
        int best_k = -1;
        each_neighbour(i, [&](int k, std::int64_t j) {
            if (kind[j] == kOther || z[j] != z[i])
                return;
            const double drop = static_cast<double>(mi - mask(j)) / dist[k];
            if (drop > best) {
                best = drop;
                best_k = k;
            }
        });
        if (best_k < 0)
            throw std::logic_error("a flat cell found no lower mask");
        d[i] = kD8[best_k].code;
    }
    return result;
}

}  // namespace ds
