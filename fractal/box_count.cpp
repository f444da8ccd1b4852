#include "fractal/box_count.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "fractal/regression.h"
#include "lib/window.h"

namespace ds {

namespace {

BoxSides make_sides(std::initializer_list<int> list) {
    BoxSides s;
    for (int side : list) {
        ++s.max_m;
        s.n[static_cast<std::size_t>(s.max_m)] = side;
        s.xx[static_cast<std::size_t>(s.max_m - 1)] = std::log(static_cast<double>(side));
    }
    return s;
}

// One list per window of the menu. Most rows are the divisors of win_size - 1 below half of it,
// but not all: the 73 row has no 4 and no 18, the 121 row no 5 and no 24.
const std::array<BoxSides, 12>& side_table() {
    static const std::array<BoxSides, 12> table = {
        make_sides({1, 2, 3, 4}),                                                       // 13
        make_sides({1, 2, 3, 4, 6, 8}),                                                 // 25
        make_sides({1, 2, 3, 4, 6, 9, 12}),                                             // 37
        make_sides({1, 2, 3, 4, 6, 8, 12, 16}),                                         // 49
        make_sides({1, 2, 3, 4, 5, 6, 10, 12, 15, 20}),                                 // 61
        make_sides({1, 2, 3, 6, 8, 9, 12, 24}),                                         // 73
        make_sides({1, 2, 4, 5, 10, 20, 25}),                                           // 101
        make_sides({1, 2, 3, 4, 6, 8, 10, 12, 15, 20, 30, 40}),                         // 121
        make_sides({1, 2, 3, 4, 5, 6, 9, 10, 12, 15, 18, 20, 30, 36, 45, 60}),          // 181
        make_sides({1, 2, 3, 5, 6, 7, 10, 14, 15, 21, 30, 35, 42, 70}),                 // 211
        make_sides({1, 2, 3, 4, 5, 6, 8, 10, 12, 15, 16, 20, 24, 30, 40, 48, 60, 80}),  // 241
        make_sides({1,  2,  3,  4,  5,  6,  10, 11,  12,  15,  20,
                    22, 30, 33, 44, 55, 60, 66, 110, 132, 165, 220}),  // 661
    };
    return table;
}

// True when the s x s box with upper-left cell (k, l) holds a branch cell; stops at the first.
bool box_occupied(const ByteGrid& tab_fract, int k, int l, int s) {
    for (int i2 = k; i2 < k + s; ++i2) {
        const unsigned char* row = tab_fract.row(i2).data();
        for (int j2 = l; j2 < l + s; ++j2)
            if (row[j2] == 1)
                return true;
    }
    return false;
}

void check_window(const ByteGrid& tab_fract, const BoxSides& sides, int lig, int col) {
    if (lig < 2 || col < 2 || lig > tab_fract.rows() || col > tab_fract.cols())
        throw std::invalid_argument("box counting window does not fit its grid");
    if (sides.max_m < 1 || sides.max_m >= static_cast<int>(sides.n.size()))
        throw std::invalid_argument("box side list has no usable length");
    for (int m = 1; m <= sides.max_m; ++m) {
        const int s = sides.n[static_cast<std::size_t>(m)];
        if (s < 1 || (lig - 1) % s != 0 || (col - 1) % s != 0)
            throw std::invalid_argument("box side does not tile the window");
    }
}

}  // namespace

const BoxSides& box_sides(int m) {
    // The box sides are tabulated by the window's place in the menu.
    const auto at = std::find(kWindowSides.begin(), kWindowSides.end(), m);
    if (at == kWindowSides.end())
        throw std::out_of_range("no box sides for a window of " + std::to_string(m));
    return side_table()[static_cast<std::size_t>(at - kWindowSides.begin())];
}

BoxCounts count_boxes(const ByteGrid& tab_fract, const BoxSides& sides, int lig, int col) {
    check_window(tab_fract, sides, lig, col);
    BoxCounts itot{};
    for (int p = 0; p < 4; ++p) {
        // Row offset a, column offset b: the square leaves out one border row and one column.
        const int a = p / 2;
        const int b = p % 2;
        for (int m = 1; m <= sides.max_m; ++m) {
            const int s = sides.n[static_cast<std::size_t>(m)];
            int count = 0;
            for (int k = a; k < lig - 1 + a; k += s)
                for (int l = b; l < col - 1 + b; l += s)
                    if (box_occupied(tab_fract, k, l, s))
                        ++count;
            itot[static_cast<std::size_t>(p)][static_cast<std::size_t>(m - 1)] = count;
        }
    }
    return itot;
}

FractResult fract_from_ordinates(const BoxSides& sides, const BoxOrdinates& yy) {
    const int max_m = sides.max_m;
    const double* xx = sides.xx.data();
    std::array<double, 4> DFp{};
    std::array<double, 4> DimFp{};
    std::array<double, 4> Era{};
    std::array<double, 4> Erb{};
    for (std::size_t p = 0; p < 4; ++p) {
        const double* y = yy[p].data();
        DFp[p] = -slope(xx, y, max_m);
        DimFp[p] = -slope2(xx, y, max_m);
        Era[p] = Er_2(xx, y, max_m, 0);
        Erb[p] = Er_2(xx, y, max_m, 1);
    }
    FractResult r;
    r.DF = (DFp[0] + DFp[1] + DFp[2] + DFp[3]) * 0.25;
    r.DF_V2 = (DimFp[0] + DimFp[1] + DimFp[2] + DimFp[3]) * 0.25;
    r.ER_0 = (Era[0] + Era[1] + Era[2] + Era[3]) * 0.25;
    r.ER_1 = (Erb[0] + Erb[1] + Erb[2] + Erb[3]) * 0.25;
    return r;
}

FractResult fract_from_counts(const BoxSides& sides, const BoxCounts& itot) {
    BoxOrdinates yy{};
    for (std::size_t p = 0; p < 4; ++p)
        for (int m = 1; m <= sides.max_m; ++m) {
            const auto i = static_cast<std::size_t>(m - 1);
            // The count is raised by one: a side without any occupied box gives 0.
            yy[p][i] = std::log(static_cast<double>(itot[p][i] + 1));
        }
    return fract_from_ordinates(sides, yy);
}

int r2_class(double er) {
    return static_cast<int>(er * 1000 + 0.5);
}

void count_class(R2Histogram& tab, int c) {
    if (c >= 0 && c < static_cast<int>(tab.size()))
        ++tab[static_cast<std::size_t>(c)];
}

FractResult Fract_Explor(const ByteGrid& tab_fract, int m, R2Histogram& tab_Er0,
                         R2Histogram& tab_Er1) {
    const BoxSides& sides = box_sides(m);
    const FractResult r = fract_from_counts(sides, count_boxes(tab_fract, sides, m, m));
    count_class(tab_Er0, r2_class(r.ER_0));
    count_class(tab_Er1, r2_class(r.ER_1));
    return r;
}

}  // namespace ds
