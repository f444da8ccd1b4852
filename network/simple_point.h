// The 3 x 3 neighbourhood of a network pixel, and whether the pixel is redundant.
//
// The network is the set of pixels equal to 1, 8-connected; the background (every other value,
// and everything outside the raster) is 4-connected. A pixel is simple when removing it changes
// neither topology: its network neighbours form one 8-connected group and the background
// around it touches it from one 4-connected side only. A simple pixel with exactly one
// network neighbour is the end of a branch; every other simple pixel is redundant: the network
// keeps its shape without it, and the analysis would count it among the confluences.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "lib/grid.h"

namespace ds {

// Neighbour k of (r, c) is (r + kNeighbourRow[k], c + kNeighbourCol[k]): north first, then
// clockwise. Bit k of a neighbour code is set when that neighbour is a network pixel.
inline constexpr std::array<int, 8> kNeighbourRow = {-1, -1, 0, 1, 1, 1, 0, -1};
inline constexpr std::array<int, 8> kNeighbourCol = {0, 1, 1, 1, 0, -1, -1, -1};

// The neighbour code of (r, c): which of its eight neighbours equal 1.
inline unsigned neighbour_code(const ByteGrid& g, std::int64_t r, std::int64_t c) {
    unsigned code = 0;
    const bool inside = r > 0 && c > 0 && r + 1 < g.rows() && c + 1 < g.cols();
    for (int k = 0; k < 8; ++k) {
        const std::int64_t rr = r + kNeighbourRow[k];
        const std::int64_t cc = c + kNeighbourCol[k];
        if ((inside || (rr >= 0 && cc >= 0 && rr < g.rows() && cc < g.cols())) && g(rr, cc) == 1)
            code |= 1u << k;
    }
    return code;
}

inline int neighbour_count(unsigned code) {
    return std::popcount(code);
}

// Whether a pixel whose neighbours have `code` is simple (see above).
bool is_simple(unsigned code);

// A simple pixel that is not a branch end.
inline bool is_redundant(unsigned code) {
    return neighbour_count(code) != 1 && is_simple(code);
}

}  // namespace ds
