// Pieces of the real network of examples/, small enough for quick runs.
#pragma once

#include <cstdint>
#include <string>

#include "tests/exe_runner.h"

namespace ds::test {

inline constexpr int kSampleSide = 400;

// `rows` x `cols` bytes of the sample raster from row `r0`, column `c0`.
inline std::string sample_crop(int r0, int c0, int rows, int cols) {
    const std::string all = read_file(DRAINSHAPE_SOURCE_DIR "/examples/sample_river.raw");
    std::string out;
    for (int i = r0; i < r0 + rows; ++i)
        out += all.substr(static_cast<std::size_t>(i) * kSampleSide + c0,
                          static_cast<std::size_t>(cols));
    return out;
}

// A river descriptor's text.
inline std::string descriptor(int rows, int cols, int pix_size) {
    return std::to_string(rows) + "\n" + std::to_string(cols) + "\n1\n0\n255\n" +
           std::to_string(pix_size) + "\n";
}

// Network pixels that the first pass visits: value 1, at least `half_win` from every edge, and
// not isolated (a neighbour of value 1 among the eight, tested off the outer ring only).
inline long visited_pixels(const std::string& raster, int rows, int cols, int half_win) {
    const auto at = [&](int i, int j) { return raster[static_cast<std::size_t>(i * cols + j)]; };
    long n = 0;
    for (int i = half_win; i < rows - half_win; ++i)
        for (int j = half_win; j < cols - half_win; ++j) {
            if (at(i, j) != 1)
                continue;
            bool neighbour = false;
            for (int di = -1; di <= 1; ++di)
                for (int dj = -1; dj <= 1; ++dj)
                    if ((di != 0 || dj != 0) && at(i + di, j + dj) == 1)
                        neighbour = true;
            n += neighbour ? 1 : 0;
        }
    return n;
}

}  // namespace ds::test
