#include "lib/moving_mean_fast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <barrier>
#include <cstring>
#include <numeric>
#include <tuple>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "analysis/first_pass.h"
#include "fractal/fdp_products.h"
#include "fractal/fdp_products_fast.h"
#include "lib/moving_mean.h"
#include "lib/window.h"
#include "taco/smoothing.h"
#include "taco/smoothing_fast.h"
#include "taco/taco_products.h"

namespace ds {
namespace {

// The nonzero cells of a dense grid as a sparse field (positions kept alive by the caller).
struct Sparse {
    explicit Sparse(const RealGrid& g) {
        at.rows = g.rows();
        at.cols = g.cols();
        at.row_start.push_back(0);
        for (std::int64_t i = 0; i < g.rows(); ++i) {
            for (std::int64_t j = 0; j < g.cols(); ++j)
                if (g(i, j) != 0.0) {
                    at.col.push_back(static_cast<std::int32_t>(j));
                    values.push_back(g(i, j));
                }
            at.row_start.push_back(at.size());
        }
    }
    SparseField field() const { return {&at, values}; }
    SparsePositions at;
    std::vector<double> values;
};

// A field with about `density` of its cells drawn by `draw`, the others 0.
template <class Draw>
RealGrid scatter(std::int64_t rows, std::int64_t cols, double density, std::mt19937_64& rng,
                 Draw draw) {
    RealGrid g(rows, cols);
    std::bernoulli_distribution on(density);
    for (std::int64_t i = 0; i < rows; ++i)
        for (std::int64_t j = 0; j < cols; ++j)
            if (on(rng))
                g(i, j) = draw(rng);
    return g;
}

// Means, in rows and columns half to size - half - 1, computed by the literal window sum.
RealGrid literal_means(const RealGrid& src, int half) {
    RealGrid out(src.rows(), src.cols());
    positive_mean(src, half, out, 0, src.rows());
    return out;
}

// Pixels whose truncated TACO regional value differs between the two smoothed fields.
int differing_regional_pixels(const RealGrid& fast, const RealGrid& literal, int bord) {
    ByteGrid a(fast.rows(), fast.cols()), b(fast.rows(), fast.cols());
    const Histogram ha = taco_regional_image(fast, bord, a);
    const Histogram hb = taco_regional_image(literal, bord, b);
    int differing = 0;
    for (std::int64_t i = 0; i < a.rows(); ++i)
        for (std::int64_t j = 0; j < a.cols(); ++j)
            differing += a(i, j) != b(i, j) ? 1 : 0;
    if (differing == 0) {
        EXPECT_EQ(ha, hb);
    }
    return differing;
}

// --- running_positive_mean -------------------------------------------------------------------

// The lane widths this processor runs.
std::vector<int> widths() {
    std::vector<int> w;
    for (const int lanes : {2, 4, 8}) {
        try {
            running::force_lanes(lanes);
            w.push_back(lanes);
        } catch (const std::invalid_argument&) {
        }
    }
    running::force_lanes(0);
    return w;
}

// The bound of moving_mean_fast.h on the distance of a fast mean from the literal one: half a
// unit of the fixed point plus the rounding of both sums, n the cells of the window.
double mean_bound(double vmax, int half) {
    const double n = (2.0 * half + 1) * (2.0 * half + 1);
    return std::ldexp(0.5, -running::packing_for(vmax, half).shift) + (n + 4) * 0x1p-53 * vmax;
}

double worst_error(const RealGrid& fast, const RealGrid& literal) {
    double worst = 0.0;
    for (std::int64_t i = 0; i < fast.rows(); ++i)
        for (std::int64_t j = 0; j < fast.cols(); ++j)
            worst = std::max(worst, std::fabs(fast(i, j) - literal(i, j)));
    return worst;
}

TEST(RunningPositiveMean, MatchesTheLiteralMeansForAnyThreadCountAndWidth) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> value(-50.0, 200.0);  // negatives take no part
    struct Case {
        std::int64_t rows, cols;
        double density;
        int half;
    };
    std::vector<Case> cases;
    for (const double density : {0.02, 0.3, 1.0})
        for (const int half : {0, 1, 2, 5, 17, 40})
            cases.push_back({97, 83, density, half});
    cases.push_back({401, 265, 0.2, 128});
    for (const Case& c : cases) {
        const auto what = testing::Message() << c.rows << "x" << c.cols << " half " << c.half
                                             << " density " << c.density;
        const RealGrid src =
            scatter(c.rows, c.cols, c.density, rng, [&](auto& r) { return value(r); });
        const RealGrid ref = literal_means(src, c.half);
        RealGrid one(c.rows, c.cols);
        running_positive_mean(src, c.half, one, 1);
        EXPECT_LE(worst_error(one, ref), mean_bound(200.0, c.half)) << what;
        for (const int lanes : widths()) {
            running::force_lanes(lanes);
            RealGrid other(c.rows, c.cols);
            running_positive_mean(src, c.half, other, 3);
            running::force_lanes(0);
            EXPECT_TRUE(one == other) << what << ", " << lanes << " lanes";
        }
        // Counts are exact: an empty window gives exactly 0, a full one a positive mean.
        for (std::int64_t i = c.half; i < c.rows - c.half; ++i)
            for (std::int64_t j = c.half; j < c.cols - c.half; ++j)
                ASSERT_EQ(one(i, j) == 0.0, ref(i, j) == 0.0) << what << " at " << i << "," << j;
    }
}

TEST(RunningPositiveMean, KernelWidthsAreTwoFourOrEight) {
    running::force_lanes(2);
    EXPECT_EQ(running::lanes(), 2);
    running::force_lanes(0);
    EXPECT_EQ(running::lanes(), widths().back());
    EXPECT_THROW(running::force_lanes(3), std::invalid_argument);
}

TEST(RunningPositiveMean, LeavesPixelsOutsideTheMarginAlone) {
    RealGrid src(30, 12), dst(30, 12);
    src.fill(5.0);
    dst.fill(-1.0);
    running_positive_mean(src, 4, dst, 2);
    for (std::int64_t i = 0; i < 30; ++i)
        for (std::int64_t j = 0; j < 12; ++j) {
            const bool inside = i >= 4 && i < 26 && j >= 4 && j < 8;
            EXPECT_EQ(dst(i, j), inside ? 5.0 : -1.0) << i << "," << j;
        }
    RealGrid small(6, 40), small_dst(6, 40);
    small_dst.fill(-1.0);
    running_positive_mean(small, 3, small_dst, 2);  // window taller than the raster
    EXPECT_EQ(small_dst(3, 20), -1.0);
    EXPECT_THROW(running_positive_mean(src, 1, src, 1), std::invalid_argument);
    EXPECT_THROW(running_positive_mean(src, 1, small_dst, 1), std::invalid_argument);
}

TEST(RunningPositiveMean, LargestWindowOfLargestValuesDoesNotOverflow) {
    // Every cell at the largest value that a shift allows for, so that the sums of 661 x 661
    // cells come closest to 2^63, and one cell tiny beside them: it still counts.
    for (const double v : {200.0, std::nextafter(256.0, 0.0), 1e-200, 3e250}) {
        RealGrid src(663, 665), dst(663, 665);
        src.fill(v);
        src(331, 332) = v * 1e-30;
        running_positive_mean(src, 330, dst, 2);
        const double n = 661.0 * 661.0;
        for (const auto& [i, j] : {std::pair{330, 330}, {331, 332}, {332, 334}})
            EXPECT_NEAR(dst(i, j), v * (n - 1) / n, mean_bound(v, 330)) << v << " at " << i;
    }
}

// Rows a to b - 1 of a step from rows a - half to b + half - 1 of its input, held alone: the
// same cells and flags as the step over the whole raster, wherever the rows start; and the same
// cells whether the rows are known to be positive or not.
TEST(PackedMeanStep, RowsFromTheirOwnRowsOfInput) {
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> value(1.0, 200.0);
    const std::int64_t rows = 90, cols = 70;
    for (const double density : {0.05, 1.0}) {
        RealGrid src = scatter(rows, cols, density, rng, [&](auto& r) { return value(r); });
        for (const int half : {1, 4, 13}) {
            const running::Packing p = running::packing_for(200.0, half);
            const running::Packing next = running::packing_for(200.0, half + 1);
            std::vector<std::uint64_t> in(rows * cols), whole(rows * cols, 0);
            std::vector<std::uint8_t> in_full(rows), whole_full(rows);
            running::PackedField field{{in.data(), in_full.data(), 0, cols}, rows, 0, p};
            running::pack_rows(src, 0, rows, field, 1);
            running::PackedField out{{whole.data(), whole_full.data(), 0, cols}, rows, 0, next};
            running::packed_mean_step(field, half, half, rows - half, out, 2);
            // Counting every window gives what the whole-window counts of positive rows give.
            std::vector<std::uint8_t> none(rows, 0), counted_full(rows);
            std::vector<std::uint64_t> counted(rows * cols, 0);
            running::PackedField unknown = field;
            unknown.rows.positive = none.data();
            running::PackedField recount{
                {counted.data(), counted_full.data(), 0, cols}, rows, 0, next};
            running::packed_mean_step(unknown, half, half, rows - half, recount, 1);
            EXPECT_TRUE(counted == whole) << "half " << half << ", density " << density;
            for (const auto& [a, b] : {std::pair<std::int64_t, std::int64_t>{half, half + 3},
                                       {half + 5, rows - half},
                                       {37, 61}}) {
                const std::int64_t first = a - half;
                running::PackedField part = field;
                part.rows.cells = in.data() + first * cols;
                part.rows.positive = in_full.data() + first;
                part.rows.first_row = first;
                std::vector<std::uint64_t> cells((b - a) * cols, 0);
                std::vector<std::uint8_t> full(b - a);
                running::PackedField strip{{cells.data(), full.data(), a, cols}, rows, 0, next};
                running::packed_mean_step(part, half, a, b, strip, 3);
                for (std::int64_t i = a; i < b; ++i) {
                    EXPECT_TRUE(std::equal(cells.begin() + (i - a) * cols,
                                           cells.begin() + (i - a + 1) * cols,
                                           whole.begin() + i * cols))
                        << "half " << half << ", rows " << a << " to " << b << ", row " << i;
                    EXPECT_EQ(full[i - a], whole_full[i]) << i;
                }
            }
        }
    }
}

// --- FDP regional image ----------------------------------------------------------------------

struct RegionalRun {
    ByteGrid image;
    Histogram hist{};
    std::vector<int> lines;
};

RegionalRun literal_regional(const RealGrid& dtab, int bord) {
    RegionalRun r{ByteGrid(dtab.rows(), dtab.cols()), {}, {}};
    r.hist = fdp_regional_image(dtab, bord, r.image, [&](int l) { r.lines.push_back(l); });
    return r;
}

RegionalRun fast_regional(const RealGrid& dtab, int bord, int threads) {
    const Sparse sparse(dtab);
    RegionalRun r{ByteGrid(dtab.rows(), dtab.cols()), {}, {}};
    r.image.fill(77);  // stale content is cleared
    r.hist = fdp_regional_image_fast(sparse.field(), bord, r.image, threads,
                                     [&](int l) { r.lines.push_back(l); });
    return r;
}

// Pixels where rounding the compensated mean, without going back to the literal order, would
// give another byte than the literal pass.
int rounding_conflicts(const RealGrid& dtab, int bord) {
    RealGrid mean(dtab.rows(), dtab.cols());
    running_positive_mean(dtab, bord, mean, 1);
    const RegionalRun lit = literal_regional(dtab, bord);
    int conflicts = 0;
    for (std::int64_t i = bord; i < dtab.rows() - bord; ++i)
        for (std::int64_t j = bord; j < dtab.cols() - bord; ++j)
            if (mean(i, j) > 0.0 && low_byte(image_value(mean(i, j))) != lit.image(i, j))
                ++conflicts;
    return conflicts;
}

void expect_same_regional(const RealGrid& dtab, int bord, const std::string& what) {
    const RegionalRun lit = literal_regional(dtab, bord);
    for (const int lanes : widths()) {
        running::force_lanes(lanes);
        const int threads = lanes == 2 ? 1 : 2;
        const RegionalRun fast = fast_regional(dtab, bord, threads);
        running::force_lanes(0);
        const auto where = testing::Message() << what << ", " << lanes << " lanes";
        EXPECT_TRUE(fast.image == lit.image) << where;
        EXPECT_EQ(fast.hist, lit.hist) << where;
        EXPECT_EQ(fast.lines, lit.lines) << where;
    }
}

TEST(FdpRegionalImageFast, SameBytesAsTheLiteralOnRandomFields) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> dim(100.0, 200.0);
    std::uniform_real_distribution<double> any(-30.0, 270.0);  // bins beyond 255 and below 0
    for (const int bord : {0, 1, 6, 12, 24})
        for (const double density : {0.01, 0.1, 0.6}) {
            expect_same_regional(scatter(131, 117, density, rng, [&](auto& r) { return dim(r); }),
                                 bord, "dimensions");
            expect_same_regional(scatter(60, 211, density, rng, [&](auto& r) { return any(r); }),
                                 bord, "wide values");
        }
}

TEST(FdpRegionalImageFast, MeansOnRoundingBoundariesFollowTheLiteralSums) {
    // Values a few units in the last place around x.5, and decimal pairs whose mean is x.5:
    // the literal sums round to either side of the boundary depending on their order.
    std::mt19937_64 rng(3);
    std::uniform_int_distribution<int> base(110, 180);
    std::uniform_int_distribution<int> ulps(-3, 3);
    auto near_half = [&](auto& r) {
        double v = base(r) + 0.5;
        for (int u = ulps(r); u != 0; u += u > 0 ? -1 : 1)
            v = std::nextafter(v, u > 0 ? 1e9 : 0.0);
        return v;
    };
    const double pairs[] = {120.1, 120.9, 120.3, 120.7, 120.2, 120.8, 120.4, 120.6};
    std::uniform_int_distribution<int> pick(0, 7);
    auto decimal_pair = [&](auto& r) { return pairs[pick(r)]; };
    int conflicts = 0;
    for (const int bord : {1, 2, 6}) {
        const RealGrid a = scatter(90, 90, 0.5, rng, near_half);
        const RealGrid b = scatter(90, 90, 0.7, rng, decimal_pair);
        conflicts += rounding_conflicts(a, bord) + rounding_conflicts(b, bord);
        expect_same_regional(a, bord, "near halves");
        expect_same_regional(b, bord, "decimal pairs");
    }
    // Every cell equal: every mean sits on the boundary.
    RealGrid flat(40, 40);
    flat.fill(std::nextafter(140.5, 0.0));
    conflicts += rounding_conflicts(flat, 6);
    expect_same_regional(flat, 6, "flat");
    flat.fill(0.1 * 1405);
    expect_same_regional(flat, 6, "flat decimal");
    // The fields do reach the re-summed path: rounding the compensated means alone would
    // differ from the literal bytes.
    EXPECT_GT(conflicts, 0);
}

TEST(FdpRegionalImageFast, EveryMenuSideOnSmallRasters) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> dim(100.0, 200.0);
    for (const int side : kWindowSides) {
        const int bord = half_side(side);
        const RealGrid dtab =
            scatter(side + 9, side + 4, 0.03, rng, [&](auto& r) { return dim(r); });
        expect_same_regional(dtab, bord, "side " + std::to_string(side));
    }
    // A regional window larger than the raster computes nothing.
    const RealGrid small = scatter(40, 50, 0.5, rng, [&](auto& r) { return dim(r); });
    const RegionalRun fast = fast_regional(small, 30, 2);
    EXPECT_EQ(fast.hist, Histogram{});
    EXPECT_TRUE(fast.image == ByteGrid(40, 50));
    EXPECT_TRUE(fast.lines.empty());
}

TEST(FdpRegionalImageFast, ProgressLinesAreThoseOfTheLiteralPass) {
    RealGrid dtab(260, 15);
    dtab(100, 7) = 150.0;
    expect_same_regional(dtab, 3, "progress");
    const RegionalRun r = fast_regional(dtab, 3, 2);
    ASSERT_EQ(r.lines.size(), 260u - 6u);
    EXPECT_EQ(r.lines.front(), 4);

    // Reported on the calling thread, taller than one span of rows.
    RealGrid tall(1300, 20);
    tall(700, 10) = 120.0;
    const Sparse sparse(tall);
    ByteGrid image(1300, 20);
    std::vector<int> lines;
    bool other_thread = false;
    const auto caller = std::this_thread::get_id();
    fdp_regional_image_fast(sparse.field(), 2, image, 2, [&](int line) {
        lines.push_back(line);
        other_thread = other_thread || std::this_thread::get_id() != caller;
    });
    EXPECT_FALSE(other_thread);
    std::vector<int> every_line(1300 - 4);
    std::iota(every_line.begin(), every_line.end(), 3);
    EXPECT_EQ(lines, every_line);
    EXPECT_EQ(image(700, 10), 120);
}

TEST(FdpNetworkImageSparse, SameBytesAsTheDenseImage) {
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> any(-30.0, 300.0);
    const RealGrid dtab = scatter(50, 61, 0.2, rng, [&](auto& r) { return any(r); });
    ByteGrid dense(50, 61), sparse(50, 61);
    sparse.fill(3);
    fdp_network_image(dtab, dense);
    const Sparse s(dtab);
    fdp_network_image(s.field(), sparse);
    EXPECT_TRUE(dense == sparse);
}

TEST(FdpProductsFast, InconsistentInputIsRejected) {
    const RealGrid dtab(10, 12);
    const Sparse s(dtab);
    ByteGrid wrong(12, 10);
    EXPECT_THROW(fdp_network_image(s.field(), wrong), std::invalid_argument);
    EXPECT_THROW(fdp_regional_image_fast(s.field(), 1, wrong, 1, {}), std::invalid_argument);
    ByteGrid right(10, 12);
    const std::vector<double> too_many = {1.0};
    EXPECT_THROW(fdp_regional_image_fast({&s.at, too_many}, 1, right, 1, {}),
                 std::invalid_argument);
    EXPECT_THROW(fdp_network_image({nullptr, {}}, right), std::invalid_argument);
}

// --- progressive smoothing -------------------------------------------------------------------

struct Smoothed {
    RealGrid dtab2, dtab3;
    std::vector<int> steps;
};

Smoothed smooth(const RealGrid& field, int slid_win, int threads) {
    Smoothed s{field, RealGrid(field.rows(), field.cols()), {}};
    s.dtab3.fill(42.0);  // scratch content is irrelevant
    auto on_step = [&](int step) { s.steps.push_back(step); };
    if (threads == 0)
        progressive_smoothing(s.dtab2, s.dtab3, slid_win, on_step);
    else
        progressive_smoothing_fast(s.dtab2, s.dtab3, slid_win, threads, on_step);
    return s;
}

// Runs both engines; checks the contract and returns the differing regional pixels.
int compare_smoothing(const RealGrid& field, int slid_win, const std::string& what) {
    const Smoothed lit = smooth(field, slid_win, 0);
    const Smoothed one = smooth(field, slid_win, 1);
    const Smoothed two = smooth(field, slid_win, 2);
    EXPECT_TRUE(one.dtab2 == two.dtab2) << what;
    EXPECT_TRUE(one.dtab2 == one.dtab3) << what;
    EXPECT_TRUE(two.dtab2 == two.dtab3) << what;
    EXPECT_EQ(one.steps, lit.steps) << what;
    // Each step adds its own bound: a mean moves no further than the values it averages.
    double vmax = 0.0, bound = 0.0;
    for (std::int64_t i = 0; i < field.size(); ++i)
        vmax = std::max(vmax, field.data()[i]);
    for (int m = 1; m <= half_side(slid_win); ++m)
        bound += mean_bound(vmax, m + 1);
    EXPECT_LE(worst_error(one.dtab2, lit.dtab2), bound) << what;
    // Exactly zero where the literal field is zero: the border and the empty windows.
    for (std::int64_t i = 0; i < field.rows(); ++i)
        for (std::int64_t j = 0; j < field.cols(); ++j)
            if ((lit.dtab2(i, j) == 0.0) != (one.dtab2(i, j) == 0.0)) {
                ADD_FAILURE() << what << ": zero differs at " << i << "," << j;
                return -1;
            }
    const int differing = differing_regional_pixels(one.dtab3, lit.dtab3, half_side(slid_win));
    std::printf("[ smoothing ] %-28s slid_win %3d: %d differing regional pixels of %lld\n",
                what.c_str(), slid_win, differing,
                static_cast<long long>(field.rows() * field.cols()));
    return differing;
}

TEST(ProgressiveSmoothingFast, MatchesTheLiteralUpToRounding) {
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> taco(-40.0, 200.0);
    std::uniform_int_distribution<int> whole(1, 200);
    std::uniform_int_distribution<int> few(0, 3);
    const double plateau_values[] = {100.0, 150.0, 148.5, 37.25};
    int differing = 0;
    for (const int slid_win : {3, 5, 13, 25}) {
        differing += compare_smoothing(
            scatter(83, 101, 0.03, rng, [&](auto& r) { return taco(r); }), slid_win, "sparse");
        differing += compare_smoothing(
            scatter(70, 64, 0.5, rng, [&](auto& r) { return static_cast<double>(whole(r)); }),
            slid_win, "integers");
        differing += compare_smoothing(
            scatter(64, 70, 0.9, rng, [&](auto& r) { return plateau_values[few(r)]; }), slid_win,
            "few values");
    }
    EXPECT_EQ(differing, 0);
}

TEST(ProgressiveSmoothingFast, EdgeCasesOfTheLiteralContract) {
    // The single value spreading into the 43 x 43 square.
    RealGrid one_value(61, 61);
    one_value(30, 30) = 150.0;
    EXPECT_EQ(compare_smoothing(one_value, 13, "single value"), 0);
    const Smoothed s = smooth(one_value, 13, 2);
    EXPECT_EQ(s.steps, (std::vector<int>{3, 5, 7, 9, 11, 13}));
    EXPECT_EQ(s.dtab3(30 - 21, 30 + 21), 150.0);
    EXPECT_EQ(s.dtab3(30 - 22, 30), 0.0);

    // Windows larger than the raster: every step writes zeros only.
    RealGrid narrow(9, 50);
    narrow.fill(80.0);
    EXPECT_EQ(compare_smoothing(narrow, 13, "narrow"), 0);
    EXPECT_TRUE(smooth(narrow, 13, 1).dtab2 == RealGrid(9, 50));

    // No step: dtab2 is kept and the scratch is cleared.
    const Smoothed none = smooth(one_value, 1, 2);
    EXPECT_TRUE(none.dtab2 == one_value);
    EXPECT_TRUE(none.dtab3 == RealGrid(61, 61));
    EXPECT_TRUE(none.steps.empty());

    RealGrid wrong(60, 61);
    EXPECT_THROW(progressive_smoothing_fast(one_value, wrong, 13, 1, {}), std::invalid_argument);
}

RealGrid sample_taco_field() {
    const std::string path = std::string(DRAINSHAPE_SOURCE_DIR) + "/examples/sample_river.raw";
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    if (bytes.size() != 400u * 400u)
        throw std::runtime_error("unexpected sample size: " + path);
    ByteGrid tab(400, 400);
    std::copy(bytes.begin(), bytes.end(), tab.data());
    RealGrid dtab(400, 400), dtab_v2(400, 400), dtab2(400, 400);
    first_pass({tab, 13, 1, false}, {dtab, dtab_v2, dtab2}, {});
    return dtab2;
}

TEST(ProgressiveSmoothingFast, NoDifferingRegionalPixelOnTheSample) {
    const RealGrid taco = sample_taco_field();
    EXPECT_EQ(compare_smoothing(taco, 13, "sample_river, window 13"), 0);
}

// The raster smoothed in bands, the rows `cuts[k]` to `cuts[k + 1]` - 1 in band k, each on a
// thread of its own with the grids of its own rows and halo (the rest of them stale), the bands
// copying each other's rows before every step; the own rows of every band, put together.
RealGrid smooth_in_bands(const RealGrid& field, int slid_win, const std::vector<std::int64_t>& cuts,
                         bool fast) {
    const std::size_t n = cuts.size() - 1;
    const double vmax = largest_value(field, 1);
    std::vector<SmoothingBand> bands;
    std::vector<RealGrid> a, b;
    for (std::size_t k = 0; k < n; ++k) {
        const RowRange own{cuts[k], cuts[k + 1]};
        const RowRange held = step_rows({0, field.rows(), own}, half_side(slid_win));
        bands.push_back({held.begin, field.rows(), own});
        a.emplace_back(held.size(), field.cols());
        b.emplace_back(held.size(), field.cols());
        a.back().fill(-3.0);
        b.back().fill(42.0);
        for (std::int64_t r = own.begin; r < own.end; ++r)
            std::ranges::copy(field.row(r), a.back().row(r - held.begin).begin());
    }
    std::barrier sync(static_cast<std::ptrdiff_t>(n));
    std::vector<RealGrid*> shown(n);
    std::vector<const RealGrid*> result(n);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < n; ++k)
        threads.emplace_back([&, k] {
            const SmoothingBand& band = bands[k];
            const ShareRows share = [&](RealGrid& g, RowRange need) {
                shown[k] = &g;
                sync.arrive_and_wait();
                for (std::int64_t r = need.begin; r < need.end; ++r) {
                    const std::size_t q = static_cast<std::size_t>(
                        std::upper_bound(cuts.begin(), cuts.end(), r) - cuts.begin() - 1);
                    if (q != k)
                        std::ranges::copy(shown[q]->row(r - bands[q].first),
                                          g.row(r - band.first).begin());
                }
                sync.arrive_and_wait();
            };
            result[k] = fast ? &progressive_smoothing_band_fast(a[k], b[k], band, slid_win, vmax, 2,
                                                                share, {})
                             : &progressive_smoothing_band(a[k], b[k], band, slid_win, share, {});
        });
    for (std::thread& t : threads)
        t.join();
    RealGrid out(field.rows(), field.cols());
    for (std::size_t k = 0; k < n; ++k)
        for (std::int64_t r = cuts[k]; r < cuts[k + 1]; ++r)
            std::ranges::copy(result[k]->row(r - bands[k].first), out.row(r).begin());
    return out;
}

bool same_bytes(const RealGrid& x, const RealGrid& y) {
    return x.rows() == y.rows() && x.cols() == y.cols() &&
           std::memcmp(x.data(), y.data(), static_cast<std::size_t>(x.size()) * sizeof(double)) ==
               0;
}

// Bands thinner than the steps' half sides, bands of one row, bands inside the margin: the
// bytes of the whole raster, by both engines, on the sample's field and on a dense field whose
// rows are mostly all positive (where the steps skip counting).
TEST(ProgressiveSmoothingBand, BandsGiveTheWholeRastersBytes) {
    std::mt19937_64 rng(29);
    const double plateau_values[] = {100.0, 150.0, 148.5, 37.25};
    std::uniform_int_distribution<int> few(0, 3);
    const RealGrid dense =
        scatter(90, 75, 0.97, rng, [&](auto& r) { return plateau_values[few(r)]; });
    const RealGrid taco = sample_taco_field();
    for (const bool fast : {false, true}) {
        for (const auto& [field, slid_win, cuts] :
             {std::tuple<const RealGrid&, int, std::vector<std::int64_t>>{
                  taco, 25, {0, 5, 13, 14, 200, 203, 400}},
              {taco, 61, {0, 150, 290, 400}},
              {dense, 13, {0, 3, 40, 41, 47, 87, 90}}}) {
            if (!fast && slid_win > 25)
                continue;  // the literal steps take seconds there, and have nothing new to show
            const Smoothed whole = smooth(field, slid_win, fast ? 1 : 0);
            EXPECT_TRUE(same_bytes(smooth_in_bands(field, slid_win, cuts, fast), whole.dtab3))
                << (fast ? "fast" : "literal") << ", slid_win " << slid_win;
        }
    }
}

// One or two threads chain their steps along the rows when both fields exceed the cache they are
// told of: groups of two steps (a budget of 1 byte), longer groups of odd and even lengths, and
// rasters with fewer rows than a step's window all give the bytes of the steps taken one after
// another over the whole raster, and report the same steps.
TEST(ProgressiveSmoothingFast, ChainedStepsGiveTheBytesOfStepsOneAfterAnother) {
    std::mt19937_64 rng(31);
    std::uniform_real_distribution<double> taco(-40.0, 200.0);
    const RealGrid sample = sample_taco_field();
    const RealGrid sparse = scatter(150, 97, 0.05, rng, [&](auto& r) { return taco(r); });
    const RealGrid short_rows = scatter(12, 140, 0.5, rng, [&](auto& r) { return taco(r); });
    for (const auto& [field, slid_win] :
         {std::pair<const RealGrid&, int>{sample, 61}, {sparse, 25}, {short_rows, 31}}) {
        set_chain_cache(std::numeric_limits<std::int64_t>::max());
        const Smoothed apart = smooth(field, slid_win, 2);
        for (const std::int64_t cache :
             {std::int64_t{1}, std::int64_t{128} << 10, std::int64_t{1} << 20})
            for (const int threads : {1, 2}) {
                set_chain_cache(cache);
                const Smoothed chained = smooth(field, slid_win, threads);
                EXPECT_TRUE(same_bytes(chained.dtab2, apart.dtab2))
                    << "slid_win " << slid_win << ", cache " << cache << ", threads " << threads;
                EXPECT_TRUE(same_bytes(chained.dtab3, apart.dtab3));
                EXPECT_EQ(chained.steps, apart.steps);
            }
        set_chain_cache(0);
    }
}

}  // namespace
}  // namespace ds
