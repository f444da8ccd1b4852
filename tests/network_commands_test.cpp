// `drainshape check`, `drainshape prepare` of a .raw and the warning of `drainshape run`, through
// the real executable, and the preparation's own call: what needs no GDAL.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "prepare/prepare.h"
#include "tests/exe_runner.h"
#include "tests/grid_picture.h"

namespace ds {
namespace {

using test::ImagesRoot;
using test::quoted;
using test::read_file;
using test::RunResult;

std::string bytes_of(const ByteGrid& g) {
    return {reinterpret_cast<const char*>(g.data()), static_cast<std::size_t>(g.size())};
}

// The hand-counted raster of the summary's test, as R.raw with its descriptor.
void add_counted_river(const ImagesRoot& images) {
    const ByteGrid g = test::hand_counted_raster();
    images.add_river("R", 8, 10, "8 10 1 0 255 30\n", bytes_of(g));
}

RunResult drainshape(const ImagesRoot& images, const std::string& args) {
    return images.run_raw("", "", args);
}

// Status `status`, nothing on the standard output, one line naming `fragment`.
void expect_one_line_error(const RunResult& r, int status, const std::string& fragment) {
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
}

TEST(CheckCommand, SummaryJsonAndStrictVerdict) {
    ImagesRoot images;
    add_counted_river(images);
    const std::string river = quoted(images.file("R.raw").string());

    const RunResult text = drainshape(images, "check " + river);
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.err, "");
    for (const char* line :
         {"  size              8 lines x 10 columns\n",
          "  pixel             30 m (from the descriptor), no coordinate system\n",
          "  values            61 of 0, 18 of 1, 1 other\n",
          "  isolated pixels   2 (left out of the analysis)\n",
          "  components        5 (8-connected), the largest 8 pixels, 2 of one or two pixels\n",
          "  loops             1\n", "  redundant pixels  10\n",
          "  verdict           no: not one pixel wide (10 redundant pixels); values other than 0 "
          "and 1 (1 pixels); drainshape prepare makes a network the analysis can trust\n"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;

    const RunResult json = drainshape(images, "check --json --strict " + river);
    EXPECT_EQ(json.status, 3) << json.err;
    EXPECT_EQ(json.out.find('\n'), json.out.size() - 1) << json.out;
    for (const char* item :
         {"\"lines\":8,", "\"values\":{\"0\":61,\"1\":18,\"other\":1}", "\"loops\":1,",
          "\"redundant_pixels\":10,", "\"one_pixel_wide\":false,", "\"verdict\":false}"})
        EXPECT_NE(json.out.find(item), std::string::npos) << item << json.out;

    // Made one pixel wide by prepare, the same river passes.
    const RunResult prepared =
        drainshape(images, "prepare " + river + " -o " + quoted(images.file("P.raw").string()));
    ASSERT_EQ(prepared.status, 0) << prepared.err;
    EXPECT_EQ(read_file(images.file("P.txt")), "8\n10\n1\n0\n255\n30\n");
    const RunResult strict =
        drainshape(images, "check --strict " + quoted(images.file("P.raw").string()));
    EXPECT_EQ(strict.status, 0) << strict.out;
    EXPECT_NE(strict.out.find("verdict           yes"), std::string::npos) << strict.out;
    EXPECT_NE(strict.out.find("loops             1\n"), std::string::npos) << strict.out;
}

TEST(CheckCommand, FilesThatCannotBeReadAndBadOptions) {
    ImagesRoot images;
    images.add_river("Short", 10, 10, "10 10 1 0 255 30\n", std::string(99, '\0'));
    images.add_river("NoTxt", 10, 10, "");
    expect_one_line_error(drainshape(images, "check " + quoted(images.file("None.raw").string())),
                          1, "None.raw");
    expect_one_line_error(drainshape(images, "check " + quoted(images.file("Short.raw").string())),
                          1, "Short.raw holds 99 bytes");
    expect_one_line_error(drainshape(images, "check " + quoted(images.file("NoTxt.raw").string())),
                          1, "NoTxt.txt");
    expect_one_line_error(drainshape(images, "check --bogus x.raw"), 2, "--bogus");
}

TEST(PrepareCommand, NothingIsWrittenWhenItCannotBe) {
    ImagesRoot images;
    add_counted_river(images);
    const std::string river = quoted(images.file("R.raw").string());
    const auto before = images.files();
    // Over the source itself, an output of no known kind, a folder that does not exist,
    // lines' options on a raster.
    expect_one_line_error(drainshape(images, "prepare " + river + " -o " + river), 2,
                          "would replace");
    expect_one_line_error(
        drainshape(images, "prepare " + river + " -o " + quoted(images.file("P.png").string())), 2,
        "OUT.tif");
    expect_one_line_error(
        drainshape(images, "prepare " + river + " -o " +
                               quoted((images.folder() / "none" / "P.raw").string())),
        1, "P.raw");
    expect_one_line_error(
        drainshape(images, "prepare " + river + " -o " + quoted(images.file("P.raw").string()) +
                               " --pixel-size 10"),
        2, "--pixel-size");
    EXPECT_EQ(images.files(), before);
    EXPECT_EQ(read_file(images.file("R.txt")), "8 10 1 0 255 30\n");
}

TEST(PrepareNetwork, TellsItsStepsInOrderWithCountsThatAddUp) {
    ImagesRoot images;
    add_counted_river(images);
    PrepareOptions o;
    o.source = images.file("R.raw").string();
    o.out = images.file("P.raw").string();
    std::vector<PrepareStep> steps;
    std::vector<std::string> warnings;
    const PreparedFile file =
        prepare_network(o, {[&](const PrepareStep& s) { steps.push_back(s); },
                            [&](const std::string& w) { warnings.push_back(w); }});
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].name, "raster");
    EXPECT_EQ(steps[0].count, 19) << "every value but 0";
    EXPECT_EQ(steps[1].name, "thinning");
    EXPECT_GT(steps[1].count, 0);
    EXPECT_EQ(file.summary.ones, steps[0].count - steps[1].count);
    EXPECT_EQ(file.summary.redundant, 0);
    EXPECT_EQ(steps[2].name, "written");
    EXPECT_EQ(steps[2].files, (std::vector<std::string>{o.out, images.file("P.txt").string()}));
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(file.raw);
    EXPECT_EQ(file.pixel.metres, 30);
    EXPECT_EQ(read_file(images.file("P.txt")), "8\n10\n1\n0\n255\n30\n");
}

TEST(RunWarning, ANetworkThatIsNotOnePixelWide) {
    ImagesRoot images;
    // A trunk drawn two pixels wide over part of its length.
    ByteGrid g(40, 40);
    for (int r = 3; r < 37; ++r)
        g(r, 20) = 1;
    for (int r = 10; r < 20; ++r)
        g(r, 21) = 1;
    images.add_river("R", 40, 40, "40 40 1 0 255 30\n", bytes_of(g));
    const RunResult r =
        drainshape(images, "run " + quoted(images.file("R.raw").string()) +
                               " --treatment taco --quiet --out " + quoted(images.scratch()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err,
              "drainshape: warning: the network is not one pixel wide (20 redundant pixels, "
              "counted as confluences); run drainshape prepare on it first\n");
}

}  // namespace
}  // namespace ds
