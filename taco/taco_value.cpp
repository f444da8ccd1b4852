#include "taco/taco_value.h"

#include <stdexcept>

namespace ds {

double taco_value(int L, int Nc, int m, int MNC) {
    const int half_win = (m - 1) / 2;
    const double surf_window = static_cast<double>(m) * static_cast<double>(m);
    const double despl = (half_win + 1) / surf_window * 0.01;

    int crossing = Nc;
    if (crossing <= MNC)
        crossing = 0;

    double ratio1 = 0.0;
    double ratio2 = 0.0;
    if (crossing > 0) {
        // Dendritic: length per confluence against the window side.
        ratio1 = static_cast<double>(L) / (crossing + 1) / m;
        ratio2 = 200 - ratio1 * 100;
    } else {
        // Meander: share of the window on the branch, in percent.
        ratio1 = L / surf_window * 100;
        ratio2 = 100 - 4 * ratio1;
        ratio2 = 2 * despl + ratio2;
    }
    return ratio2;
}

int count_confluences(ByteGrid& tab_in, int lig, int col) {
    if (lig > tab_in.rows() || col > tab_in.cols())
        throw std::invalid_argument("count_confluences: window larger than tab_in");
    int crossing = 0;
    for (int r = 1; r <= lig - 2; ++r) {
        for (int c = 1; c <= col - 2; ++c) {
            if (tab_in(r, c) != 1)
                continue;
            int neighbours = 0;
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc)
                    if ((dr != 0 || dc != 0) && tab_in(r + dr, c + dc) == 1)
                        ++neighbours;
            if (neighbours == 3) {
                ++crossing;
                tab_in(r, c) = 2;
            }
        }
    }
    return crossing;
}

bool New_Vosmek_Treatment(Window& w, int ic, int jc, int MNC, RealGrid& dtab2) {
    const int m = w.win_size;
    const int lig = m;
    const int col = m;
    if (ic < 0 || ic >= dtab2.rows() || jc < 0 || jc >= dtab2.cols())
        throw std::out_of_range("New_Vosmek_Treatment: pixel outside dtab2");

    const int half_win = (m - 1) / 2;
    ByteGrid& tab_in = w.tab_in;
    for (int r = 0; r < lig; ++r)
        for (int c = 0; c < col; ++c)
            tab_in(r, c) = w.tab_fract(r, c);

    // The one cell examined is the window centre.
    if (tab_in(half_win, half_win) != 1)
        return false;

    int ico = 0;
    for (int r = half_win - half_win; r <= half_win + half_win; ++r)
        for (int c = half_win - half_win; c <= half_win + half_win; ++c)
            if (tab_in(r, c) == 1)
                ++ico;

    const int crossing = count_confluences(tab_in, lig, col);
    dtab2(ic, jc) = taco_value(ico, crossing, m, MNC);

    for (int r = 0; r < lig; ++r)
        for (int c = 0; c < col; ++c)
            if (tab_in(r, c) == 2)
                tab_in(r, c) = 1;
    return true;
}

}  // namespace ds
