// `drainshape run`, driven through the real executable, and its refusals in process.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/run_command.h"

#include "tests/collect_products.h"
#include "tests/exe_runner.h"
#include "tests/sample_crop.h"

namespace ds {
namespace {

using test::ImagesRoot;
using test::quoted;
using test::read_file;
using test::RunResult;

namespace fs = std::filesystem;

RunResult run(const ImagesRoot& images, const std::string& args) {
    return images.run_raw("", "", "run " + args);
}

// For each treatment, the dialog (reference engine) and `drainshape run` (fast engine, two
// threads) write the files that the formats make of the products the library hands out.
TEST(RunCommand, FilesHoldTheProductsThatTheLibraryHandsOut) {
    // The river R, a piece of the sample.
    constexpr int kRows = 100;
    constexpr int kCols = 90;
    const std::string raster = test::sample_crop(140, 160, kRows, kCols);
    ImagesRoot images;
    images.add_river("R", kRows, kCols, test::header(kRows, kCols, 5000), raster);
    const ByteGrid river = test::grid_of_bytes(raster, kRows, kCols);
    RiverDescriptor descriptor;
    descriptor.nb_lig = kRows;
    descriptor.nb_col = kCols;
    descriptor.pix_size = 5000;
    for (const bool both : {true, false}) {
        SCOPED_TRACE(both ? "both" : "taco");
        // Both: windows of 13, one confluent; TACO: windows of 25 and 37, two confluents.
        const AnalysisParameters p =
            both ? test::parameters(13, 13, 1) : test::parameters(25, 37, 2, Treatment::Taco);
        const auto dialog =
            images.run_raw(both ? "F\nR\n1\nD\n1\n0\n0\n1\n" : "F\nR\n1\nD\n0\n1\n2\n2\n", "",
                           "--images " + quoted(images.root().string()) + " --engine reference");
        ASSERT_EQ(dialog.status, 0) << dialog.err;
        const fs::path out = images.scratch() / (both ? "both" : "taco");
        fs::create_directories(out);
        const auto r = run(
            images, quoted(images.file("R.raw").string()) + " --name D --out " +
                        quoted(out.string()) + " --threads 2 --window " + std::to_string(p.window) +
                        " --regional " + std::to_string(p.regional) + " --mnc " +
                        std::to_string(p.mnc) + " --treatment " + (both ? "both" : "taco"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "");

        const auto expected = test::file_set_of(test::analyse_copy(river, p), descriptor, p);
        EXPECT_EQ(expected.size(), both ? 20u : 6u);
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()),
                  static_cast<std::ptrdiff_t>(expected.size()));
        for (const auto& [suffix, bytes] : expected) {
            EXPECT_TRUE(read_file(out / ("D" + suffix)) == bytes) << suffix;
            EXPECT_TRUE(read_file(images.file("D" + suffix)) == bytes) << suffix;
        }
    }
}

TEST(RunCommand, DefaultsAreTheRiversNameAndFolderAndTheDefaultWindows) {
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 7 3 100 30");
    const auto r = run(images, quoted(images.file("R.raw").string()) + " --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(images.files().size(), 22u);
    const std::string descr = read_file(images.file("R_TAC_DN.txt"));
    EXPECT_EQ(descr.rfind(test::header(9, 11, 30) + test::parameter_lines(13, 49, 1), 0), 0u)
        << descr;
    // The river's own files are untouched.
    EXPECT_EQ(read_file(images.file("R.txt")), "9 11 7 3 100 30");
}

TEST(RunCommand, PixelSizeOptionReplacesTheRiversOwn) {
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 1 0 255 0");
    const auto r =
        run(images, quoted(images.file("R.raw").string()) + " --treatment taco --pixel-size 25");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(images.file("R_TAC_RI.txt")).rfind(test::header(9, 11, 25), 0), 0u);
}

// Status 2, one line naming the problem, and no file written: `drainshape run ARGS` parsed and
// checked in process.
void expect_refused(const ImagesRoot& images, const std::vector<std::string>& args,
                    const std::string& fragment) {
    std::vector<const char*> argv{"drainshape", "run"};
    std::string shown = "run";
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
        shown += " " + a;
    }
    SCOPED_TRACE(shown);
    const auto before = images.files();
    std::ostringstream out, err;
    const CommandLine cl = parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err);
    ASSERT_EQ(cl.kind, CommandLine::Kind::Run) << err.str();
    EXPECT_EQ(run_command(cl.run, err, false), kUsageStatus);
    EXPECT_EQ(out.str(), "");
    const std::string e = err.str();
    ASSERT_FALSE(e.empty());
    EXPECT_EQ(e.find('\n'), e.size() - 1) << e;
    EXPECT_EQ(e.rfind("drainshape: ", 0), 0u) << e;
    EXPECT_NE(e.find(fragment), std::string::npos) << e;
    EXPECT_EQ(images.files(), before);
}

TEST(RunCommand, ARiverThatCannotBeReadIsRefused) {
    ImagesRoot images;
    const std::string missing = images.file("R.raw").string();
    expect_refused(images, {missing}, "no river file " + missing);

    images.add_river("R", 9, 11, "");
    expect_refused(images, {missing},
                   "no descriptor " + images.file("R.txt").string() + " beside " + missing +
                       "; it should hold six integers: lines, columns, 1, 0, 255 and the pixel "
                       "size");

    images.add_river("Z", 9, 11, "0 11 1 0 255 30");
    expect_refused(images, {images.file("Z.raw").string()},
                   "gives 0 lines and 11 columns: a raster needs at least one line");

    fs::create_directory(images.file("D.raw"));
    expect_refused(images, {images.file("D.raw").string()}, "is a folder");
}

TEST(RunCommand, ARasterThatIsNotOneIsRefused) {
    ImagesRoot images;
    test::write_file(images.file("X.tif"), "not a raster at all");
#if DRAINSHAPE_WITH_GDAL
    expect_refused(images, {images.file("X.tif").string()}, "cannot read the river");
#else
    expect_refused(images, {images.file("X.tif").string()}, "built without GDAL");
#endif
}

TEST(RunCommand, AnOutputFolderThatCannotBeWrittenIsRefused) {
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 1 0 255 30");
    const std::string river = images.file("R.raw").string();
    const fs::path missing = images.scratch() / "nowhere";
    expect_refused(images, {river, "--out", missing.string()},
                   "the output folder " + missing.string() + " does not exist");
    expect_refused(images, {river, "--out", images.file("R.txt").string()}, "does not exist");
}

TEST(RunCommand, AnOutputNameThatWouldReplaceTheRiverIsRefused) {
    ImagesRoot images;
    images.add_river("A_TAC_DN", 9, 11, "9 11 1 0 255 30");
    const std::string river = images.file("A_TAC_DN.raw").string();
    expect_refused(images, {river, "--name", "A"},
                   "the output file " + river + " would replace the river file " + river);
    // Through another spelling of the same folder.
    expect_refused(images, {river, "--name", "A", "--out", (images.folder() / ".").string()},
                   "would replace the river file");
    expect_refused(images, {river, "--name", "a/b"}, "--name: 'a/b' cannot be used");
    // Too long for the file names of its outputs: refused before any grid or file exists.
    expect_refused(images, {river, "--name", std::string(260, 'n')},
                   "a name has at most 243 characters");
}

#if DRAINSHAPE_WITH_GDAL
TEST(RunCommand, GeoTiffAndPreviewOutputsMayNotReplaceTheRiverEither) {
    ImagesRoot images;
    images.add_river("A_TAC_RI", 9, 11, "9 11 1 0 255 30");
    // The river's .raw and .txt are no GeoTIFF or PNG, so only a river of that name clashes.
    const auto r = run(images, quoted(images.file("A_TAC_RI.raw").string()) +
                                   " --name B --geotiff --preview --quiet --treatment taco");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(images.files().contains("B_TAC_RI.tif"));
    EXPECT_TRUE(images.files().contains("B_TAC_RI.png"));
    EXPECT_TRUE(images.files().contains("B_report.html"));
    EXPECT_EQ(test::read_file(images.file("B_report.html")).find("<svg class=\"joint\""),
              std::string::npos);  // no dimension without its treatment
    const std::string tif = images.file("B_TAC_RI.tif").string();
    expect_refused(images, {tif, "--name", "B", "--geotiff"},
                   "the output file " + tif + " would replace the river file " +
                       tif);  // The 8-bit FDP_RI image and its real-valued layer have one name:
                              // never one over the other.
    expect_refused(
        images, {images.file("A_TAC_RI.raw").string(), "--geotiff", "--layers"},
        "--geotiff and --layers would both write " + images.file("A_TAC_RI_FDP_RI.tif").string());
}
#else
TEST(RunCommand, GeoTiffOutputNeedsGdal) {
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 1 0 255 30");
    expect_refused(images, {images.file("R.raw").string(), "--geotiff"},
                   "--geotiff: this drainshape is built without GDAL");
}
#endif

}  // namespace
}  // namespace ds
