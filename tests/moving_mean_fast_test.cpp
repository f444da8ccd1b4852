#include "lib/moving_mean_fast.h"

#include <gtest/gtest.h>

#include <numeric>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
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

// Largest difference relative to the literal value (absolute where the literal is 0).
double worst_relative_error(const RealGrid& fast, const RealGrid& literal) {
    double worst = 0.0;
    for (std::int64_t i = 0; i < fast.rows(); ++i)
        for (std::int64_t j = 0; j < fast.cols(); ++j) {
            const double ref = literal(i, j);
            const double d = std::fabs(fast(i, j) - ref);
            worst = std::max(worst, ref != 0.0 ? d / std::fabs(ref) : d);
        }
    return worst;
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

TEST(RunningPositiveMean, MatchesTheLiteralMeansForAnyThreadCount) {
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
    // Several row blocks, with windows summed from nothing (up to a side of 256) and slid
    // from the top.
    for (const int half : {20, 33, 45})
        cases.push_back({260, 71, 0.2, half});
    cases.push_back({401, 265, 0.2, 127});
    cases.push_back({401, 265, 0.2, 128});
    for (const Case& c : cases) {
        const auto what = testing::Message() << c.rows << "x" << c.cols << " half " << c.half
                                             << " density " << c.density;
        const RealGrid src =
            scatter(c.rows, c.cols, c.density, rng, [&](auto& r) { return value(r); });
        const RealGrid ref = literal_means(src, c.half);
        RealGrid one(c.rows, c.cols), two(c.rows, c.cols), narrow(c.rows, c.cols);
        running_positive_mean(src, c.half, one, 1);
        running_positive_mean(src, c.half, two, 2);
        running::force_lanes(2);
        running_positive_mean(src, c.half, narrow, 3);
        running::force_lanes(0);
        EXPECT_TRUE(one == two) << what;
        EXPECT_TRUE(one == narrow) << what;
        EXPECT_LT(worst_relative_error(one, ref), 1e-14) << what;
        // Counts are exact: an empty window gives exactly 0, a full one a positive mean.
        for (std::int64_t i = c.half; i < c.rows - c.half; ++i)
            for (std::int64_t j = c.half; j < c.cols - c.half; ++j)
                ASSERT_EQ(one(i, j) == 0.0, ref(i, j) == 0.0) << what << " at " << i << "," << j;
    }
}

// A process that holds only a band of the rows gets the very doubles of the whole grid when its
// band starts at a multiple of the row period, for windows summed from nothing and for windows
// slid down to their block starts alike; the rows outside the band are left alone, by the
// literal twin too. On the first rows, huge values alternate with small ones, which a sum that
// slides past them keeps only in its rounded error part: the sums further down differ in their
// last bits from sums that start afresh below them.
TEST(RunningPositiveMean, ABandFromAPeriodRowGivesTheWholeGridsDoubles) {
    std::mt19937_64 rng(23);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    RealGrid src = scatter(1500, 421, 0.3, rng, [&](auto& r) { return 0.001 + 0.01 * unit(r); });
    for (std::int64_t i = 0; i < 200; ++i)
        for (std::int64_t j = 0; j < src.cols(); ++j)
            src(i, j) = i % 2 == 0 ? 1e15 * (1.0 + unit(rng)) : 0.1 + 8.0 * unit(rng);
    const auto computed = [&](std::int64_t i, std::int64_t j, int half, std::int64_t first,
                              std::int64_t rows) {
        return i >= first + half && i < first + rows - half && j >= half && j < src.cols() - half;
    };
    for (const int half : {3, 40, 128, 200}) {
        const std::int64_t period = running::row_period(half);
        ASSERT_EQ(period % 64, 0) << half;
        RealGrid whole(src.rows(), src.cols());
        running_positive_mean(src, half, whole, 2);
        for (const std::int64_t first : {period, 2 * period}) {
            const std::int64_t rows = src.rows() - first - 37;
            RealGrid band(src.rows(), src.cols());
            band.fill(-1.0);
            running_positive_mean(src, half, band, 1, first, rows);
            for (std::int64_t i = 0; i < src.rows(); ++i)
                for (std::int64_t j = 0; j < src.cols(); ++j)
                    ASSERT_EQ(band(i, j), computed(i, j, half, first, rows) ? whole(i, j) : -1.0)
                        << "half " << half << " band from " << first << " at " << i << "," << j;
        }
    }
    RealGrid literal(src.rows(), src.cols());
    literal.fill(-1.0);
    positive_mean(src, 2, literal, 230, 40);
    for (std::int64_t i = 0; i < src.rows(); ++i)
        for (std::int64_t j = 0; j < src.cols(); ++j)
            ASSERT_EQ(literal(i, j) == -1.0, !computed(i, j, 2, 230, 40)) << i << "," << j;
}

TEST(RunningPositiveMean, KernelWidthsAreTwoOrFour) {
    running::force_lanes(2);
    EXPECT_EQ(running::lanes(), 2);
    running::force_lanes(0);
    EXPECT_TRUE(running::lanes() == 2 || running::lanes() == 4);
    if (running::lanes() == 2) {
        EXPECT_THROW(running::force_lanes(4), std::invalid_argument);
    }
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

TEST(RunningPositiveMean, LargeValuesThatLeftTheWindowLeaveNoError) {
    // Column 3 holds 1e15 on its first 40 rows, then 0.1 on every row. A sum that slides in
    // plain double keeps an error of about 1e-1 from the large values; the compensated one
    // keeps the means of the small values to the last bits.
    RealGrid src(400, 7), dst(400, 7);
    for (std::int64_t i = 0; i < 400; ++i)
        src(i, 3) = i < 40 ? 1e15 : 0.1 * (1 + i % 7);
    running_positive_mean(src, 2, dst, 2);
    const RealGrid ref = literal_means(src, 2);
    for (std::int64_t i = 45; i < 398; ++i)
        EXPECT_NEAR(dst(i, 3), ref(i, 3), 1e-15 * ref(i, 3)) << i;
}

// The sparse column source adds exactly what the dense one adds.
struct Recorder final : running::WindowSink {
    explicit Recorder(std::int64_t rows, std::int64_t cols) : sum(rows, cols), n(rows, cols) {}
    void emit(int, std::int64_t i, int rows, std::int64_t j0, std::int64_t j1, const double* s,
              const double* cnt) override {
        for (std::int64_t j = j0; j < j1; ++j)
            for (int k = 0; k < rows; ++k) {
                const std::int64_t q = (j - j0) * running::kGroupRows + k;
                sum(i + k, j) = s[q];
                n(i + k, j) = cnt[q];
            }
    }
    RealGrid sum;
    RealGrid n;
};

TEST(RunningWindowSums, SparseAndDenseColumnsGiveTheSameSums) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> value(-20.0, 250.0);
    for (const int half : {1, 3, 12, 35}) {
        const RealGrid src = scatter(150, 80, 0.05, rng, [&](auto& r) { return value(r); });
        const Sparse sparse(src);
        Recorder dense_sums(150, 80), sparse_sums(150, 80);
        std::vector<std::pair<std::int64_t, std::int64_t>> chunks;
        running::window_sums(running::DenseColumns(src), half, 2, dense_sums, 40,
                             [&](std::int64_t a, std::int64_t b) { chunks.emplace_back(a, b); });
        const SparseField f = sparse.field();
        running::window_sums(running::SparseColumns(f), half, 1, sparse_sums, 0,
                             [](std::int64_t, std::int64_t) {});
        EXPECT_TRUE(dense_sums.sum == sparse_sums.sum);
        EXPECT_TRUE(dense_sums.n == sparse_sums.n);
        // Spans that cut groups of rows and blocks anywhere change no sum.
        Recorder odd_spans(150, 80);
        running::window_sums(running::DenseColumns(src), half, 3, odd_spans, 7, {});
        EXPECT_TRUE(odd_spans.sum == dense_sums.sum);
        EXPECT_TRUE(odd_spans.n == dense_sums.n);
        // Chunks cover the rows inside the margin in order, on the calling thread.
        ASSERT_FALSE(chunks.empty());
        EXPECT_EQ(chunks.front().first, half);
        EXPECT_EQ(chunks.back().second, 150 - half);
        for (std::size_t c = 1; c < chunks.size(); ++c)
            EXPECT_EQ(chunks[c].first, chunks[c - 1].second);
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
    for (const int threads : {1, 2}) {
        const RegionalRun fast = fast_regional(dtab, bord, threads);
        EXPECT_TRUE(fast.image == lit.image) << what << ", threads " << threads;
        EXPECT_EQ(fast.hist, lit.hist) << what << ", threads " << threads;
        EXPECT_EQ(fast.lines, lit.lines) << what << ", threads " << threads;
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
    EXPECT_LT(worst_relative_error(one.dtab2, lit.dtab2), 1e-12) << what;
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
    first_pass({tab, 0, 1, false}, {dtab, dtab_v2, dtab2}, {});
    return dtab2;
}

TEST(ProgressiveSmoothingFast, NoDifferingRegionalPixelOnTheSample) {
    const RealGrid taco = sample_taco_field();
    EXPECT_EQ(compare_smoothing(taco, 13, "sample_river, window 13"), 0);
}

}  // namespace
}  // namespace ds
