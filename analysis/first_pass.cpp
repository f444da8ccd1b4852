#include "analysis/first_pass.h"

#include "fractal/box_count.h"
#include "lib/window.h"
#include "taco/taco_value.h"
#include "taco/trace.h"

namespace ds {

namespace {

void clear_window(Window& w) {
    const int m = w.win_size;
    w.tab_prov.fill(0);
    w.itab.fill(0);
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c)
            w.tab_fract(r, c) = 0;
}

}  // namespace

void select_branch(Window& w, const ByteGrid& tab, std::int64_t i, std::int64_t j) {
    const int m = w.win_size;
    const int half_win = half_side(m);
    clear_window(w);
    for (int k = 0; k < m; ++k)
        for (int l = 0; l < m; ++l)
            if (tab(i - half_win + k, j - half_win + l) == 1)
                w.tab_prov(k, l) = 1;
    suiv_formes(w);
    const int val_code = w.itab(w.ic, w.jc);
    for (int k = 0; k < m; ++k)
        for (int l = 0; l < m; ++l)
            if (w.itab(k, l) == val_code)
                w.tab_fract(k, l) = 1;
}

double record_dimension(double v, double& lo, double& hi, Histogram& bins) {
    if (lo > v)
        lo = v;
    if (hi < v)
        hi = v;
    const double cell = v * 100;
    count_bin(bins, image_value(cell));
    return cell;
}

PassStats first_pass(const PassInput& in, const PassOutput& out,
                     const std::function<void(int line)>& on_line) {
    const int win_size = in.window;
    const int half_win = half_side(win_size);
    const std::int64_t nb_lig = in.tab.rows();
    const std::int64_t nb_col = in.tab.cols();
    out.dtab.fill(0.0);
    out.dtab_v2.fill(0.0);
    out.dtab2.fill(0.0);

    PassStats st;
    Window w(win_size);
    for (std::int64_t i = half_win; i < nb_lig - half_win; ++i) {
        if (on_line)
            on_line(static_cast<int>(i + 1));
        for (std::int64_t j = half_win; j < nb_col - half_win; ++j) {
            if (in.tab(i, j) != 1)
                continue;
            ++st.processed;
            select_branch(w, in.tab, i, j);
            New_Vosmek_Treatment(w, static_cast<int>(i), static_cast<int>(j), in.mnc, out.dtab2);
            if (!in.fdp)
                continue;
            const FractResult r = Fract_Explor(w.tab_fract, win_size, st.tab_Er0, st.tab_Er1);
            out.dtab(i, j) = record_dimension(r.DF, st.Min_DF, st.Max_DF, st.val_DF);
            out.dtab_v2(i, j) = record_dimension(r.DF_V2, st.Min_DF_V2, st.Max_DF_V2, st.val_DF_V2);
            if (out.r2 != nullptr)
                out.r2->push_back(r.ER_0);
            if (out.r2_v2 != nullptr)
                out.r2_v2->push_back(r.ER_1);
        }
    }
    return st;
}

}  // namespace ds
