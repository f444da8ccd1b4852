#include "analysis/strip.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

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

RowRange strip_rows(std::int64_t nb_lig, int k, int strips) {
    return {nb_lig * k / strips, nb_lig * (k + 1) / strips};
}

RowRange rows_around(RowRange own, std::int64_t halo, std::int64_t nb_lig) {
    return {std::max<std::int64_t>(own.begin - halo, 0), std::min(own.end + halo, nb_lig)};
}

namespace {

using Stage = Progress::Stage;

bool fast(const AnalysisParameters& p) {
    return p.engine == Engine::Fast;
}

// The rows that the smoothing grids hold: those that the largest step reads.
RowRange smoothing_extent(const StripPlan& plan, const AnalysisParameters& p) {
    return rows_around(plan.own, half_side(p.regional), plan.nb_lig);
}

// Copies rows `rows` of the raster from `from` (holding rows from `from_first` on) into `to`
// (holding rows from `to_first` on).
template <class T>
void copy_rows(const Grid<T>& from, std::int64_t from_first, Grid<T>& to, std::int64_t to_first,
               RowRange rows) {
    for (std::int64_t r = rows.begin; r < rows.end; ++r) {
        const auto src = from.row(r - from_first);
        std::copy(src.begin(), src.end(), to.row(r - to_first).begin());
    }
}

// The dimensions of rows `rows` of `f` (holding rows from `first` on): per row its count, then
// the columns, the first and the second dimensions.
std::vector<unsigned char> pack_fields(const FdpFields& f, std::int64_t first, RowRange rows) {
    const std::int64_t b = f.at.begin(rows.begin - first);
    const std::int64_t e = f.at.begin(rows.end - first);
    const auto n = static_cast<std::size_t>(e - b);
    std::vector<unsigned char> out(static_cast<std::size_t>(rows.size()) * sizeof(std::int64_t) +
                                   n * (sizeof(std::int32_t) + 2 * sizeof(double)));
    unsigned char* p = out.data();
    const auto put = [&p](const void* data, std::size_t bytes) {
        if (bytes > 0)
            std::memcpy(p, data, bytes);
        p += bytes;
    };
    for (std::int64_t r = rows.begin; r < rows.end; ++r) {
        const std::int64_t count = f.at.end(r - first) - f.at.begin(r - first);
        put(&count, sizeof count);
    }
    const auto ub = static_cast<std::size_t>(b);
    put(f.at.col.data() + ub, n * sizeof(std::int32_t));
    put(f.dtab.data() + ub, n * sizeof(double));
    put(f.dtab_v2.data() + ub, n * sizeof(double));
    return out;
}

// Appends the rows packed by pack_fields to `f`.
void append_fields(FdpFields& f, std::int64_t rows, const std::vector<unsigned char>& bytes) {
    const unsigned char* p = bytes.data();
    const auto get = [&p](void* data, std::size_t size) {
        if (size > 0)
            std::memcpy(data, p, size);
        p += size;
    };
    std::size_t n = 0;
    for (std::int64_t r = 0; r < rows; ++r) {
        std::int64_t count = 0;
        get(&count, sizeof count);
        n += static_cast<std::size_t>(count);
        f.at.row_start.push_back(f.at.row_start.back() + count);
    }
    const std::size_t at = f.at.col.size();
    f.at.col.resize(at + n);
    f.dtab.resize(at + n);
    f.dtab_v2.resize(at + n);
    get(f.at.col.data() + at, n * sizeof(std::int32_t));
    get(f.dtab.data() + at, n * sizeof(double));
    get(f.dtab_v2.data() + at, n * sizeof(double));
    f.at.rows += rows;
}

class StripRun {
  public:
    StripRun(const StripPlan& plan, const AnalysisParameters& p, StripExchange& exchange,
             StripReceiver& receiver, Progress& progress)
        : plan_(plan),
          p_(p),
          exchange_(exchange),
          receiver_(receiver),
          progress_(progress),
          threads_(worker_threads(p.threads)),
          half_win_(half_side(p.window)),
          bord_(half_side(p.regional)),
          pass_rows_(rows_around(plan.own, half_win_, plan.nb_lig)) {}

    AnalysisSummary run(const RowReader& read) {
        const PassStats st = first_pass(read);
        if (p_.both())
            fdp_products(st);
        taco_products();
        if (p_.both()) {
            receiver_.r2_table({product("FDP_ER0"), st.tab_Er0});
            receiver_.r2_table({product("FDP_ER1"), st.tab_Er1});
        }
        return {st.processed};
    }

  private:
    void check_stop() {
        if (progress_.stop_requested())
            throw RunStopped();
    }

    // The per-row callback of a pass over the grid rows from `first` on: stops the run when
    // asked and shows every 50th raster line.
    std::function<void(int)> on_line(std::int64_t first, int margin) {
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

    // The rows the first pass reads, with the isolated pixels marked as in the whole raster: a
    // mark depends on the 8 neighbours, so one more row is read on each side.
    ByteGrid marked_rows(const RowReader& read) {
        const RowRange wider = rows_around(plan_.own, half_win_ + 1, plan_.nb_lig);
        ByteGrid tab;
        {
            ByteGrid raw(wider.size(), plan_.nb_col);
            read(wider, raw);
            mark_isolated(raw);
            tab = ByteGrid(pass_rows_.size(), plan_.nb_col);
            copy_rows(raw, wider.begin, tab, pass_rows_.begin, pass_rows_);
        }
        return tab;
    }

    PassStats first_pass(const RowReader& read) {
        const ByteGrid tab = marked_rows(read);
        const int win_fract = static_cast<int>(
            std::find(kWindowSides.begin(), kWindowSides.end(), p_.window) - kWindowSides.begin());
        dtab2_ = RealGrid(pass_rows_.size(), plan_.nb_col);
        if (!fast(p_)) {
            dtab_ = RealGrid(pass_rows_.size(), plan_.nb_col);
            dtab_v2_ = RealGrid(pass_rows_.size(), plan_.nb_col);
        }
        const PassInput in{tab, win_fract, p_.mnc, p_.both()};
        progress_.begin(Stage::FirstPass, inside(half_win_, 0).size());
        const PassStats st = fast(p_) ? first_pass_fast(in, dtab2_, fields_, threads_,
                                                        on_line(pass_rows_.begin, half_win_))
                                      : ds::first_pass(in, {dtab_, dtab_v2_, dtab2_},
                                                       on_line(pass_rows_.begin, half_win_));
        progress_.end(Stage::FirstPass, st.processed);
        return st;
    }

    void fdp_products(const PassStats& st) {
        progress_.saving(Progress::Product::Fdp);
        {
            ByteGrid out(pass_rows_.size(), plan_.nb_col);
            for (const bool second : {false, true}) {
                if (fast(p_))
                    fdp_network_image(second ? fields_.dtab_v2_field() : fields_.dtab_field(), out);
                else
                    fdp_network_image(second ? dtab_v2_ : dtab_, out);
                receiver_.image({product(second ? "FDP_DN2" : "FDP_DN"), out, pass_rows_.begin,
                                 second ? st.val_DF_V2 : st.val_DF,
                                 second ? st.Min_DF_V2 : st.Min_DF,
                                 second ? st.Max_DF_V2 : st.Max_DF});
            }
        }

        const RowRange rows = rows_around(plan_.own, bord_, plan_.nb_lig);
        ByteGrid out(rows.size(), plan_.nb_col);
        FdpFields shared;
        RealGrid dense;
        if (fast(p_))
            shared = shared_fields(rows);
        else
            dense = RealGrid(rows.size(), plan_.nb_col);
        const std::int64_t computed =
            inside(bord_, 0).size() * std::max<std::int64_t>(plan_.nb_col - 2 * bord_, 0);
        for (const bool second : {false, true}) {
            const Stage stage = second ? Stage::FdpRegional2 : Stage::FdpRegional1;
            Histogram counts;
            if (fast(p_)) {
                // The window sums are packed for the largest dimension of the whole raster.
                const double vmax = exchange_.largest(
                    largest_value(second ? fields_.dtab_v2_field() : fields_.dtab_field(),
                                  plan_.own.from(pass_rows_.begin)));
                progress_.begin(stage, inside(bord_, 0).size());
                counts =
                    fdp_regional_image_fast(second ? shared.dtab_v2_field() : shared.dtab_field(),
                                            bord_, vmax, out, threads_, on_line(rows.begin, bord_));
            } else {
                progress_.begin(stage, inside(bord_, 0).size());
                copy_rows(second ? dtab_v2_ : dtab_, pass_rows_.begin, dense, rows.begin,
                          plan_.own);
                exchange_.share_rows(dense, rows.begin, rows);
                counts = fdp_regional_image(dense, bord_, out, on_line(rows.begin, bord_));
            }
            progress_.end(stage, computed);
            receiver_.image({product(second ? "FDP_RI2" : "FDP_RI"), out, rows.begin, counts,
                             second ? st.Min_DF_V2 : st.Min_DF, second ? st.Max_DF_V2 : st.Max_DF});
        }
        fields_ = FdpFields();
        dtab_ = RealGrid();
        dtab_v2_ = RealGrid();
    }

    // The dimensions of the raster's rows `rows`, this strip's own among them.
    FdpFields shared_fields(RowRange rows) {
        const auto pack = [this](RowRange r) { return pack_fields(fields_, pass_rows_.begin, r); };
        std::vector<RowPiece> pieces = exchange_.share_packed(pack, rows);
        RowPiece own{plan_.own, pack(plan_.own)};
        const auto at = std::find_if(pieces.begin(), pieces.end(), [this](const RowPiece& q) {
            return q.rows.begin >= plan_.own.end;
        });
        pieces.insert(at, std::move(own));
        FdpFields f;
        f.at.cols = plan_.nb_col;
        f.at.row_start.push_back(0);
        std::int64_t next = rows.begin;
        for (const RowPiece& q : pieces) {
            if (q.rows.begin != next)
                throw std::logic_error("the rows shared between strips leave a gap");
            append_fields(f, q.rows.size(), q.bytes);
            next = q.rows.end;
        }
        if (next != rows.end)
            throw std::logic_error("the rows shared between strips end short");
        return f;
    }

    void taco_products() {
        const RowRange rows = smoothing_extent(plan_, p_);
        RealGrid a(rows.size(), plan_.nb_col);
        copy_rows(dtab2_, pass_rows_.begin, a, rows.begin, plan_.own);
        dtab2_ = RealGrid();

        const RowRange margin = inside(bord_, rows.begin);
        const TacoExtremes e = taco_extremes(a, bord_, margin);
        progress_.saving(Progress::Product::Taco);
        ByteGrid image(rows.size(), plan_.nb_col);
        const Histogram network = taco_network_image(a, image);
        receiver_.image({product("TAC_DN"), image, rows.begin, network, e.dval_min, e.dval_max});

        RealGrid b(rows.size(), plan_.nb_col);
        // The fixed point of the smoothing is that of the largest value of the whole raster.
        const double vmax = fast(p_) ? exchange_.largest(largest_value(a, threads_)) : 0.0;
        const RealGrid& smoothed = smoothing(a, b, rows.begin, vmax);
        const Histogram regional = taco_regional_image(smoothed, bord_, image, margin);
        receiver_.image({product("TAC_RI"), image, rows.begin, regional, e.dval_min, e.dval_max});
    }

    // The progressive smoothing of the own rows of `a` (holding the raster's rows from `first`
    // on): each step gets the rows it reads from the other strips first. Returns the grid that
    // holds the last step.
    const RealGrid& smoothing(RealGrid& a, RealGrid& b, std::int64_t first, double vmax) {
        const int step_RI = half_side(p_.regional);
        const SmoothingBand band{first, plan_.nb_lig, plan_.own};
        const auto share = [this, first](RealGrid& g, RowRange need) {
            exchange_.share_rows(g, first, need);
        };
        const auto on_step = [this](int step) {
            check_stop();
            progress_.step(step, half_side(step) - 1);
        };
        progress_.begin(Stage::Smoothing, step_RI);
        const RealGrid& smoothed =
            fast(p_) ? progressive_smoothing_band_fast(a, b, band, p_.regional, vmax, threads_,
                                                       share, on_step)
                     : progressive_smoothing_band(a, b, band, p_.regional, share, on_step);
        progress_.end(Stage::Smoothing, step_RI);
        return smoothed;
    }

    const StripPlan plan_;
    const AnalysisParameters p_;
    StripExchange& exchange_;
    StripReceiver& receiver_;
    Progress& progress_;
    const int threads_;
    const int half_win_;
    const int bord_;
    const RowRange pass_rows_;  // the rows of the first pass's grids
    RealGrid dtab2_;            // TACO values of the pass
    FdpFields fields_;          // the fast engine's dimensions
    RealGrid dtab_, dtab_v2_;   // the reference's dimensions
};

}  // namespace

std::int64_t strip_grid_bytes(const StripPlan& plan, const AnalysisParameters& p) {
    const std::int64_t pass = rows_around(plan.own, half_side(p.window) + 1, plan.nb_lig).size();
    const std::int64_t regional = rows_around(plan.own, half_side(p.regional), plan.nb_lig).size();
    const std::int64_t smoothing = smoothing_extent(plan, p).size();
    // Per stage: the pass (raster rows, TACO values, and the reference's two dimension grids),
    // the FDP regional images (with the reference's dense dimensions), the start of the
    // smoothing (the pass's values beside the first smoothing grid), and the smoothing (two
    // grids and an image).
    const std::int64_t dims = fast(p) ? 0 : 16;
    const std::int64_t rows_bytes =
        std::max({pass * (2 + 8 + dims), pass * (8 + dims) + regional * (1 + (dims > 0 ? 8 : 0)),
                  pass * 8 + smoothing * 8, smoothing * 17});
    return rows_bytes * plan.nb_col;
}

AnalysisSummary analyse_strip(const StripPlan& plan, const AnalysisParameters& p,
                              const RowReader& read, StripExchange& exchange,
                              StripReceiver& receiver, Progress& progress) {
    if (const auto problem = parameters_problem(p))
        throw std::invalid_argument(*problem);
    if (plan.own.empty() || plan.own.begin < 0 || plan.own.end > plan.nb_lig || plan.nb_col <= 0)
        throw std::invalid_argument("a strip holds at least one row of the raster");
    return StripRun(plan, p, exchange, receiver, progress).run(read);
}

}  // namespace ds
