// The analysis as a library: both engines hand out the same products, and the products of a run
// agree with each other (tables with images, extremes, pixel counts, progress).
#include "analysis/analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "analysis/field_summaries.h"
#include "analysis/isolated_pixels.h"
#include "tests/collect_products.h"
#include "tests/network_gen.h"
#include "tests/sample_crop.h"

namespace ds::test {
namespace {

long differing(const ByteGrid& a, const ByteGrid& b) {
    return std::inner_product(a.data(), a.data() + a.size(), b.data(), 0L, std::plus<>(),
                              std::not_equal_to<>());
}

// Both treatments with each engine: the same products, fields and progress. The one allowed
// difference, a smoothed TACO value within rounding of an integer truncating the other way, is
// counted with the others and must not occur on these rasters.
void expect_same_products(const ByteGrid& tab, AnalysisParameters p) {
    p.fields = true;
    p.threads = 2;
    RecordedProgress fast_calls, reference_calls;
    const Products fast = analyse_copy(tab, p, &fast_calls);
    p.engine = Engine::Reference;
    const Products reference = analyse_copy(tab, p, &reference_calls);
    EXPECT_EQ(fast.order, reference.order);
    for (const auto& [name, f] : fast.images) {
        const ImageCopy& r = reference[name];
        EXPECT_EQ(differing(f.image, r.image), 0) << name;
        EXPECT_EQ(f.counts, r.counts) << name;
        EXPECT_EQ(f.min, r.min) << name;
        EXPECT_EQ(f.max, r.max) << name;
    }
    EXPECT_EQ(fast.r2, reference.r2);
    EXPECT_TRUE(fast.taco == reference.taco);
    EXPECT_TRUE(fast.fdp == reference.fdp);
    EXPECT_TRUE(fast.fdp2 == reference.fdp2);
    EXPECT_TRUE(fast.fit_r2 == reference.fit_r2);
    EXPECT_TRUE(fast.fit_r2_2 == reference.fit_r2_2);
    EXPECT_EQ(fast_calls.calls, reference_calls.calls);
}

TEST(Analysis, EnginesGiveTheSameProductsOnGeneratedNetworks) {
    struct Case {
        int lines, columns;
        unsigned seed;
        int window, regional, MNC;
    };
    for (const Case& c :
         {Case{60, 70, 1, 13, 13, 0}, Case{60, 70, 2, 13, 49, 1}, Case{80, 64, 3, 25, 25, 2},
          Case{90, 90, 4, 37, 13, 3}, Case{70, 75, 5, 49, 61, 1}, Case{100, 90, 6, 73, 37, 0},
          Case{130, 140, 7, 101, 101, 1}, Case{140, 130, 8, 121, 121, 2},
          Case{40, 40, 9, 61, 661, 1}, Case{200, 200, 10, 181, 13, 1}}) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        expect_same_products(gen::network(c.lines, c.columns, c.seed),
                             parameters(c.window, c.regional, c.MNC));
    }
}

TEST(Analysis, EnginesGiveTheSameProductsOnTheSample) {
    // A band of the sample keeps the reference engine quick.
    expect_same_products(grid_of_bytes(sample_crop(120, 0, 160, 400), 160, 400),
                         parameters(25, 25, 1));
}

// Pixels of `image` whose value is `v`.
std::int64_t pixels_of(const ByteGrid& image, int v) {
    return std::count(image.data(), image.data() + image.size(), v);
}

TEST(Analysis, ProductsOfTheSampleAgreeWithEachOther) {
    const ByteGrid river = grid_of_bytes(sample_crop(0, 0, 400, 400), 400, 400);
    RecordedProgress both_calls, taco_calls;
    const Products both = analyse_copy(river, parameters(13, 13, 1), &both_calls);
    const Products taco = analyse_copy(river, parameters(13, 13, 1, Treatment::Taco), &taco_calls);

    std::vector<std::string> all;
    for (const ProductInfo& info : kProducts)
        all.emplace_back(info.name);
    EXPECT_EQ(both.order, all);
    EXPECT_EQ(taco.order, (std::vector<std::string>{"TAC_DN", "TAC_RI"}));
    // TACO alone makes the same TACO products, and no FDP stage.
    for (const char* name : {"TAC_DN", "TAC_RI"}) {
        EXPECT_TRUE(taco[name].image == both[name].image) << name;
        EXPECT_EQ(taco[name].counts, both[name].counts) << name;
    }
    EXPECT_EQ(std::count(taco_calls.calls.begin(), taco_calls.calls.end(), "saving 0 0"), 0);
    EXPECT_EQ(std::count(both_calls.calls.begin(), both_calls.calls.end(), "saving 0 0"), 1);

    // Every table class counts the image pixels of its value.
    for (const auto& [name, c] : both.images) {
        const int top = find_product(name)->parameter == Parameter::Taco ? 200 : 255;
        for (int v = 1; v <= top; ++v)
            ASSERT_EQ(c.counts[static_cast<std::size_t>(v)], pixels_of(c.image, v))
                << name << " value " << v;
    }
    EXPECT_GT(both["TAC_RI"].image.size() - pixels_of(both["TAC_RI"].image, 0), 1000);
    EXPECT_EQ(both["TAC_DN"].min, both["TAC_RI"].min);
    EXPECT_EQ(both["TAC_DN"].max, both["TAC_RI"].max);

    // Processed: the network pixels left after the isolated ones, 6 or more from every edge.
    ByteGrid marked = river;
    mark_isolated(marked);
    std::int64_t processed = 0;
    for (int i = 6; i < 394; ++i)
        for (int j = 6; j < 394; ++j)
            processed += marked(i, j) == 1;
    ASSERT_GT(processed, 5000);
    EXPECT_EQ(both.summary.processed, processed);
    EXPECT_EQ(both["FDP_DN"].image.size() - pixels_of(both["FDP_DN"].image, 0), processed);
    for (const auto& [name, counts] : both.r2)
        EXPECT_EQ(std::accumulate(counts.begin(), counts.end(), std::int64_t{0}), processed);

    // Regional images carry the extremes of the network image of their estimate, and every
    // FDP table adds up to 100%.
    for (const auto& [dn, ri] : {std::pair{"FDP_DN", "FDP_RI"}, std::pair{"FDP_DN2", "FDP_RI2"}}) {
        EXPECT_EQ(both[dn].min, both[ri].min);
        EXPECT_EQ(both[dn].max, both[ri].max);
        for (const char* name : {dn, ri}) {
            const ImageCopy& c = both[name];
            const FrequencyTable t = image_table(*find_product(name), c.counts, c.min, c.max);
            ASSERT_FALSE(t.rows.empty()) << name;
            double percent = 0;
            for (const auto& row : t.rows)
                percent += row[2];
            EXPECT_NEAR(percent, 100.0, 1e-9) << name;
        }
    }
}

TEST(Analysis, ARasterTooSmallForAnyWindowGivesEmptyProducts) {
    ByteGrid river(12, 40);
    river.fill(1);
    RecordedProgress calls;
    const Products p = analyse_copy(river, parameters(13, 13, 1), &calls);
    for (const std::string& call : calls.calls)
        EXPECT_NE(call.rfind("line ", 0), 0u) << call;
    for (const auto& [name, c] : p.images) {
        EXPECT_EQ(pixels_of(c.image, 0), c.image.size()) << name;
        const bool taco = find_product(name)->parameter == Parameter::Taco;
        EXPECT_EQ(c.min, taco ? 1000.0 : 10.0) << name;
        EXPECT_EQ(c.max, 0.0) << name;
        const FrequencyTable t = image_table(*find_product(name), c.counts, c.min, c.max);
        EXPECT_EQ(t.rows.size(), taco ? 200u : 0u) << name;
        for (const auto& row : t.rows)
            EXPECT_EQ(row[1], 0.0) << name;
    }
    for (const auto& [name, counts] : p.r2)
        EXPECT_EQ(counts, R2Histogram{}) << name;
}

TEST(Analysis, FirstPassReportsEveryFiftiethLineCountedFromOne) {
    ByteGrid river(120, 20);
    for (int i = 0; i < 120; ++i)
        river(i, 10) = 1;
    RecordedProgress calls;
    const Products p = analyse_copy(river, parameters(13, 13, 1, Treatment::Taco), &calls);
    // Rows 6 to 113: lines 50 and 100 after 43 and 93 rows; every pixel of them is processed.
    ASSERT_GE(calls.calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.calls.begin(), calls.calls.begin() + 4),
              (std::vector<std::string>{"begin 0 108", "line 50 43", "line 100 93", "end 0 108"}));
    // Every branch is a straight segment of 13 cells: 100 - 400 * 13 / 169 + 0.0008, rounded.
    EXPECT_EQ(p["TAC_DN"].image(60, 10), 69);
}

// Four processed pixels of two fields: classes from the extremes of each field, the largest
// value in the last class, a pixel whose R² is not a number left out of every cell.
TEST(FieldSummaries, JointHistogramCountsEachPixelInTheCellOfItsTwoClasses) {
    SparsePositions at{2, 3, {0, 2, 4}, {0, 2, 1, 2}};
    const std::vector<double> fdp{100.0, 160.0, 130.0, 159.9};  // dimension x 100
    const std::vector<double> r2{0.5, 1.0, std::nan(""), 0.9};
    const BinnedValues x = bin_values({&at, fdp}, 3, 0.01);
    const BinnedValues y = bin_values({&at, r2}, 2);
    EXPECT_DOUBLE_EQ(x.axis.lo, 1.0);
    EXPECT_DOUBLE_EQ(x.axis.hi, 1.6);
    EXPECT_EQ(x.bin, (std::vector<std::uint8_t>{0, 2, 1, 2}));
    EXPECT_EQ(y.axis.lo, 0.5);
    EXPECT_EQ(y.axis.hi, 1.0);
    const JointHistogram h = joint_histogram(x, y);
    ASSERT_EQ(h.counts.size(), 6U);
    EXPECT_EQ(h.at(0, 0), 1);
    EXPECT_EQ(h.at(2, 1), 2);
    EXPECT_EQ(std::accumulate(h.counts.begin(), h.counts.end(), std::int64_t{0}), 3);
    EXPECT_EQ(h.left_out, 1);
    // The partner of another run's field is refused, not read past its end.
    EXPECT_THROW(joint_histogram(x, bin_values({&at, std::vector<double>{0.5}}, 2)),
                 std::invalid_argument);

    RealGrid taco(2, 2);
    EXPECT_FALSE(nonzero_range(taco));
    taco(0, 1) = -3.5;
    taco(1, 1) = 120.25;
    const auto r = nonzero_range(taco);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->lo, -3.5);
    EXPECT_EQ(r->hi, 120.25);
}
}  // namespace
}  // namespace ds::test
