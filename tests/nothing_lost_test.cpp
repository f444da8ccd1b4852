// No run replaces the river's own raster or descriptor, and a refused run keeps earlier results.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/exe_runner.h"

namespace ds {
namespace {

using test::ImagesRoot;
using test::read_file;

constexpr const char* kDescriptor = "9 11 7 3 100 30";
const std::string kRaster(99, '\1');

// The name is checked against every output of both treatments, before the treatment is asked.
TEST(NothingLost, AnOutputLinkedToARiverFileIsRefusedWhateverTheTreatment) {
    ImagesRoot images;
    images.add_river("R", 9, 11, kDescriptor, kRaster);
    std::filesystem::create_symlink("R.txt", images.file("Out_FDP_ER1.xls"));
    const auto r = images.run("F\nR\n1\nOut\nB\n0\n0\n0\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n\tThe output file " + images.file("Out_FDP_ER1.xls").string() +
                         " would replace the river file " + images.file("R.txt").string()),
              std::string::npos)
        << r.out;
    EXPECT_EQ(read_file(images.file("R.raw")), kRaster);
    EXPECT_EQ(read_file(images.file("R.txt")), kDescriptor);
    EXPECT_TRUE(images.files().contains("B_TAC_RI.raw"));
}

// A run refused for its sizes leaves earlier results of the same name alone.
TEST(NothingLost, ARefusedRunKeepsTheResultsOfAnEarlierOne) {
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 1 0 255 30", kRaster);
    ASSERT_EQ(images.run("F\nR\n0\n0\n0\n0\n1\n").status, 0);
    const std::string earlier = read_file(images.file("R_TAC_DN.txt"));
    test::write_file(images.file("R.txt"), "2000000000 2000000000 1 0 255 30");
    const auto r = images.run("F\nR\n0\n0\n0\n0\n1\n");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(read_file(images.file("R_TAC_DN.txt")), earlier);
}

}  // namespace
}  // namespace ds
