// Box counting from the branch as row bitsets. A band of a side s is the OR of the rows of one
// line of boxes, smeared so that bit p tells whether columns p to p + s - 1 hold a branch cell;
// a side's bands come from those of a smaller side d that divides it, spread over s / d of its
// boxes. The occupied boxes of a band are its bits at the boxes' first columns. Only the bands
// that the branch's rows reach are built.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fractal/box_count.h"
#include "lib/bits.h"

// On x86 with GCC or Clang the counting is also compiled for the popcount instruction and
// takes that version when the processor has it.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define DRAINSHAPE_POPCNT_CLONE 1
#else
#define DRAINSHAPE_POPCNT_CLONE 0
#endif

namespace ds {

// Scratch of one worker for the box counting of one window of the menu.
class BoxCounter {
  public:
    // Throws std::out_of_range for a side outside the menu.
    explicit BoxCounter(int m);

    const BoxSides& sides() const { return sides_; }

    // The same counts as count_boxes on a window holding 1 on the cells of `branch` and 0
    // elsewhere.
    BoxCounts count(const BranchMask& branch);

    // fract_from_ordinates of the counts, with the logarithms of small counts looked up.
    FractResult fract(const BoxCounts& itot) const;

  private:
    // W words per row (0: words_); Hw: count bits with the processor's instruction.
    template <int W, bool Hw>
    BoxCounts count_words(const BranchMask& branch);
    // count_words for the row width of this window (fixed widths for the menu's windows).
    template <bool Hw>
    BoxCounts count_any(const BranchMask& branch);
    BoxCounts count_popcnt(const BranchMask& branch);

    const BoxSides& sides_;
    int m_;
    int words_;
    struct Smear {
        int factor = 1;  // source boxes per box
        int steps = 0;
        std::array<int, 12> shift{};
    };

    std::array<int, 32> source_{};  // side each side is built from (index from 0)
    std::array<Smear, 32> smear_{};
    std::array<std::vector<int>, 32> quot_;  // x / side for x = 0 to m - 1
    // Per column offset b of a placement: the columns of its square, and for each side the
    // first column of every box.
    std::array<std::vector<std::uint64_t>, 2> square_;
    std::array<std::array<std::vector<std::uint64_t>, 32>, 2> starts_;
    std::array<std::vector<std::uint64_t>, 32> bands_;  // per side, `words_` per band, smeared
    std::vector<double> log_count_;                     // ln(k + 1)
    bool popcnt_ = false;
};

}  // namespace ds
