#include "app/treatment.h"

#include <cstdio>

#include "app/formats.h"
#include "fractal/fdp_products.h"
#include "fractal/first_pass.h"
#include "taco/smoothing.h"
#include "taco/taco_products.h"

namespace ds {

namespace {

void show(std::ostream& console, const char* text) {
    console << text << std::flush;
}

// "\t\tline %d               \r " every 50 lines of a pass.
std::function<void(int)> line_progress(std::ostream& console) {
    return [&console](int line) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "\t\tline %d               \r ", line);
        show(console, buf);
    };
}

void close_with_extremes(OutFile& f, void (*write)(OutFile&, double, double), double lo,
                         double hi) {
    write(f, lo, hi);
    f.close();
}

void save_image(OutFile& f, const ByteGrid& image) {
    write_image(f, image);
    f.close();
}

void fdp_products(RunState& s, const PassStats& st, std::ostream& console) {
    FileSet& F = s.files;
    close_with_extremes(F.f2d, write_fdp_extremes, st.Min_DF, st.Max_DF);
    close_with_extremes(F.f4d, write_fdp_extremes, st.Min_DF, st.Max_DF);
    close_with_extremes(F.f6d, write_fdp_extremes, st.Min_DF_V2, st.Max_DF_V2);
    close_with_extremes(F.f7d, write_fdp_extremes, st.Min_DF_V2, st.Max_DF_V2);
    show(console, "\n\n\tSaving Fractal Dimension\n");

    write_fdp_table(F.f4x, st.val_DF, st.Min_DF, st.Max_DF);
    F.f4x.close();
    write_fdp_table(F.f6x, st.val_DF_V2, st.Min_DF_V2, st.Max_DF_V2);
    F.f6x.close();
    fdp_network_image(s.dtab, s.tab_out);
    save_image(F.f4, s.tab_out);
    fdp_network_image(s.dtab_v2, s.tab_out);
    save_image(F.f6, s.tab_out);

    show(console, "\n\tRegional calculation of first type\n");
    Histogram regional = fdp_regional_image(s.dtab, s.bord, s.tab_out, line_progress(console));
    save_image(F.f2, s.tab_out);
    write_fdp_table(F.f2x, regional, st.Min_DF, st.Max_DF);
    F.f2x.close();

    show(console, "\n\n\tRegional calculation of second type \n");
    regional = fdp_regional_image(s.dtab_v2, s.bord, s.tab_out, line_progress(console));
    save_image(F.f7, s.tab_out);
    write_fdp_table(F.f7x, regional, st.Min_DF_V2, st.Max_DF_V2);
    F.f7x.close();
}

void taco_products(RunState& s, std::ostream& console) {
    FileSet& F = s.files;
    const TacoExtremes e = taco_extremes(s.dtab2, s.bord);
    close_with_extremes(F.f3d, write_taco_extremes, e.dval_min, e.dval_max);
    close_with_extremes(F.f5d, write_taco_extremes, e.dval_min, e.dval_max);
    show(console, "\n\n\tSaving TACO Parameter\n");

    const Histogram network = taco_network_image(s.dtab2, s.tab_out2);
    save_image(F.f3, s.tab_out2);
    write_taco_table(F.f3x, network);
    F.f3x.close();

    show(console, "n");
    progressive_smoothing(s.dtab2, s.dtab3, s.slid_win, [&console](int step) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "\t\tStep = %d           \r", step);
        show(console, buf);
    });
    const Histogram regional = taco_regional_image(s.dtab3, s.bord, s.tab_out2);
    save_image(F.f5, s.tab_out2);
    write_taco_table(F.f5x, regional);
    F.f5x.close();
}

}  // namespace

void treatment(RunState& s, std::ostream& console) {
    const bool fdp = s.TACO_Solo == 1;
    s.tab_out2.fill(0);
    show(console, "\n\tFirst Calculation\n\n");
    const PassStats st = first_pass({s.tab, s.win_fract, s.MNC, fdp}, {s.dtab, s.dtab_v2, s.dtab2},
                                    line_progress(console));
    if (fdp)
        fdp_products(s, st, console);
    taco_products(s, console);
    if (fdp) {
        write_r2_table(s.files.f_0x, st.tab_Er0);
        s.files.f_0x.close();
        write_r2_table(s.files.f_1x, st.tab_Er1);
        s.files.f_1x.close();
    }
}

}  // namespace ds
