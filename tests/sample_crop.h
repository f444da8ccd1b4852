// Pieces of the real network of examples/, small enough for quick runs.
#pragma once

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

}  // namespace ds::test
