#include "taco/trace.h"

#include <cassert>

namespace ds {

namespace {

// First position around (ideb, jdeb), row by row and column by column, that may be entered
// and still holds 1. Row 0 and column 0 are never entered; the last row and column are.
bool next_neighbour(const ByteGrid& tab_prov, int m, int ideb, int jdeb, int& ii, int& jj) {
    for (int r = ideb - 1; r <= ideb + 1; ++r) {
        for (int c = jdeb - 1; c <= jdeb + 1; ++c) {
            if (r <= 0 || r >= m || c <= 0 || c >= m)
                continue;
            if (tab_prov(r, c) != 1)
                continue;
            ii = r;
            jj = c;
            return true;
        }
    }
    return false;
}

}  // namespace

int suiv_formes(Window& w) {
    const int m = w.win_size;
    ByteGrid& tab_prov = w.tab_prov;
    IntGrid& itab = w.itab;
    std::vector<int>& coord_y = w.coord_y;
    std::vector<int>& coord_x = w.coord_x;
    assert(tab_prov.rows() == m && tab_prov.cols() == m);
    assert(itab.rows() == m && itab.cols() == m);
    // A trace holds at most 1 + (m-1)^2 pixels, listed from entry 1 on.
    assert(coord_y.size() >= static_cast<std::size_t>(m) * m && coord_x.size() == coord_y.size());

    int num = 0;
    // Seeds: rows and columns 0 to m-2; the last row and column never start a trace.
    for (int i = 0; i < m - 1; ++i) {
        for (int j = 0; j < m - 1; ++j) {
            if (tab_prov(i, j) != 1)
                continue;

            int n = 1;
            coord_y[1] = i;
            coord_x[1] = j;
            tab_prov(i, j) = 0;
            int ideb = i;
            int jdeb = j;
            int k = 0;
            for (;;) {
                int ii = 0;
                int jj = 0;
                if (next_neighbour(tab_prov, m, ideb, jdeb, ii, jj)) {
                    ++n;
                    coord_y[n] = ii;
                    coord_x[n] = jj;
                    tab_prov(ii, jj) = 0;
                    ideb = ii;
                    jdeb = jj;
                    k = 0;
                    continue;
                }
                // Dead end: go back one entry further from the newest one.
                ++k;
                if (k >= n)
                    break;
                const int nk = n - k;
                ideb = coord_y[nk];
                jdeb = coord_x[nk];
            }

            const int size = n == 1 ? 0 : n;
            if (size < w.MinLab || size > w.MaxLab)
                continue;
            ++num;
            for (int e = 1; e <= n; ++e)
                itab(coord_y[e], coord_x[e]) = num;
        }
    }
    return num;
}

}  // namespace ds
