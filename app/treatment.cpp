#include "app/treatment.h"

#include <algorithm>
#include <cstdint>
#include <functional>

#include <thread>
#include "io/formats.h"

#include "analysis/first_pass.h"
#include "analysis/first_pass_fast.h"
#include "fractal/fdp_products.h"
#include "fractal/fdp_products_fast.h"
#include "lib/window.h"
#include "taco/smoothing.h"
#include "taco/smoothing_fast.h"
#include "taco/taco_products.h"

namespace ds {

namespace {

using Stage = Progress::Stage;

// Rows visited by a pass that keeps `margin` rows off each edge.
std::int64_t rows_inside(const RunState& s, int margin) {
    return std::max<std::int64_t>(s.nb_lig - 2 * std::int64_t{margin}, 0);
}

// The progress of a pass over the rows from `margin` on: the callback gets i + 1 as row i starts.
std::function<void(int)> line_progress(Progress& progress, int margin) {
    return [&progress, margin](int line) { progress.line(line, line - 1 - margin); };
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

// What differs between the engines: where the dimensions live and how the window means are
// summed. Everything else, formats included, is shared.
struct EngineOps {
    RunState& s;
    bool fast;
    int threads;
    FdpFields fields;  // the fast engine's dimensions, kept at the processed pixels only

    PassStats first_pass(const PassInput& in, const std::function<void(int)>& on_line) {
        if (fast)
            return first_pass_fast(in, s.dtab2, fields, threads, on_line);
        return ds::first_pass(in, {s.dtab, s.dtab_v2, s.dtab2}, on_line);
    }
    void network_image(bool second, ByteGrid& out) const {
        if (fast)
            fdp_network_image(second ? fields.dtab_v2_field() : fields.dtab_field(), out);
        else
            fdp_network_image(second ? s.dtab_v2 : s.dtab, out);
    }
    Histogram regional_image(bool second, ByteGrid& out, const std::function<void(int)>& on_line) {
        if (fast)
            return fdp_regional_image_fast(second ? fields.dtab_v2_field() : fields.dtab_field(),
                                           s.bord, out, threads, on_line);
        return fdp_regional_image(second ? s.dtab_v2 : s.dtab, s.bord, out, on_line);
    }
    void smoothing(const std::function<void(int)>& on_step) {
        if (fast)
            progressive_smoothing_fast(s.dtab2, s.dtab3, s.slid_win, threads, on_step);
        else
            progressive_smoothing(s.dtab2, s.dtab3, s.slid_win, on_step);
    }
    // The fast engine writes every image through one buffer.
    ByteGrid& taco_image() { return fast ? s.tab_out : s.tab_out2; }
};

int worker_threads(int requested) {
    if (requested > 0)
        return requested;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void fdp_products(EngineOps& engine, const PassStats& st, Progress& progress) {
    RunState& s = engine.s;
    FileSet& F = s.files;
    close_with_extremes(F.f2d, write_fdp_extremes, st.Min_DF, st.Max_DF);
    close_with_extremes(F.f4d, write_fdp_extremes, st.Min_DF, st.Max_DF);
    close_with_extremes(F.f6d, write_fdp_extremes, st.Min_DF_V2, st.Max_DF_V2);
    close_with_extremes(F.f7d, write_fdp_extremes, st.Min_DF_V2, st.Max_DF_V2);
    progress.saving(Progress::Product::Fdp);

    write_fdp_table(F.f4x, st.val_DF, st.Min_DF, st.Max_DF);
    F.f4x.close();
    write_fdp_table(F.f6x, st.val_DF_V2, st.Min_DF_V2, st.Max_DF_V2);
    F.f6x.close();
    engine.network_image(false, s.tab_out);
    save_image(F.f4, s.tab_out);
    engine.network_image(true, s.tab_out);
    save_image(F.f6, s.tab_out);

    const std::int64_t regional_rows = rows_inside(s, s.bord);
    const std::int64_t regional_pixels =
        regional_rows * std::max<std::int64_t>(s.nb_col - 2 * std::int64_t{s.bord}, 0);
    progress.begin(Stage::FdpRegional1, regional_rows);
    Histogram regional = engine.regional_image(false, s.tab_out, line_progress(progress, s.bord));
    progress.end(Stage::FdpRegional1, regional_pixels);
    save_image(F.f2, s.tab_out);
    write_fdp_table(F.f2x, regional, st.Min_DF, st.Max_DF);
    F.f2x.close();

    progress.begin(Stage::FdpRegional2, regional_rows);
    regional = engine.regional_image(true, s.tab_out, line_progress(progress, s.bord));
    progress.end(Stage::FdpRegional2, regional_pixels);
    save_image(F.f7, s.tab_out);
    write_fdp_table(F.f7x, regional, st.Min_DF_V2, st.Max_DF_V2);
    F.f7x.close();
}

void taco_products(EngineOps& engine, Progress& progress) {
    RunState& s = engine.s;
    FileSet& F = s.files;
    ByteGrid& image = engine.taco_image();
    const TacoExtremes e = taco_extremes(s.dtab2, s.bord);
    close_with_extremes(F.f3d, write_taco_extremes, e.dval_min, e.dval_max);
    close_with_extremes(F.f5d, write_taco_extremes, e.dval_min, e.dval_max);
    progress.saving(Progress::Product::Taco);

    const Histogram network = taco_network_image(s.dtab2, image);
    save_image(F.f3, image);
    write_taco_table(F.f3x, network);
    F.f3x.close();

    const int step_RI = half_side(s.slid_win);
    progress.begin(Stage::Smoothing, step_RI);
    engine.smoothing([&progress](int step) { progress.step(step, half_side(step) - 1); });
    progress.end(Stage::Smoothing, step_RI);
    const Histogram regional = taco_regional_image(s.dtab3, s.bord, image);
    save_image(F.f5, image);
    write_taco_table(F.f5x, regional);
    F.f5x.close();
}

}  // namespace

void treatment(RunState& s, Progress& progress) {
    const bool fdp = s.TACO_Solo == 1;
    EngineOps engine{s, s.engine == Engine::Fast, worker_threads(s.threads), {}};
    engine.taco_image().fill(0);
    const int half_win = half_side(s.win_size);
    progress.begin(Stage::FirstPass, rows_inside(s, half_win));
    const PassStats st =
        engine.first_pass({s.tab, s.win_fract, s.MNC, fdp}, line_progress(progress, half_win));
    progress.end(Stage::FirstPass, st.processed);
    if (fdp)
        fdp_products(engine, st, progress);
    taco_products(engine, progress);
    if (fdp) {
        write_r2_table(s.files.f_0x, st.tab_Er0);
        s.files.f_0x.close();
        write_r2_table(s.files.f_1x, st.tab_Er1);
        s.files.f_1x.close();
    }
}

}  // namespace ds
