// Small rasters drawn as text, for tests that count by hand: '#' is a network pixel (1), '.'
// background (0), a digit any other value.
#pragma once

#include <string>
#include <vector>

#include "lib/grid.h"

namespace ds::test {

inline ByteGrid grid_from_picture(const std::vector<std::string>& rows) {
    ByteGrid g(static_cast<std::int64_t>(rows.size()), static_cast<std::int64_t>(rows[0].size()));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            const char ch = rows[r][c];
            g(static_cast<std::int64_t>(r), static_cast<std::int64_t>(c)) =
                ch == '#'   ? 1
                : ch == '.' ? 0
                            : static_cast<unsigned char>(ch - '0');
        }
    return g;
}

// A raster counted by hand: a stray value 2; an isolated pixel in the corner and one inside; a
// line with an L corner (two pixels of it could go, one at a time), a ring around a hole (its
// four corners could go) and a lone 2 x 2 block (any one of its pixels could go).
inline ByteGrid hand_counted_raster() {
    return grid_from_picture({
        "2.........",
        ".#......#.",
        "........#.",
        "..###...##",
        "..#.#.....",
        "..###..##.",
        ".......##.",
        "#.........",
    });
}

inline std::vector<std::string> picture_of(const ByteGrid& g) {
    std::vector<std::string> rows;
    for (std::int64_t r = 0; r < g.rows(); ++r) {
        std::string row;
        for (std::int64_t c = 0; c < g.cols(); ++c)
            row += g(r, c) == 1 ? '#' : g(r, c) == 0 ? '.' : static_cast<char>('0' + g(r, c) % 10);
        rows.push_back(row);
    }
    return rows;
}

}  // namespace ds::test
