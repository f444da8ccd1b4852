// Checks of a drainage that rely on nothing but its directions: where paths end, and the
// shape of the stream network.
#pragma once

#include <cstdint>
#include <vector>

#include "dem/dem_grid.h"

namespace ds::test {

struct Cell {
    int r = 0;
    int c = 0;
    bool operator==(const Cell&) const = default;
};

// The value cell (r, c) drains into, or nothing (-1, -1) when it leaves the raster or enters
// NoData; itself when its direction is 0.
inline Cell downstream(const ByteGrid& dir, const ByteGrid& nodata, int r, int c) {
    const int k = d8_index(dir(r, c));
    if (k < 0)
        return {r, c};
    const int nr = r + kD8[k].dr, nc = c + kD8[k].dc;
    if (nr < 0 || nc < 0 || nr >= dir.rows() || nc >= dir.cols() || nodata(nr, nc) != 0)
        return {-1, -1};
    return {nr, nc};
}

// Value cells whose path never leaves the raster nor reaches NoData (it stops or loops).
inline std::int64_t undrained_cells(const ByteGrid& dir, const ByteGrid& nodata) {
    enum : unsigned char { kUnknown, kOnPath, kDrains, kStuck };
    ByteGrid state(dir.rows(), dir.cols());
    std::int64_t stuck = 0;
    std::vector<Cell> path;
    for (int r = 0; r < dir.rows(); ++r)
        for (int c = 0; c < dir.cols(); ++c) {
            if (nodata(r, c) != 0 || state(r, c) != kUnknown)
                continue;
            path.clear();
            Cell at{r, c};
            unsigned char end = kDrains;
            while (true) {
                if (state(at.r, at.c) == kDrains || state(at.r, at.c) == kStuck) {
                    end = state(at.r, at.c);
                    break;
                }
                if (state(at.r, at.c) == kOnPath) {
                    end = kStuck;
                    break;
                }
                state(at.r, at.c) = kOnPath;
                path.push_back(at);
                const Cell next = downstream(dir, nodata, at.r, at.c);
                if (next.r < 0)
                    break;
                if (next == at) {
                    end = kStuck;
                    break;
                }
                at = next;
            }
            for (const Cell& p : path)
                state(p.r, p.c) = end;
            if (end == kStuck)
                stuck += static_cast<std::int64_t>(path.size());
        }
    return stuck;
}

struct StreamGraph {
    std::vector<Cell> confluences;  // stream cells that two or more stream cells drain into
    std::vector<Cell> outlets;      // stream cells that drain out of the stream network
    int heads = 0;                  // stream cells that no stream cell drains into
    int inner_ends = 0;             // outlets that drain into a value cell
};

inline StreamGraph stream_graph(const ByteGrid& streams, const ByteGrid& dir,
                                const ByteGrid& nodata) {
    StreamGraph g;
    Grid<int> donors(streams.rows(), streams.cols());
    for (int r = 0; r < streams.rows(); ++r)
        for (int c = 0; c < streams.cols(); ++c) {
            if (streams(r, c) == 0)
                continue;
            const Cell t = downstream(dir, nodata, r, c);
            if (t.r >= 0 && !(t == Cell{r, c}) && streams(t.r, t.c) != 0) {
                ++donors(t.r, t.c);
                continue;
            }
            g.outlets.push_back({r, c});
            g.inner_ends += t.r >= 0;
        }
    for (int r = 0; r < streams.rows(); ++r)
        for (int c = 0; c < streams.cols(); ++c)
            if (streams(r, c) != 0) {
                g.heads += donors(r, c) == 0;
                if (donors(r, c) >= 2)
                    g.confluences.push_back({r, c});
            }
    return g;
}

}  // namespace ds::test
