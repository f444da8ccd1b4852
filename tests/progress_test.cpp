// Progress of the long stages: the dialog's fixed lines, and the bar and lines of `run`.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "app/progress.h"
#include "tests/collect_products.h"
#include "tests/exe_runner.h"
#include "tests/sample_crop.h"

namespace ds {
namespace {

using Stage = Progress::Stage;
using test::ImagesRoot;
using test::quoted;

constexpr int kRows = 120;
constexpr int kCols = 70;

std::string add_river(const ImagesRoot& images) {
    const std::string raster = test::sample_crop(200, 100, kRows, kCols);
    images.add_river("R", kRows, kCols, test::header(kRows, kCols, 5000), raster);
    return raster;
}

std::string line(int n) {
    return "\t\tline " + std::to_string(n) + "               \r ";
}

TEST(DialogProgress, TheDialogShowsItsLinesInTheOrderOfTheStages) {
    ImagesRoot images;
    add_river(images);
    // Both treatments, window 13, regional window 13: margins of 6 rows, so lines 50 and 100.
    const auto r = images.run("F\nR\n0\n1\n0\n0\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string steps;
    for (int side = 3; side <= 13; side += 2)
        steps += "\t\tStep = " + std::to_string(side) + "           \r";
    const std::string expected =
        "\n\tMaximum number of confluents in a meander (max 3) ? \n\tFirst Calculation\n\n" +
        line(50) + line(100) + "\n\n\tSaving Fractal Dimension\n" +
        "\n\tRegional calculation of first type\n" + line(50) + line(100) +
        "\n\n\tRegional calculation of second type \n" + line(50) + line(100) +
        "\n\n\tSaving TACO Parameter\n" + "n" + steps;
    ASSERT_GE(r.out.size(), expected.size());
    EXPECT_EQ(r.out.substr(r.out.size() - expected.size()), expected);
}

TEST(RunProgress, LinesPerStageAndASummaryWhenNotATerminal) {
    ImagesRoot images;
    const std::string raster = add_river(images);
    const auto r = images.run_raw(
        "", "", "run " + quoted(images.file("R.raw").string()) + " --window 25 --regional 13");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::int64_t pixels =
        test::analyse_copy(test::grid_of_bytes(raster, kRows, kCols), test::parameters(25, 13, 1))
            .summary.processed;
    ASSERT_GT(pixels, 0);
    const std::string n = std::to_string(pixels);
    const std::regex expected(
        "first pass: " + n + " network pixels in [0-9]+\\.[0-9] s\n" +
        "FDP regional means: 6264 pixels in [0-9.]+ s\n"  // (120 - 12) x (70 - 12)
        "FDP regional means \\(2\\): 6264 pixels in [0-9.]+ s\n"
        "TACO smoothing: 6 steps in [0-9.]+ s\n"
        "drainshape: 20 files written to " +
        images.file("R").string() + "_\\*; " + n + " network pixels in [0-9.]+ s\n");
    EXPECT_TRUE(std::regex_match(r.err, expected)) << r.err;
}

TEST(RunProgress, BarOnATerminal) {
    if (std::system("command -v script >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "script (util-linux) is not installed";
    ImagesRoot images;
    add_river(images);
    const auto log = images.scratch() / "terminal.txt";
    const std::string cmd = "script -qec " +
                            quoted(quoted(DRAINSHAPE_EXE) + " run " +
                                   quoted(images.file("R.raw").string()) + " --treatment taco") +
                            " /dev/null > " + quoted(log.string()) + " 2>&1 < /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string screen = test::read_file(log);
    EXPECT_NE(screen.find("\rfirst pass"), std::string::npos) << screen;
    EXPECT_NE(screen.find("100%"), std::string::npos) << screen;
    EXPECT_NE(screen.find("elapsed"), std::string::npos) << screen;
    EXPECT_NE(screen.find("\rTACO smoothing"), std::string::npos) << screen;
    // No stage lines: the bar takes their place.
    EXPECT_EQ(screen.find("first pass: "), std::string::npos) << screen;
    EXPECT_NE(screen.find("drainshape: 6 files written"), std::string::npos) << screen;
}

TEST(RunProgress, BarText) {
    EXPECT_EQ(RunProgress::bar_text(0, 100, 0, 10), "[----------]   0%  0:00 elapsed  -:-- left");
    EXPECT_EQ(RunProgress::bar_text(25, 100, 10, 10), "[##--------]  25%  0:10 elapsed  0:30 left");
    EXPECT_EQ(RunProgress::bar_text(100, 100, 61, 10), "[##########] 100%  1:01 elapsed  done");
    // More done than the total (workers reporting late) stays full; an empty stage is done.
    EXPECT_EQ(RunProgress::bar_text(7, 5, 1, 4), "[####] 100%  0:01 elapsed  done");
    EXPECT_EQ(RunProgress::bar_text(0, 0, 0, 4), "[####] 100%  0:00 elapsed  done");
    EXPECT_EQ(RunProgress::clock_text(3725), "1:02:05");
    EXPECT_EQ(RunProgress::clock_text(59.6), "1:00");
}

TEST(RunProgress, TheBarOnlyMovesForwardAndEndsEachStageOnItsOwnLine) {
    std::ostringstream err;
    RunProgress p(err, RunProgress::Style::Bar);
    p.begin(Stage::FirstPass, 200);
    p.line(50, 49);
    p.line(150, 149);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    p.line(100, 99);  // late report of an earlier row
    p.end(Stage::FirstPass, 321);
    p.begin(Stage::Smoothing, 6);
    p.end(Stage::Smoothing, 6);
    const std::string text = err.str();
    EXPECT_EQ(text.find(" 49%"), std::string::npos) << text;  // never drawn back
    EXPECT_NE(text.find(" 74%"), std::string::npos) << text;
    EXPECT_EQ(test::count_of(text, "\n"), 2);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(p.pixels(), 321);
}

TEST(RunProgress, JsonGivesOneObjectALineThatNeverGoesBack) {
    std::ostringstream err;
    RunProgress p(err, RunProgress::Style::Json);
    p.begin(Stage::FdpRegional2, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    p.line(150, 149);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    p.line(100, 99);  // late report of an earlier row
    p.end(Stage::FdpRegional2, 4321);
    EXPECT_EQ(err.str(),
              "{\"stage\":\"fdp_regional2\",\"name\":\"FDP regional means (2)\",\"done\":0,"
              "\"total\":200}\n"
              "{\"stage\":\"fdp_regional2\",\"name\":\"FDP regional means (2)\",\"done\":149,"
              "\"total\":200}\n"
              "{\"stage\":\"fdp_regional2\",\"name\":\"FDP regional means (2)\",\"done\":149,"
              "\"total\":200}\n"
              "{\"stage\":\"fdp_regional2\",\"name\":\"FDP regional means (2)\",\"done\":200,"
              "\"total\":200,\"end\":true,\"items\":4321}\n");
}

}  // namespace
}  // namespace ds
