// Branch selection without cutting the window: the cells that the seed scan and walk-back trace
// label together with the window centre, found by traversing that branch alone.
//
// Row 0 and column 0 of a window are never entered from a neighbour, so the traces are built
// from the 8-connected components of the network cells at the other positions (rows and columns
// 1 to m-1). Such a component is taken whole by the first, in scan order, of its own cells at a
// seed position (rows and columns 0 to m-2) and the row-0 or column-0 seeds next to it. A
// row-0/column-0 seed takes itself and every component next to it that nothing took before.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
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
    void set(int r, int c);
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

// Marks over a window-sized grid that are all dropped at once by starting a new generation,
// so that no per-pixel clearing touches the whole window. Blocked cells hold a value above
// every mark, for good.
class StampGrid {
  public:
    static constexpr std::uint32_t kBlocked = std::numeric_limits<std::uint32_t>::max();

    explicit StampGrid(std::size_t cells) : stamp_(cells, 0) {}

    void block(std::size_t i) {
        stamp_[i] = kBlocked;
        blocked_.push_back(i);
    }

    // Reserves `width` fresh mark values and returns the first; every unblocked cell holds an
    // older one.
    std::uint32_t next(std::uint32_t width) {
        if (gen_ >= kBlocked - width) {
            std::fill(stamp_.begin(), stamp_.end(), 0u);
            for (std::size_t i : blocked_)
                stamp_[i] = kBlocked;
            gen_ = 0;
        }
        const std::uint32_t first = gen_ + 1;
        gen_ += width;
        return first;
    }
    std::uint32_t* data() { return stamp_.data(); }
    std::uint32_t& operator[](std::size_t i) { return stamp_[i]; }
    std::uint32_t operator[](std::size_t i) const { return stamp_[i]; }

  private:
    std::vector<std::uint32_t> stamp_;
    std::vector<std::size_t> blocked_;
    std::uint32_t gen_ = 0;
};

// Scratch of one worker for one window side. Its stamp grid has one row and one column more
// than the window; the positions a trace never enters (row 0, column 0, and that extra row and
// column) are blocked, so the traversal needs no bounds tests.
class BranchWorkspace {
  public:
    explicit BranchWorkspace(int win_size);
    int win_size() const { return m_; }

  private:
    friend bool select_branch_fast(const ByteGrid&, std::int64_t, std::int64_t, BranchWorkspace&,
                                   BranchMask&);
    friend int count_confluences_fast(const BranchMask&, BranchWorkspace&);

    int m_;
    int pitch_;  // m + 1, the row length of the stamp grid
    StampGrid stamp_;
    std::vector<WindowCell> queue_;  // cells as the traversal finds them
    BranchMask marked_;              // branch cells not yet found to be confluences
};

// The branch through image pixel (i, j) of `tab` (1 = network) in the window of side
// `ws.win_size()`, set into `branch` (empty on entry): the cells that the literal pass copies
// into tab_fract. The pixel must be a network pixel at least half a side from every edge.
// Returns false, leaving `branch` empty, when the pixel has no network neighbour: its trace is
// then dropped and the literal selection keeps every unlabelled cell of the window instead.
bool select_branch_fast(const ByteGrid& tab, std::int64_t i, std::int64_t j, BranchWorkspace& ws,
                        BranchMask& branch);

// Confluences of `branch` as count_confluences counts them on a window holding 1 on its cells:
// in row-major order, the cells of rows and columns 1 to m-2 with exactly three branch
// neighbours not yet found to be confluences.
int count_confluences_fast(const BranchMask& branch, BranchWorkspace& ws);

}  // namespace ds
