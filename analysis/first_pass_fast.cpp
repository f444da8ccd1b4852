#include "analysis/first_pass_fast.h"

#include <omp.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "fractal/box_count.h"
#include "fractal/box_count_fast.h"
#include "lib/byte_scan.h"
#include "lib/ordered_rows.h"
#include "lib/window.h"
#include "taco/taco_value.h"
#include "taco/trace_fast.h"

namespace ds {

namespace {

// Extremes of one image row, folded in column order; rows are merged in row order, which gives
// the extremes of the whole pass exactly as one scan would (signed zeros included).
struct RowExtremes {
    double Min_DF = 10.0;
    double Max_DF = 0.0;
    double Min_DF_V2 = 10.0;
    double Max_DF_V2 = 0.0;
};

// What every pixel of a pass shares.
struct PassContext {
    const PassInput& in;
    const NetworkBits& net;
    int window;
    RealGrid& taco;
};

// Everything one thread needs; the histograms are summed at the end.
struct Worker {
    explicit Worker(int window) : ws(window), branch(window), boxes(window) {}

    // Stores the TACO value of pixel (i, j) and returns its fits (none without FDP).
    FractResult pixel(const PassContext& c, std::int64_t i, std::int64_t j) {
        FractResult r;
        if (select_branch_fast(c.net, i, j, ws, branch)) {
            c.taco(i, j) =
                taco_value(branch.size(), count_confluences_fast(branch, ws), c.window, c.in.mnc);
            if (c.in.fdp) {
                r = boxes.fract(boxes.count(branch));
                count_class(tab_Er0, r2_class(r.ER_0));
                count_class(tab_Er1, r2_class(r.ER_1));
            }
            branch.clear();
            return r;
        }
        // A pixel without network neighbours: its selection is every unlabelled cell of the
        // window, which only the literal labelling gives.
        if (!literal)
            literal = std::make_unique<Window>(c.window);
        select_branch(*literal, c.in.tab, i, j);
        New_Vosmek_Treatment(*literal, static_cast<int>(i), static_cast<int>(j), c.in.mnc, c.taco);
        if (c.in.fdp)
            r = Fract_Explor(literal->tab_fract, c.window, tab_Er0, tab_Er1);
        return r;
    }

    BranchWorkspace ws;
    BranchMask branch;
    BoxCounter boxes;
    std::unique_ptr<Window> literal;  // for the rare pixel whose trace is dropped
    Histogram val_DF{};
    Histogram val_DF_V2{};
    R2Histogram tab_Er0{};
    R2Histogram tab_Er1{};
};

void merge_min(double& acc, double v) {
    if (acc > v)
        acc = v;
}
void merge_max(double& acc, double v) {
    if (acc < v)
        acc = v;
}

template <std::size_t N>
void add(std::array<std::int64_t, N>& to, const std::array<std::int64_t, N>& from) {
    for (std::size_t b = 0; b < N; ++b)
        to[b] += from[b];
}

// The statistics of a pass: the extremes of its rows in row order, the histograms of its
// workers.
PassStats merged(const std::vector<std::unique_ptr<Worker>>& workers,
                 const std::vector<RowExtremes>& extremes, std::int64_t processed, bool fdp) {
    PassStats st;
    st.processed = processed;
    if (!fdp)
        return st;
    for (const RowExtremes& ex : extremes) {
        merge_min(st.Min_DF, ex.Min_DF);
        merge_max(st.Max_DF, ex.Max_DF);
        merge_min(st.Min_DF_V2, ex.Min_DF_V2);
        merge_max(st.Max_DF_V2, ex.Max_DF_V2);
    }
    for (const auto& wk : workers) {
        add(st.val_DF, wk->val_DF);
        add(st.val_DF_V2, wk->val_DF_V2);
        add(st.tab_Er0, wk->tab_Er0);
        add(st.tab_Er1, wk->tab_Er1);
    }
    return st;
}

}  // namespace

SparsePositions eligible_pixels(const ByteGrid& tab, int half_win) {
    SparsePositions at;
    at.rows = tab.rows();
    at.cols = tab.cols();
    at.row_start.assign(static_cast<std::size_t>(at.rows) + 1, 0);
    for (std::int64_t i = 0; i < at.rows; ++i) {
        at.row_start[static_cast<std::size_t>(i)] = at.size();
        if (i < half_win || i >= at.rows - half_win)
            continue;
        for_each_byte(tab.row(i).data(), half_win, at.cols - half_win, 1,
                      [&](std::int64_t j) { at.col.push_back(static_cast<std::int32_t>(j)); });
    }
    at.row_start[static_cast<std::size_t>(at.rows)] = at.size();
    return at;
}

PassStats first_pass_fast(const PassInput& in, RealGrid& taco, FdpFields& fields, int threads,
                          const std::function<void(int line)>& on_line) {
    const int half_win = half_side(in.window);
    const std::int64_t nb_lig = in.tab.rows();
    if (taco.rows() != nb_lig || taco.cols() != in.tab.cols())
        throw std::invalid_argument("first_pass_fast: the TACO grid does not match the raster");
    const int nt = threads >= 1 ? threads : omp_get_max_threads();
#pragma omp parallel for num_threads(nt) schedule(static)
    for (std::int64_t i = 0; i < nb_lig; ++i)
        std::fill(taco.row(i).begin(), taco.row(i).end(), 0.0);

    fields.at = eligible_pixels(in.tab, half_win);
    fields.dimension.assign(static_cast<std::size_t>(fields.at.size()), 0.0);
    fields.dimension2.assign(static_cast<std::size_t>(fields.at.size()), 0.0);
    fields.r2.assign(in.fdp ? static_cast<std::size_t>(fields.at.size()) : 0, 0.0);
    fields.r2_2.assign(in.fdp ? static_cast<std::size_t>(fields.at.size()) : 0, 0.0);

    const NetworkBits net(in.tab, nt);
    std::vector<std::unique_ptr<Worker>> workers;
    for (int t = 0; t < nt; ++t)
        workers.push_back(std::make_unique<Worker>(in.window));

    const std::int64_t lo = half_win;
    const std::int64_t hi = nb_lig - half_win;
    std::vector<RowExtremes> extremes(static_cast<std::size_t>(std::max<std::int64_t>(hi - lo, 0)));

    const PassContext context{in, net, in.window, taco};
    const auto process_row = [&](Worker& wk, std::int64_t i) {
        RowExtremes& ex = extremes[static_cast<std::size_t>(i - lo)];
        for (std::int64_t k = fields.at.begin(i); k < fields.at.end(i); ++k) {
            const FractResult r = wk.pixel(context, i, fields.at.col[static_cast<std::size_t>(k)]);
            if (!in.fdp)
                continue;
            const auto uk = static_cast<std::size_t>(k);
            fields.dimension[uk] = record_dimension(r.DF, ex.Min_DF, ex.Max_DF, wk.val_DF);
            fields.dimension2[uk] =
                record_dimension(r.DF_V2, ex.Min_DF_V2, ex.Max_DF_V2, wk.val_DF_V2);
            fields.r2[uk] = r.ER_0;
            fields.r2_2[uk] = r.ER_1;
        }
    };

    // Row i is item i - lo; its line is reported once every row before it is done.
    std::int64_t next_line = lo;
    ordered_items(
        hi - lo, nt,
        [&](int t, std::int64_t k) { process_row(*workers[static_cast<std::size_t>(t)], lo + k); },
        [&](std::int64_t finished) {
            for (; next_line < hi && next_line <= lo + finished; ++next_line)
                if (on_line)
                    on_line(static_cast<int>(next_line + 1));
        });

    return merged(workers, extremes, fields.at.size(), in.fdp);
}

}  // namespace ds
