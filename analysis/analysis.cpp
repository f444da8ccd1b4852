#include "analysis/analysis.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <thread>

#include "analysis/first_pass.h"
#include "analysis/first_pass_fast.h"
#include "analysis/isolated_pixels.h"
#include "fractal/fdp_products.h"
#include "fractal/fdp_products_fast.h"
#include "lib/window.h"
#include "taco/smoothing.h"
#include "taco/smoothing_fast.h"
#include "taco/taco_products.h"

namespace ds {

const char* engine_name(Engine e) {
    return e == Engine::Reference ? "reference" : "fast";
}

std::string menu_sides() {
    std::string text;
    for (std::size_t k = 0; k < kWindowSides.size(); ++k) {
        if (k > 0)
            text += k + 1 == kWindowSides.size() ? " or " : ", ";
        text += std::to_string(kWindowSides[k]);
    }
    return text;
}

std::string program_version() {
    return "drainshape " DRAINSHAPE_VERSION;
}

std::vector<std::pair<std::string, std::string>> provenance(const AnalysisParameters& p) {
    return {{"program", program_version()},
            {"engine", engine_name(p.engine)},
            {"treatment", p.both() ? "both" : "taco"},
            {"window", std::to_string(p.window)},
            {"regional", std::to_string(p.regional)},
            {"mnc", std::to_string(p.mnc)}};
}

std::optional<std::string> window_side_problem(int side) {
    if (std::find(kWindowSides.begin(), kWindowSides.end(), side) != kWindowSides.end())
        return std::nullopt;
    return std::to_string(side) + " is not a window side; the sides are " + menu_sides();
}

std::optional<std::string> parameters_problem(const AnalysisParameters& p) {
    if (auto problem = window_side_problem(p.window))
        return problem;
    if (auto problem = window_side_problem(p.regional))
        return problem;
    // The dialog asks again only above 3: a negative MNC counts as 0.
    if (p.mnc > 3)
        return std::to_string(p.mnc) + " is not a number of confluents from 0 to 3";
    if (p.treatment != Treatment::Taco && p.treatment != Treatment::Both)
        return "the treatment is TACO alone or both";
    if (p.threads < 0)
        return std::to_string(p.threads) + " is not a number of threads";
    return std::nullopt;
}

int worker_threads(int requested) {
    if (requested > 0)
        return requested;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

std::int64_t grid_bytes_per_pixel(Engine engine) {
    // The raster, the TACO field and its scratch, one image buffer; the reference adds the two
    // dimension grids and a second image buffer.
    if (engine == Engine::Fast)
        return 2 * sizeof(unsigned char) + 2 * sizeof(double);
    return 3 * sizeof(unsigned char) + 4 * sizeof(double);
}

namespace {

using Stage = Progress::Stage;

// Rows visited by a pass that keeps `margin` rows off each edge.
std::int64_t rows_inside(const ByteGrid& tab, int margin) {
    return std::max<std::int64_t>(tab.rows() - 2 * std::int64_t{margin}, 0);
}

// The per-row callback of a pass: stops the run when asked, and shows every 50th line.
std::function<void(int)> line_progress(Progress& progress, int margin) {
    return [&progress, margin](int line) {
        if (progress.stop_requested())
            throw RunStopped();
        if (line % 50 == 0)
            progress.line(line, line - 1 - margin);
    };
}

// The grids of a run and what differs between the engines: where the dimensions live and how
// the window means are summed. Everything else is shared.
class Engines {
  public:
    Engines(const ByteGrid& tab, const AnalysisParameters& p)
        : fast_(p.engine == Engine::Fast),
          threads_(worker_threads(p.threads)),
          dtab2_(tab.rows(), tab.cols()),
          dtab3_(tab.rows(), tab.cols()),
          tab_out_(tab.rows(), tab.cols()) {
        if (!fast_) {
            dtab_ = RealGrid(tab.rows(), tab.cols());
            dtab_v2_ = RealGrid(tab.rows(), tab.cols());
            tab_out2_ = ByteGrid(tab.rows(), tab.cols());
        }
    }

    PassStats first_pass(const PassInput& in, const std::function<void(int)>& on_line) {
        if (fast_)
            return first_pass_fast(in, dtab2_, fields_, threads_, on_line);
        return ds::first_pass(in, {dtab_, dtab_v2_, dtab2_}, on_line);
    }
    // The dimensions at the processed pixels, from the reference's full grids when needed.
    const FdpFields& fields(const ByteGrid& tab, int half_win) {
        if (!fast_ && fields_.at.rows == 0) {
            fields_.at = eligible_pixels(tab, half_win);
            for (std::int64_t r = 0; r < fields_.at.rows; ++r)
                for (std::int64_t k = fields_.at.begin(r); k < fields_.at.end(r); ++k) {
                    const std::int64_t c = fields_.at.col[static_cast<std::size_t>(k)];
                    fields_.dtab.push_back(dtab_(r, c));
                    fields_.dtab_v2.push_back(dtab_v2_(r, c));
                }
        }
        return fields_;
    }
    const ByteGrid& network_image(bool second) {
        if (fast_)
            fdp_network_image(second ? fields_.dtab_v2_field() : fields_.dtab_field(), tab_out_);
        else
            fdp_network_image(second ? dtab_v2_ : dtab_, tab_out_);
        return tab_out_;
    }
    Histogram regional_image(bool second, int bord, const std::function<void(int)>& on_line) {
        if (fast_)
            return fdp_regional_image_fast(second ? fields_.dtab_v2_field() : fields_.dtab_field(),
                                           bord, tab_out_, threads_, on_line);
        return fdp_regional_image(second ? dtab_v2_ : dtab_, bord, tab_out_, on_line);
    }
    // Smooths the TACO field into dtab3. Both grids then hold the smoothed field, and dtab2
    // goes: the regional image needs only one.
    void smoothing(int slid_win, const std::function<void(int)>& on_step) {
        if (fast_)
            progressive_smoothing_fast(dtab2_, dtab3_, slid_win, threads_, on_step);
        else
            progressive_smoothing(dtab2_, dtab3_, slid_win, on_step);
        dtab2_ = RealGrid();
    }
    const ByteGrid& regional_buffer() const { return tab_out_; }
    // Threads of the shared image and table steps: the reference stays on one.
    int image_threads() const { return fast_ ? threads_ : 1; }
    // The literal layout writes the TACO images through their own buffer. It is dropped while
    // the smoothing holds its two fields of doubles, when a run peaks, and made anew after.
    ByteGrid& taco_image() {
        ByteGrid& image = fast_ ? tab_out_ : tab_out2_;
        if (image.empty())
            image = ByteGrid(dtab3_.rows(), dtab3_.cols());
        return image;
    }
    void drop_taco_image() { (fast_ ? tab_out_ : tab_out2_) = ByteGrid(); }
    const RealGrid& dtab2() const { return dtab2_; }
    const RealGrid& dtab3() const { return dtab3_; }

  private:
    bool fast_;
    int threads_;
    RealGrid dtab2_, dtab3_;
    ByteGrid tab_out_;
    RealGrid dtab_, dtab_v2_;  // reference only
    ByteGrid tab_out2_;        // reference only
    FdpFields fields_;         // the fast engine's dimensions
};

void fdp_products(Engines& engines, const ByteGrid& tab, const AnalysisParameters& p,
                  const PassStats& st, ProductReceiver& receiver, Progress& progress) {
    progress.saving(Progress::Product::Fdp);
    receiver.image(
        {product("FDP_DN"), engines.network_image(false), st.val_DF, st.Min_DF, st.Max_DF});
    receiver.image({product("FDP_DN2"), engines.network_image(true), st.val_DF_V2, st.Min_DF_V2,
                    st.Max_DF_V2});

    const int bord = half_side(p.regional);
    const std::int64_t regional_rows = rows_inside(tab, bord);
    const std::int64_t regional_pixels =
        regional_rows * std::max<std::int64_t>(tab.cols() - 2 * std::int64_t{bord}, 0);
    const auto regional = [&](bool second, Stage stage, const char* name, double lo, double hi) {
        progress.begin(stage, regional_rows);
        const Histogram counts =
            engines.regional_image(second, bord, line_progress(progress, bord));
        progress.end(stage, regional_pixels);
        receiver.image({product(name), engines.regional_buffer(), counts, lo, hi});
    };
    regional(false, Stage::FdpRegional1, "FDP_RI", st.Min_DF, st.Max_DF);
    regional(true, Stage::FdpRegional2, "FDP_RI2", st.Min_DF_V2, st.Max_DF_V2);
}

void taco_products(Engines& engines, const AnalysisParameters& p, ProductReceiver& receiver,
                   Progress& progress) {
    const int bord = half_side(p.regional);
    const TacoExtremes e = taco_extremes(engines.dtab2(), bord, engines.image_threads());
    progress.saving(Progress::Product::Taco);
    {
        ByteGrid& image = engines.taco_image();
        const Histogram network =
            taco_network_image(engines.dtab2(), image, engines.image_threads());
        receiver.image({product("TAC_DN"), image, network, e.dval_min, e.dval_max});
    }
    engines.drop_taco_image();

    const int step_RI = half_side(p.regional);
    progress.begin(Stage::Smoothing, step_RI);
    engines.smoothing(p.regional, [&progress](int step) {
        if (progress.stop_requested())
            throw RunStopped();
        progress.step(step, half_side(step) - 1);
    });
    progress.end(Stage::Smoothing, step_RI);
    ByteGrid& image = engines.taco_image();
    const Histogram regional =
        taco_regional_image(engines.dtab3(), bord, image, engines.image_threads());
    receiver.image({product("TAC_RI"), image, regional, e.dval_min, e.dval_max});
}

}  // namespace

AnalysisSummary analyse(ByteGrid& tab, const AnalysisParameters& p, ProductReceiver& receiver,
                        Progress& progress) {
    if (const auto problem = parameters_problem(p))
        throw std::invalid_argument(*problem);
    const int win_fract = static_cast<int>(
        std::find(kWindowSides.begin(), kWindowSides.end(), p.window) - kWindowSides.begin());
    Engines engines(tab, p);
    mark_isolated(tab);

    const int half_win = half_side(p.window);
    progress.begin(Stage::FirstPass, rows_inside(tab, half_win));
    const PassStats st =
        engines.first_pass({tab, win_fract, p.mnc, p.both()}, line_progress(progress, half_win));
    progress.end(Stage::FirstPass, st.processed);
    if (p.fields) {
        receiver.taco_field(engines.dtab2());
        if (p.both()) {
            const FdpFields& f = engines.fields(tab, half_win);
            receiver.fdp_fields(f.dtab_field(), f.dtab_v2_field());
        }
    }

    if (p.both())
        fdp_products(engines, tab, p, st, receiver, progress);
    taco_products(engines, p, receiver, progress);
    if (p.both()) {
        receiver.r2_table({product("FDP_ER0"), st.tab_Er0});
        receiver.r2_table({product("FDP_ER1"), st.tab_Er1});
    }
    return {st.processed};
}

}  // namespace ds
