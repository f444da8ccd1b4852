// A real field that is zero except at a few pixels, stored row by row: the positions of the
// nonzero pixels in row-major order, and one or more value arrays over those positions.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ds {

struct SparsePositions {
    std::int64_t rows = 0;
    std::int64_t cols = 0;
    std::vector<std::int64_t> row_start;  // rows + 1 offsets into `col`
    std::vector<std::int32_t> col;        // column of each stored pixel, increasing within a row

    std::int64_t size() const { return static_cast<std::int64_t>(col.size()); }
    // Stored pixels of row r: indices row_start[r] to row_start[r + 1] - 1.
    std::int64_t begin(std::int64_t r) const { return row_start[static_cast<std::size_t>(r)]; }
    std::int64_t end(std::int64_t r) const { return row_start[static_cast<std::size_t>(r) + 1]; }
};

// One value per stored position; every other pixel is 0.0.
struct SparseField {
    const SparsePositions* at = nullptr;
    std::span<const double> values;
};

}  // namespace ds
