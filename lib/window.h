// The analysis window and its working grids, one set per worker.
//
// `tab_prov` holds the network cells of the window cut around a pixel, `itab` their component
// labels, `tab_fract` the branch through the centre (one line and one column larger than the
// window), `tab_in` the working copy of the TACO count, and `coord_x`/`coord_y` the trace list.
#pragma once

#include <array>
#include <vector>

#include "lib/grid.h"

namespace ds {

// The menu of window sides shared by the analysis and regional window questions.
inline constexpr std::array<int, 12> kWindowSides = {13,  25,  37,  49,  61,  73,
                                                     101, 121, 181, 211, 241, 661};

// Half side of an odd side.
constexpr int half_side(int side) {
    return (side - 1) / 2;
}

struct Window {
    explicit Window(int win_size)
        : win_size(win_size),
          ic(half_side(win_size)),
          jc(half_side(win_size)),
          tab_prov(win_size, win_size),
          tab_fract(win_size + 1, win_size + 1),
          tab_in(win_size, win_size),
          itab(win_size, win_size),
          coord_x(static_cast<std::size_t>(win_size) * static_cast<std::size_t>(win_size)),
          coord_y(static_cast<std::size_t>(win_size) * static_cast<std::size_t>(win_size)),
          MinLab(1),
          MaxLab(win_size * win_size) {}

    int win_size;
    int ic;
    int jc;
    ByteGrid tab_prov;
    ByteGrid tab_fract;
    ByteGrid tab_in;
    IntGrid itab;
    std::vector<int> coord_x;
    std::vector<int> coord_y;
    int MinLab;
    int MaxLab;
};

}  // namespace ds
