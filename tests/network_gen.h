// Generated drainage rasters for the tests that compare the fast engine with the reference one:
// random trees, random walks, dense blobs and straight lines, on a raster of bytes (1 = network).
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "lib/grid.h"

namespace ds::gen {

using Rng = std::mt19937;

inline int uniform(Rng& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

inline void put(ByteGrid& g, std::int64_t r, std::int64_t c, unsigned char v = 1) {
    if (r >= 0 && r < g.rows() && c >= 0 && c < g.cols())
        g(r, c) = v;
}

// A walk of `steps` 8-neighbour steps that keeps its direction with probability `keep`.
inline void random_walk(ByteGrid& g, Rng& rng, int r, int c, int steps, double keep = 0.7) {
    int dr = uniform(rng, -1, 1);
    int dc = uniform(rng, -1, 1);
    std::bernoulli_distribution stay(keep);
    for (int s = 0; s < steps; ++s) {
        put(g, r, c);
        if (!stay(rng) || (dr == 0 && dc == 0)) {
            dr = uniform(rng, -1, 1);
            dc = uniform(rng, -1, 1);
        }
        r = std::clamp(r + dr, 0, static_cast<int>(g.rows()) - 1);
        c = std::clamp(c + dc, 0, static_cast<int>(g.cols()) - 1);
    }
}

// A tree grown from (r, c): every new pixel steps off a random pixel already on the tree.
inline void random_tree(ByteGrid& g, Rng& rng, int r, int c, int pixels) {
    std::vector<std::pair<int, int>> on{{r, c}};
    put(g, r, c);
    for (int k = 1; k < pixels; ++k) {
        const auto [pr, pc] =
            on[static_cast<std::size_t>(uniform(rng, 0, static_cast<int>(on.size()) - 1))];
        const int nr = pr + uniform(rng, -1, 1);
        const int nc = pc + uniform(rng, -1, 1);
        if (nr < 0 || nc < 0 || nr >= g.rows() || nc >= g.cols())
            continue;
        put(g, nr, nc);
        on.emplace_back(nr, nc);
    }
}

// Every pixel of the disc of radius `radius` is network with probability `density`.
inline void blob(ByteGrid& g, Rng& rng, int r, int c, int radius, double density) {
    std::bernoulli_distribution on(density);
    for (int dr = -radius; dr <= radius; ++dr)
        for (int dc = -radius; dc <= radius; ++dc)
            if (dr * dr + dc * dc <= radius * radius && on(rng))
                put(g, r + dr, c + dc);
}

// A straight line of `length` pixels from (r, c) in direction (dr, dc).
inline void line(ByteGrid& g, int r, int c, int dr, int dc, int length) {
    for (int k = 0; k < length; ++k)
        put(g, r + k * dr, c + k * dc);
}

// Scatters single pixels of other values (isolated pixels marked 255, stray codes).
inline void noise(ByteGrid& g, Rng& rng, int count) {
    for (int k = 0; k < count; ++k) {
        const unsigned char v = uniform(rng, 0, 1) == 0 ? 255 : 2;
        put(g, uniform(rng, 0, static_cast<int>(g.rows()) - 1),
            uniform(rng, 0, static_cast<int>(g.cols()) - 1), v);
    }
}

// A network of every kind above: trees and walks, a blob, lines along and across the borders,
// stray pixels.
inline ByteGrid network(int lines, int columns, unsigned seed) {
    Rng rng(seed);
    ByteGrid g(lines, columns);
    for (int k = 0; k < 4; ++k)
        random_tree(g, rng, uniform(rng, 0, lines - 1), uniform(rng, 0, columns - 1),
                    lines * columns / 40);
    random_walk(g, rng, lines / 2, columns / 2, lines * 4);
    blob(g, rng, lines / 3, columns / 3, 5, 0.6);
    line(g, 0, 0, 0, 1, columns);
    line(g, 0, columns / 2, 1, 0, lines);
    noise(g, rng, lines * columns / 200);
    return g;
}

}  // namespace ds::gen
