// Bit sets under the fast algorithms: the cells of one window as row bitsets (BranchMask), the
// network pixels of a raster as row bitsets (NetworkBits), and the word helpers that read them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "lib/grid.h"

namespace ds {

// Bits set in x, in plain integer code on every target (no library call).
inline int popcount64(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0full;
    return static_cast<int>((x * 0x0101010101010101ull) >> 56);
}

struct WindowCell {
    int r = 0;
    int c = 0;
    bool operator==(const WindowCell&) const = default;
};

// A set of cells of one window as row bitsets: bit c % 64 of word c / 64 of row r is cell
// (r, c). Only the rows between the first and the last set one are ever nonzero, and clearing
// touches only those.
class BranchMask {
  public:
    explicit BranchMask(int win_size);

    int win_size() const { return m_; }
    int words() const { return words_; }      // per row
    int size() const { return count_; }       // cells in the set
    int first_row() const { return first_; }  // first_row() > last_row() when empty
    int last_row() const { return last_; }

    const std::uint64_t* row(int r) const {
        return bits_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(words_);
    }
    bool test(int r, int c) const { return (row(r)[c >> 6] >> (c & 63)) & 1u; }
    // (r, c) must lie in the window.
    void set(int r, int c) {
        std::uint64_t& w = row_mut(r)[c >> 6];
        const std::uint64_t bit = std::uint64_t{1} << (c & 63);
        count_ += (w & bit) == 0;
        w |= bit;
        first_ = std::min(first_, r);
        last_ = std::max(last_, r);
    }
    void reset(int r, int c);
    void clear();
    // The cells in row-major order.
    void cells(std::vector<WindowCell>& out) const;
    // Copies `other`, a mask of the same window side, over this empty one.
    void copy_from(const BranchMask& other);

  private:
    std::uint64_t* row_mut(int r) {
        return bits_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(words_);
    }

    int m_;
    int words_;
    std::vector<std::uint64_t> bits_;
    int first_;
    int last_ = -1;
    int count_ = 0;
};

// Where bit p of a row of bitsets lies: word `w`, bit `o`. Rows that share the position share
// the cursor.
struct BitCursor {
    explicit BitCursor(std::int64_t p) : w(p >> 6), o(static_cast<int>(p & 63)) {}
    std::int64_t w;
    int o;
};

// Bits p to p + 2 of a row of bitsets; the word after the one holding p must exist.
inline unsigned three_bits(const std::uint64_t* row, BitCursor at) {
    const std::uint64_t lo = row[at.w] >> at.o;
    const std::uint64_t hi = (row[at.w + 1] << 1) << (63 - at.o);
    return static_cast<unsigned>((lo | hi) & 7u);
}

// The network pixels of a raster (cells holding exactly 1) as row bitsets. Past the last row
// and the last column there is always room for one more, so that the 3 x 3 neighbourhood of
// any pixel reads without bounds tests (the extra cells are 0).
class NetworkBits {
  public:
    // Packs the rows with `threads` threads (below 1: every core).
    explicit NetworkBits(const ByteGrid& tab, int threads = 1);

    std::int64_t rows() const { return rows_; }
    std::int64_t cols() const { return cols_; }
    std::int64_t words() const { return words_; }  // per row
    const std::uint64_t* row(std::int64_t r) const { return bits_.data() + r * words_; }
    bool test(std::int64_t r, std::int64_t c) const { return (row(r)[c >> 6] >> (c & 63)) & 1u; }

  private:
    std::int64_t rows_;
    std::int64_t cols_;
    std::int64_t words_;
    std::vector<std::uint64_t> bits_;
};

}  // namespace ds
