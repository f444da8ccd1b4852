// The steps of an analysis, written once: a whole raster is the one strip of a run whose
// exchange has nothing to share, and works on the raster in place.
#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#include "analysis/analysis.h"
#include "analysis/engine.h"
#include "analysis/isolated_pixels.h"
#include "analysis/strip.h"
#include "lib/window.h"
#include "taco/taco_products.h"

namespace ds {

RowRange strip_rows(std::int64_t nb_lig, int k, int strips) {
    return {nb_lig * k / strips, nb_lig * (k + 1) / strips};
}

RowRange rows_around(RowRange own, std::int64_t halo, std::int64_t nb_lig) {
    return {std::max<std::int64_t>(own.begin - halo, 0), std::min(own.end + halo, nb_lig)};
}

namespace {

using Stage = Progress::Stage;

// The rows that the grids of each stage hold.
struct StageRows {
    RowRange read;       // the raster rows read, for the isolated pixels of the pass's rows
    RowRange pass;       // the first pass's grids
    RowRange regional;   // the FDP regional images
    RowRange smoothing;  // the smoothing's grids: the rows its largest step reads
};

StageRows stage_rows(const StripPlan& plan, const AnalysisParameters& p) {
    const int half_window = half_side(p.window);
    const int half_regional = half_side(p.regional);
    return {rows_around(plan.own, half_window + 1, plan.nb_lig),
            rows_around(plan.own, half_window, plan.nb_lig),
            rows_around(plan.own, half_regional, plan.nb_lig),
            rows_around(plan.own, half_regional, plan.nb_lig)};
}

// Bytes of the grids at the peak of each stage: the pass (the raster's rows, the TACO values and
// the dense dimensions), the FDP images (with the dimensions' shared copy), the start of the
// smoothing (the pass's values beside the first smoothing grid, unless it is that grid), and the
// smoothing (two grids; the image is dropped meanwhile). A raster analysed in place is held
// throughout.
std::int64_t model_bytes(const StripPlan& plan, const AnalysisParameters& p, bool in_place,
                         const AnalysisEngine& engine) {
    const StageRows rows = stage_rows(plan, p);
    const std::int64_t pass = rows.pass.size();
    const std::int64_t regional = rows.regional.size();
    const std::int64_t smoothing = rows.smoothing.size();
    const std::int64_t held = in_place ? plan.nb_lig : 0;
    const std::int64_t raster = in_place ? held : rows.read.size() + pass;
    // The reference's pass fills its dimension grids whatever the treatment.
    const std::int64_t dims = engine.dimension_bytes();
    const bool alone = plan.own.begin == 0 && plan.own.end == plan.nb_lig;
    const std::int64_t shared = p.both() && !alone ? engine.shared_dimension_bytes() : 0;
    const std::int64_t values = static_cast<std::int64_t>(sizeof(double));
    const std::int64_t fdp =
        p.both() ? held + pass * (values + dims) + std::max(pass, regional) + regional * shared : 0;
    const std::int64_t bytes =
        std::max({raster + pass * (values + dims), fdp,
                  held + pass * values + (rows.smoothing == rows.pass ? 0 : smoothing * values),
                  held + smoothing * 2 * values});
    return bytes * plan.nb_col;
}

// The analysis of one strip, from its rows to its share of every product.
class Pipeline {
  public:
    Pipeline(const StripPlan& plan, const AnalysisParameters& p, StripExchange& exchange,
             StripReceiver& receiver, Progress& progress)
        : plan_(plan),
          p_(p),
          rows_(stage_rows(plan, p)),
          exchange_(exchange),
          receiver_(receiver),
          progress_(progress),
          engine_(make_engine(p.engine, worker_threads(p.threads))),
          half_window_(half_side(p.window)),
          half_regional_(half_side(p.regional)) {}

    // `raster`: the whole raster, analysed in place; else the strip's rows are read.
    AnalysisSummary run(ByteGrid* raster, const RowReader& read) {
        const PassStats st = first_pass(raster, read);
        if (p_.both())
            fdp_products(st);
        else
            engine_->drop_dimensions();
        taco_products();
        if (p_.both()) {
            receiver_.r2_table({product("FDP_ER0"), st.tab_Er0});
            receiver_.r2_table({product("FDP_ER1"), st.tab_Er1});
        }
        return {st.processed};
    }

  private:
    StripRows strip_rows_of(RowRange grid) const {
        return {grid.begin, plan_.nb_lig, plan_.own, exchange_.alone()};
    }

    void check_stop() {
        if (progress_.stop_requested())
            throw RunStopped();
    }

    // The per-row callback of a pass over the grid rows from `first` on: stops the run when
    // asked and shows every 50th raster line.
    LineCallback on_line(std::int64_t first, int margin) {
        return [this, first, margin](int line) {
            check_stop();
            const std::int64_t global = first + line;
            if (global % 50 == 0)
                progress_.line(static_cast<int>(global),
                               global - 1 - std::max<std::int64_t>(plan_.own.begin, margin));
        };
    }

    // Rows of the strip inside a margin of `margin` rows, counted from `first`.
    RowRange inside(int margin, std::int64_t first) const {
        return common_rows(plan_.own, {margin, plan_.nb_lig - margin}).from(first);
    }

    // The image buffer, of `rows` rows of the raster's width: reused while its size fits.
    ByteGrid& image(std::int64_t rows) {
        if (image_.rows() != rows || image_.cols() != plan_.nb_col)
            image_ = ByteGrid(rows, plan_.nb_col);
        return image_;
    }

    // The rows of the first pass, with the isolated pixels marked as in the whole raster: a
    // mark depends on the 8 neighbours, so a strip reads one more row on each side.
    ByteGrid marked_rows(const RowReader& read) {
        ByteGrid raw(rows_.read.size(), plan_.nb_col);
        read(rows_.read, raw);
        mark_isolated(raw);
        ByteGrid tab(rows_.pass.size(), plan_.nb_col);
        copy_rows(raw, rows_.read.begin, tab, rows_.pass.begin, rows_.pass);
        return tab;
    }

    PassStats first_pass(ByteGrid* raster, const RowReader& read) {
        ByteGrid strip;
        if (raster)
            mark_isolated(*raster);
        else
            strip = marked_rows(read);
        const ByteGrid& tab = raster ? *raster : strip;
        taco_ = RealGrid(rows_.pass.size(), plan_.nb_col);
        progress_.begin(Stage::FirstPass, inside(half_window_, 0).size());
        const PassStats st = engine_->first_pass({tab, p_.window, p_.mnc, p_.both()}, taco_,
                                                 on_line(rows_.pass.begin, half_window_));
        progress_.end(Stage::FirstPass, st.processed);
        if (p_.fields) {
            receiver_.taco_field(taco_, rows_.pass.begin);
            if (p_.both()) {
                const FdpFields& f = engine_->dimensions(tab, half_window_);
                receiver_.fdp_fields(f.field(false), f.field(true), rows_.pass.begin);
                receiver_.r2_fields(f.r2_field(false), f.r2_field(true), rows_.pass.begin);
            }
        }
        return st;
    }

    void fdp_products(const PassStats& st) {
        progress_.saving(Progress::Product::Fdp);
        for (const bool second : {false, true}) {
            ByteGrid& out = image(rows_.pass.size());
            engine_->network_image(second, out);
            receiver_.image({product(second ? "FDP_DN2" : "FDP_DN"), out, rows_.pass.begin,
                             second ? st.val_DF_V2 : st.val_DF, second ? st.Min_DF_V2 : st.Min_DF,
                             second ? st.Max_DF_V2 : st.Max_DF});
        }

        const StripRows pass = strip_rows_of(rows_.pass);
        engine_->share_dimensions(pass, rows_.regional, exchange_);
        const std::int64_t computed = inside(half_regional_, 0).size() *
                                      std::max<std::int64_t>(plan_.nb_col - 2 * half_regional_, 0);
        for (const bool second : {false, true}) {
            const Stage stage = second ? Stage::FdpRegional2 : Stage::FdpRegional1;
            ByteGrid& out = image(rows_.regional.size());
            const bool keep = p_.fields && p_.regional_fields;
            FloatGrid dimensions = keep ? FloatGrid(out.rows(), out.cols()) : FloatGrid();
            progress_.begin(stage, inside(half_regional_, 0).size());
            const Histogram counts = engine_->regional_image(
                second, half_regional_, rows_.regional.begin, pass, exchange_, out,
                on_line(rows_.regional.begin, half_regional_), keep ? &dimensions : nullptr);
            progress_.end(stage, computed);
            if (keep)
                receiver_.fdp_regional_field(second, dimensions, rows_.regional.begin);
            receiver_.image({product(second ? "FDP_RI2" : "FDP_RI"), out, rows_.regional.begin,
                             counts, second ? st.Min_DF_V2 : st.Min_DF,
                             second ? st.Max_DF_V2 : st.Max_DF});
        }
        engine_->drop_dimensions();
    }

    void taco_products() {
        // The smoothing starts from the pass's values, moved when the grids hold the same rows.
        RealGrid a;
        if (rows_.smoothing == rows_.pass) {
            a = std::move(taco_);
        } else {
            a = RealGrid(rows_.smoothing.size(), plan_.nb_col);
            copy_rows(taco_, rows_.pass.begin, a, rows_.smoothing.begin, plan_.own);
        }
        taco_ = RealGrid();

        const int threads = engine_->shared_threads();
        const RowRange margin = inside(half_regional_, rows_.smoothing.begin);
        const TacoExtremes e = taco_extremes(a, half_regional_, margin, threads);
        progress_.saving(Progress::Product::Taco);
        {
            ByteGrid& out = image(rows_.smoothing.size());
            const Histogram network = taco_network_image(a, out, threads);
            receiver_.image({product("TAC_DN"), out, rows_.smoothing.begin, network, e.min, e.max});
        }
        // The smoothing holds two fields of doubles, when a run peaks: the image goes meanwhile.
        image_ = ByteGrid();

        RealGrid b(rows_.smoothing.size(), plan_.nb_col);
        const int steps = half_regional_;
        progress_.begin(Stage::Smoothing, steps);
        RealGrid& smoothed = engine_->smoothing(a, b, strip_rows_of(rows_.smoothing), p_.regional,
                                                exchange_, [this](int side) {
                                                    check_stop();
                                                    progress_.step(side, half_side(side) - 1);
                                                });
        progress_.end(Stage::Smoothing, steps);
        (&smoothed == &a ? b : a) = RealGrid();
        if (p_.fields)
            receiver_.taco_regional_field(smoothed, rows_.smoothing.begin);

        ByteGrid& out = image(rows_.smoothing.size());
        const Histogram regional =
            taco_regional_image(smoothed, half_regional_, out, margin, threads);
        receiver_.image({product("TAC_RI"), out, rows_.smoothing.begin, regional, e.min, e.max});
    }

    const StripPlan plan_;
    const AnalysisParameters p_;
    const StageRows rows_;
    StripExchange& exchange_;
    StripReceiver& receiver_;
    Progress& progress_;
    std::unique_ptr<AnalysisEngine> engine_;
    const int half_window_;
    const int half_regional_;
    RealGrid taco_;   // the TACO values of the pass
    ByteGrid image_;  // the buffer of the images, one at a time
};

// The products of the one strip of a whole raster, handed on as whole images.
class WholeRaster final : public StripReceiver {
  public:
    explicit WholeRaster(ProductReceiver& to) : to_(to) {}
    void image(const StripImage& p) override {
        to_.image({p.info, p.image, p.counts, p.min, p.max});
    }
    void r2_table(const R2Product& p) override { to_.r2_table(p); }
    void taco_field(const RealGrid& taco, std::int64_t) override { to_.taco_field(taco); }
    void fdp_fields(const SparseField& dimension, const SparseField& dimension2,
                    std::int64_t) override {
        to_.fdp_fields(dimension, dimension2);
    }
    void r2_fields(const SparseField& r2, const SparseField& r2_2, std::int64_t) override {
        to_.r2_fields(r2, r2_2);
    }
    void fdp_regional_field(bool second, const FloatGrid& dimensions, std::int64_t) override {
        to_.fdp_regional_field(second, dimensions);
    }
    void taco_regional_field(const RealGrid& smoothed, std::int64_t) override {
        to_.taco_regional_field(smoothed);
    }

  private:
    ProductReceiver& to_;
};

void check_plan(const StripPlan& plan, const AnalysisParameters& p) {
    if (const auto problem = parameters_problem(p))
        throw std::invalid_argument(*problem);
    if (plan.own.empty() || plan.own.begin < 0 || plan.own.end > plan.nb_lig || plan.nb_col <= 0)
        throw std::invalid_argument("a strip holds at least one row of the raster");
}

}  // namespace

std::int64_t grid_bytes_per_pixel(Engine engine) {
    AnalysisParameters p;
    p.engine = engine;
    return model_bytes({1, 1, {0, 1}}, p, true, *make_engine(engine, 1));
}

std::int64_t strip_grid_bytes(const StripPlan& plan, const AnalysisParameters& p) {
    return model_bytes(plan, p, false, *make_engine(p.engine, 1));
}

AnalysisSummary analyse(ByteGrid& tab, const AnalysisParameters& p, ProductReceiver& receiver,
                        Progress& progress) {
    if (tab.empty())
        throw std::invalid_argument("the raster holds no pixel");
    const StripPlan plan{tab.rows(), tab.cols(), {0, tab.rows()}};
    check_plan(plan, p);
    NoExchange alone;
    WholeRaster whole(receiver);
    return Pipeline(plan, p, alone, whole, progress).run(&tab, {});
}

AnalysisSummary analyse_strip(const StripPlan& plan, const AnalysisParameters& p,
                              const RowReader& read, StripExchange& exchange,
                              StripReceiver& receiver, Progress& progress) {
    check_plan(plan, p);
    return Pipeline(plan, p, exchange, receiver, progress).run(nullptr, read);
}

}  // namespace ds
