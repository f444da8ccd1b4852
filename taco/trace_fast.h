// Branch selection without cutting the window: the cells that the seed scan and walk-back trace
// label together with the window centre, found by traversing that branch alone.
//
// Row 0 and column 0 of a window are never entered from a neighbour, so the traces are built
// from the 8-connected components of the network cells at the other positions (rows and columns
// 1 to m-1). Such a component is taken whole by the first, in scan order, of its own cells at a
// seed position (rows and columns 0 to m-2) and the row-0 or column-0 seeds next to it. A
// row-0/column-0 seed takes itself and every component next to it that nothing took before.
#pragma once

#include <cstdint>
#include <vector>

#include "lib/bits.h"

namespace ds {

// Scratch of one worker for one window side: the cell list of a traversal and its visited
// mark, rows of the window (and one more) laid out like rows of the raster's NetworkBits, so
// that both read at the same positions in a row (it is sized on first use and left empty after
// every traversal).
class BranchWorkspace {
  public:
    explicit BranchWorkspace(int win_size);
    int win_size() const { return m_; }

  private:
    friend bool select_branch_fast(const NetworkBits&, std::int64_t, std::int64_t, BranchWorkspace&,
                                   BranchMask&);
    friend int count_confluences_fast(const BranchMask&, BranchWorkspace&);

    int m_;
    std::vector<std::uint64_t> visited_;
    std::vector<WindowCell> queue_;  // cells as the traversal finds them
    BranchMask marked_;              // branch cells not yet found to be confluences
};

// The branch through image pixel (i, j) in the window of side `ws.win_size()`, set into
// `branch` (empty on entry): the cells that the literal pass copies into tab_fract. The pixel
// must be a network pixel at least half a side from every edge. Returns false, leaving
// `branch` empty, when the pixel has no network neighbour: its trace is then dropped and the
// literal selection keeps every unlabelled cell of the window instead.
bool select_branch_fast(const NetworkBits& net, std::int64_t i, std::int64_t j, BranchWorkspace& ws,
                        BranchMask& branch);

// Confluences of `branch` as count_confluences counts them on a window holding 1 on its cells:
// in row-major order, the cells of rows and columns 1 to m-2 with exactly three branch
// neighbours not yet found to be confluences.
int count_confluences_fast(const BranchMask& branch, BranchWorkspace& ws);

}  // namespace ds
