// End-to-end runs of the dialog: the files of a complete run, their sizes, line counts and the
// consistency of tables, images and descriptors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/isolated_pixels.h"
#include "exe_runner.h"
#include "io/lecture.h"
#include "lib/grid.h"

namespace ds::test {
namespace {

const fs::path kSample = fs::path(DRAINSHAPE_SOURCE_DIR) / "examples";

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::size_t p = 0;
    while (p < text.size()) {
        std::size_t q = text.find('\n', p);
        if (q == std::string::npos)
            q = text.size();
        out.push_back(text.substr(p, q - p));
        p = q + 1;
    }
    return out;
}

std::vector<std::string> columns_of(const std::string& line) {
    std::vector<std::string> out;
    std::size_t p = 0;
    for (;;) {
        const std::size_t q = line.find('\t', p);
        out.push_back(line.substr(p, q == std::string::npos ? q : q - p));
        if (q == std::string::npos)
            return out;
        p = q + 1;
    }
}

// Sum of the count column of a table (header skipped).
long table_total(const std::string& text) {
    long total = 0;
    const auto rows = lines_of(text);
    for (std::size_t k = 1; k < rows.size(); ++k)
        total += std::atol(columns_of(rows[k])[1].c_str());
    return total;
}

long bytes_in(const std::string& image, int lo, int hi) {
    return std::count_if(image.begin(), image.end(), [&](char c) {
        const int v = static_cast<unsigned char>(c);
        return v >= lo && v <= hi;
    });
}

// Eligible pixels of a raster for a window of half side h: 1 after the isolated-pixel pass,
// at least h from every edge.
long eligible_pixels(const std::string& raw, int lines, int columns, int h) {
    ByteGrid tab(lines, columns);
    std::copy(raw.begin(), raw.end(), tab.data());
    mark_isolated(tab);
    long n = 0;
    for (int i = h; i < lines - h; ++i)
        for (int j = h; j < columns - h; ++j)
            n += tab(i, j) == 1;
    return n;
}

struct SampleRun {
    ImagesRoot root;
    RunResult result;
    std::string file(const std::string& suffix) const {
        return read_file(root.file("sample_river" + suffix));
    }
};

// The sample network with window 13, regional window 13 and MNC 1.
void run_sample(SampleRun& run, int TACO_Solo) {
    fs::copy_file(kSample / "sample_river.raw", run.root.file("sample_river.raw"));
    fs::copy_file(kSample / "sample_river.txt", run.root.file("sample_river.txt"));
    run.result = run.root.run("F\nsample_river\n0\n" + std::to_string(TACO_Solo) + "\n0\n0\n1\n");
}

void expect_taco_products(const SampleRun& run) {
    const std::string dn = run.file("_TAC_DN.raw");
    const std::string ri = run.file("_TAC_RI.raw");
    ASSERT_EQ(dn.size(), 400u * 400u);
    ASSERT_EQ(ri.size(), 400u * 400u);
    for (const char* t : {"_TAC_DN.xls", "_TAC_RI.xls"}) {
        const auto rows = lines_of(run.file(t));
        ASSERT_EQ(rows.size(), 201u) << t;
        EXPECT_EQ(rows[0], "TAC\tPix.Numb.\tPercent.");
        EXPECT_EQ(columns_of(rows[1])[0], "1");
        EXPECT_EQ(columns_of(rows[200])[0], "200");
        EXPECT_EQ(run.file(t).back(), '\n');
    }
    // Every table row counts the image pixels of its value.
    EXPECT_EQ(table_total(run.file("_TAC_DN.xls")), bytes_in(dn, 1, 200));
    EXPECT_EQ(table_total(run.file("_TAC_RI.xls")), bytes_in(ri, 1, 200));
    EXPECT_GT(bytes_in(ri, 1, 200), 1000);

    const std::string dn_txt = run.file("_TAC_DN.txt");
    EXPECT_EQ(dn_txt, run.file("_TAC_RI.txt"));
    EXPECT_EQ(dn_txt.rfind(header(400, 400, 5000) + parameter_lines(13, 13, 1) +
                               "\n\n\tTortuosity And Confluent Parameter. Min. = ",
                           0),
              0u);
    EXPECT_NE(dn_txt.find(" \n\tTortuosity And Confluent Parameter. Max. = "), std::string::npos);
    EXPECT_EQ(dn_txt.back(), ' ');
}

TEST(Run, TacoOnlyOnTheSampleWritesTheSixTacoFiles) {
    SampleRun run;
    run_sample(run, 0);
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(run.root.files().size(), 8u);  // the river's two files and six outputs
    expect_taco_products(run);
    EXPECT_NE(run.result.out.find("\n\tFirst Calculation\n\n"), std::string::npos);
    EXPECT_NE(run.result.out.find("\n\n\tSaving TACO Parameter\nn\t\tStep = 3           \r"),
              std::string::npos);
    EXPECT_NE(run.result.out.find("\t\tStep = 13           \r"), std::string::npos);
    EXPECT_EQ(run.result.out.find("Saving Fractal Dimension"), std::string::npos);
}

TEST(Run, BothTreatmentsOnTheSampleWriteTwentyConsistentFiles) {
    SampleRun run;
    run_sample(run, 1);
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    EXPECT_EQ(run.root.files().size(), 22u);
    expect_taco_products(run);

    const long processed = eligible_pixels(read_file(kSample / "sample_river.raw"), 400, 400, 6);
    ASSERT_GT(processed, 5000);
    for (const char* t : {"_FDP_ER0.xls", "_FDP_ER1.xls"}) {
        const auto rows = lines_of(run.file(t));
        ASSERT_EQ(rows.size(), 1002u) << t;
        EXPECT_EQ(rows[0], "R2\tFrequence");
        EXPECT_EQ(rows[1].rfind("0.000000\t", 0), 0u);
        EXPECT_EQ(rows[1001].rfind("1.000000\t", 0), 0u);
        EXPECT_EQ(table_total(run.file(t)), processed) << t;
    }

    for (const char* s : {"_FDP_DN", "_FDP_DN2", "_FDP_RI", "_FDP_RI2"}) {
        const std::string image = run.file(std::string(s) + ".raw");
        ASSERT_EQ(image.size(), 400u * 400u) << s;
        const auto rows = lines_of(run.file(std::string(s) + ".xls"));
        ASSERT_GE(rows.size(), 2u) << s;
        EXPECT_EQ(rows[0], "Fract.Dim.\tPix.Numb.\tPercent.");
        // Rows run over consecutive hundredths; each counts the image pixels of its bin.
        const int lo = static_cast<int>(std::atof(columns_of(rows[1])[0].c_str()) * 100 + 0.5);
        const int hi = lo + static_cast<int>(rows.size()) - 2;
        double percent = 0;
        for (std::size_t k = 1; k < rows.size(); ++k) {
            const auto c = columns_of(rows[k]);
            const int b = lo + static_cast<int>(k) - 1;
            EXPECT_EQ(std::atol(c[1].c_str()), bytes_in(image, b, b)) << s << " bin " << b;
            percent += std::atof(c[2].c_str());
        }
        EXPECT_NEAR(percent, 100.0, 1e-3) << s;
        EXPECT_LE(table_total(run.file(std::string(s) + ".xls")), bytes_in(image, lo, hi + 1));
    }
    // The network image holds one value per processed pixel.
    EXPECT_EQ(bytes_in(run.file("_FDP_DN.raw"), 1, 255), processed);

    // Regional descriptors carry the extremes of the network image of the same estimate.
    const auto extremes = [](const std::string& txt) { return txt.substr(txt.rfind("\n\n")); };
    EXPECT_EQ(extremes(run.file("_FDP_RI.txt")), extremes(run.file("_FDP_DN.txt")));
    EXPECT_EQ(extremes(run.file("_FDP_RI2.txt")), extremes(run.file("_FDP_DN2.txt")));
    EXPECT_EQ(run.file("_FDP_DN2.txt")
                  .rfind(header(400, 400, 5000) + "\n\n\t Fractal Dimension Parameter Min. = ", 0),
              0u);
    EXPECT_EQ(extremes(run.file("_FDP_DN.txt")).back(), ' ');
}

TEST(Run, ARasterTooSmallForAnyWindowGivesEmptyProducts) {
    ImagesRoot root;
    root.add_river("R", 12, 40, "12 40 1 0 255 30", std::string(12 * 40, '\1'));
    const RunResult r = root.run("F\nR\n0\n1\n0\n0\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("\t\tline "), std::string::npos);
    for (const char* s : {"_TAC_DN.txt", "_TAC_RI.txt"}) {
        const std::string txt = read_file(root.file(std::string("R") + s));
        EXPECT_EQ(txt.substr(txt.rfind("\n\n")),
                  "\n\n\tTortuosity And Confluent Parameter. Min. = 1000.000000 "
                  "\n\tTortuosity And Confluent Parameter. Max. = 0.000000 ");
    }
    for (const char* s : {"_FDP_DN.txt", "_FDP_RI2.txt"}) {
        const std::string txt = read_file(root.file(std::string("R") + s));
        EXPECT_EQ(txt.substr(txt.rfind("\n\n")),
                  "\n\n\t Fractal Dimension Parameter Min. = 10.000000 "
                  "\n\t Fractal Dimension Parameter Max. = 0.000000 ");
    }
    for (const char* s : {"_TAC_DN", "_TAC_RI", "_FDP_DN", "_FDP_DN2", "_FDP_RI", "_FDP_RI2"}) {
        const std::string image = read_file(root.file(std::string("R") + s + ".raw"));
        EXPECT_EQ(image, std::string(12 * 40, '\0')) << s;
    }
    for (const char* s : {"_TAC_DN.xls", "_TAC_RI.xls"}) {
        const auto rows = lines_of(read_file(root.file(std::string("R") + s)));
        ASSERT_EQ(rows.size(), 201u);
        EXPECT_EQ(rows[150], "150\t0\t0.000000");
    }
    EXPECT_EQ(read_file(root.file("R_FDP_DN.xls")), "Fract.Dim.\tPix.Numb.\tPercent.\n");
    EXPECT_EQ(table_total(read_file(root.file("R_FDP_ER1.xls"))), 0);
}

TEST(Run, ProgressLinesOfTheFirstPassCountLinesFromOne) {
    ImagesRoot root;
    std::string raw(120 * 20, '\0');
    for (int i = 0; i < 120; ++i)
        raw[static_cast<std::size_t>(i * 20 + 10)] = 1;  // a river
    root.add_river("R", 120, 20, "120 20 1 0 255 30", raw);
    const RunResult r = root.run("F\nR\n0\n0\n0\n0\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string first = r.out.substr(0, r.out.find("Saving TACO"));
    EXPECT_EQ(count_of(first, "\t\tline 50               \r "), 1);
    EXPECT_EQ(count_of(first, "\t\tline 100               \r "), 1);
    EXPECT_EQ(count_of(first, "\t\tline "), 2);
    // A vertical river: every pixel's branch is a straight segment of 13 cells.
    const std::string dn = read_file(root.file("R_TAC_DN.raw"));
    EXPECT_EQ(static_cast<unsigned char>(dn[60 * 20 + 10]), 69);  // 100 - 400*13/169 + 0.0008
}

}  // namespace
}  // namespace ds::test
