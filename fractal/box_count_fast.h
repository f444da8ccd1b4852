// Box counting from the branch as row bitsets: the boxes of a side are bands of rows ORed
// together, from the bands of a smaller side that divides it, and a band's occupied boxes are
// the groups of columns holding a bit. Only the bands that the branch's rows reach are built.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fractal/box_count.h"
#include "taco/branch.h"

namespace ds {

// Scratch of one worker for the box counting of one window of the menu.
class BoxCounter {
  public:
    // Throws std::out_of_range for an index outside the menu.
    explicit BoxCounter(int win_fract);

    const BoxSides& sides() const { return sides_; }

    // The same counts as count_boxes on a window holding 1 on the cells of `branch` and 0
    // elsewhere.
    BoxCounts count(const BranchMask& branch);

    // fract_from_ordinates of the counts, with the logarithms of small counts looked up.
    FractResult fract(const BoxCounts& itot) const;

  private:
    template <int W>
    BoxCounts count_words(const BranchMask& branch);

    const BoxSides& sides_;
    int m_;
    int words_;
    struct Smear {
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
    std::array<std::vector<std::uint64_t>, 32> bands_;  // per side, `words_` per band
    std::vector<std::uint64_t> scratch_;
    std::vector<double> log_count_;  // ln(k + 1)
};

}  // namespace ds
