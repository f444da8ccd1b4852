// The two engines write the same files: every file byte for byte, except the TACO regional
// image and table, where a smoothed value within rounding of an integer may truncate the other
// way; the number of such pixels is reported and must be 0 on these rasters.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "exe_runner.h"
#include "lib/grid.h"
#include "network_gen.h"

namespace ds::test {
namespace {

std::string as_bytes(const ByteGrid& g) {
    return {g.data(), g.data() + g.size()};
}

// A generated network: trees and walks, a blob, lines along and across the borders.
ByteGrid generated(int lines, int columns, unsigned seed) {
    gen::Rng rng(seed);
    ByteGrid g(lines, columns);
    for (int k = 0; k < 4; ++k)
        gen::random_tree(g, rng, gen::uniform(rng, 0, lines - 1), gen::uniform(rng, 0, columns - 1),
                         lines * columns / 40);
    gen::random_walk(g, rng, lines / 2, columns / 2, lines * 4);
    gen::blob(g, rng, lines / 3, columns / 3, 5, 0.6);
    gen::line(g, 0, 0, 0, 1, columns);
    gen::line(g, 0, columns / 2, 1, 0, lines);
    gen::noise(g, rng, lines * columns / 200);
    return g;
}

struct Case {
    int lines;
    int columns;
    unsigned seed;
    int window_index;
    int regional_index;
    int MNC;
};

// Runs the dialog with each engine on the same river, both treatments.
void expect_same_files(const ByteGrid& river, const Case& c) {
    const std::string descriptor =
        std::to_string(c.lines) + " " + std::to_string(c.columns) + " 1 0 255 30\n";
    const std::string answers = "F\nR\n0\n1\n" + std::to_string(c.window_index) + "\n" +
                                std::to_string(c.regional_index) + "\n" + std::to_string(c.MNC) +
                                "\n";
    ImagesRoot fast;
    ImagesRoot reference;
    for (const ImagesRoot* root : {&fast, &reference})
        root->add_river("R", c.lines, c.columns, descriptor, as_bytes(river));
    const RunResult rf = fast.run_raw(
        answers, "", "--images " + quoted(fast.root().string()) + " --engine fast --threads 2");
    const RunResult rr = reference.run_raw(
        answers, "", "--images " + quoted(reference.root().string()) + " --engine reference");
    ASSERT_EQ(rf.status, 0) << rf.err;
    ASSERT_EQ(rr.status, 0) << rr.err;
    // The same dialog and progress lines after the folder prompt, which names each root.
    const auto after_root = [](const std::string& out) {
        return out.substr(out.find("River File"));
    };
    EXPECT_EQ(after_root(rf.out), after_root(rr.out));

    std::vector<std::string> suffixes = kFdpSuffixes;
    suffixes.insert(suffixes.end(), kTacoSuffixes.begin(), kTacoSuffixes.end());
    for (const std::string& suffix : suffixes) {
        const std::string a = read_file(fast.file("R" + suffix));
        const std::string b = read_file(reference.file("R" + suffix));
        ASSERT_EQ(a.size(), b.size()) << suffix;
        if (suffix == "_TAC_RI.raw") {
            long differing = 0;
            for (std::size_t k = 0; k < a.size(); ++k)
                differing += a[k] != b[k];
            std::cout << "[ info ] " << c.lines << "x" << c.columns << " seed " << c.seed
                      << ": differing TACO regional pixels: " << differing << "\n";
            EXPECT_EQ(differing, 0);
        } else {
            EXPECT_TRUE(a == b) << suffix << " differs";
        }
    }
}

TEST(Engines, WriteTheSameFilesOnGeneratedNetworks) {
    const Case cases[] = {
        {60, 70, 1, 0, 0, 0},    {60, 70, 2, 0, 3, 1},   {80, 64, 3, 1, 1, 2},
        {90, 90, 4, 2, 0, 3},    {70, 75, 5, 3, 4, 1},   {100, 90, 6, 5, 2, 0},
        {130, 140, 7, 6, 6, 1},  {140, 130, 8, 7, 7, 2}, {40, 40, 9, 4, 11, 1},
        {200, 200, 10, 8, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("seed " + std::to_string(c.seed));
        expect_same_files(generated(c.lines, c.columns, c.seed), c);
    }
}

TEST(Engines, WriteTheSameFilesOnTheSample) {
    const std::string raw =
        read_file(fs::path(DRAINSHAPE_SOURCE_DIR) / "examples/sample_river.raw");
    ASSERT_EQ(raw.size(), 400u * 400u);
    // A band of the sample keeps the reference engine quick.
    ByteGrid band(160, 400);
    std::copy(raw.begin() + 120 * 400, raw.begin() + 280 * 400, band.data());
    expect_same_files(band, {160, 400, 0, 1, 1, 1});
}

}  // namespace
}  // namespace ds::test
