// The flood grows inwards from the cells that drain out, always from the lowest cell of its
// boundary (a binary heap ordered by elevation, then by cell index, so that the order is fixed).
// A neighbour no higher than the cell that reaches it lies in a pit: it is raised to that level
// and taken from a plain queue before the heap, since nothing in the pit can be lower.
//
// Most cells lie on slopes, and the heap is spared for them too (after Zhou, Sun and Fu 2016): a
// neighbour n higher than the flood has its final level z(n) whatever comes later, and so has
// every cell not yet reached around it when none of them is lower than n, since each of those
// can reach the edge through n without climbing above itself. Such an n goes to a second plain
// queue, which never raises anything; only a cell with a lower cell still ahead of it, a
// possible spill point, waits in the heap for its turn.
#include "dem/fill.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace ds {

namespace {

// A cell by line and column: no division to find them, and their order is the index order.
struct Pos {
    std::int32_t r;
    std::int32_t c;
};

struct Open {
    double z;
    Pos p;
};

// Heap order: the lowest elevation on top, then the lowest cell index.
bool after(const Open& a, const Open& b) {
    if (a.z != b.z)
        return a.z > b.z;
    return a.p.r != b.p.r ? a.p.r > b.p.r : a.p.c > b.p.c;
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
    if (rows > INT32_MAX || cols > INT32_MAX)
        throw std::invalid_argument("too many lines or columns");
    double* z = dem.z.data();
    // NoData cells count as already reached: the flood never enters them.
    std::vector<unsigned char> closed(dem.nodata.data(), dem.nodata.data() + dem.nodata.size());

    std::vector<Open> open;
    for (std::int32_t r = 0; r < rows; ++r)
        for (std::int32_t c = 0; c < cols; ++c) {
            const std::int64_t i = r * cols + c;
            if (closed[i] == 0 && drains_out(dem, r, c)) {
                closed[i] = 1;
                open.push_back({z[i], {r, c}});
            }
        }
    std::make_heap(open.begin(), open.end(), after);

    // Calls f(neighbour, its index) for each neighbour of `p` inside the raster.
    const auto each_neighbour = [rows, cols](Pos p, auto&& f) {
        const bool interior = p.r > 0 && p.c > 0 && p.r < rows - 1 && p.c < cols - 1;
        for (const D8Step& s : kD8) {
            const Pos n{p.r + s.dr, p.c + s.dc};
            if (!interior && (n.r < 0 || n.c < 0 || n.r >= rows || n.c >= cols))
                continue;
            if (f(n, n.r * cols + n.c))
                return;
        }
    };
    // Whether `p`, of index `i`, has a neighbour not yet reached that lies lower.
    const auto lower_ahead = [&](Pos p, std::int64_t i) {
        bool lower = false;
        each_neighbour(p,
                       [&](Pos, std::int64_t m) { return lower = closed[m] == 0 && z[m] < z[i]; });
        return lower;
    };

    std::vector<Pos> pit, slope;
    std::size_t pit_head = 0, slope_head = 0;
    std::int64_t raised = 0;
    while (true) {
        Pos p;
        bool on_slope = false;
        if (pit_head < pit.size()) {
            p = pit[pit_head++];
        } else if (slope_head < slope.size()) {
            p = slope[slope_head++];
            on_slope = true;
        } else if (!open.empty()) {
            pit.clear();
            slope.clear();
            pit_head = slope_head = 0;
            std::pop_heap(open.begin(), open.end(), after);
            p = open.back().p;
            open.pop_back();
        } else {
            break;
        }
        const double zp = z[p.r * cols + p.c];
        each_neighbour(p, [&](Pos n, std::int64_t i) {
            if (closed[i] != 0)
                return false;
            closed[i] = 1;
            if (!on_slope && z[i] <= zp) {
                if (z[i] < zp) {
                    z[i] = zp;
                    ++raised;
                }
                pit.push_back(n);
            } else if (lower_ahead(n, i)) {
                open.push_back({z[i], n});
                std::push_heap(open.begin(), open.end(), after);
            } else {
                slope.push_back(n);
            }
            return false;
        });
    }
    return raised;
}

}  // namespace ds
