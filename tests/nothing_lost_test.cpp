// No run replaces the river's own raster or descriptor, whatever links lie in its folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/exe_runner.h"

namespace ds {
namespace {

using test::ImagesRoot;
using test::read_file;

namespace fs = std::filesystem;

constexpr const char* kDescriptor = "9 11 7 3 100 30";
const std::string kRaster(99, '\1');

struct Link {
    const char* output;  // an output of the name "Out"
    const char* river;   // the river file it leads to
    bool hard;
};

// Outputs of every kind, in either treatment, as symbolic and as hard links.
const std::vector<Link> kLinks = {
    {"Out_TAC_DN.raw", "R.raw", false}, {"Out_TAC_RI.txt", "R.txt", true},
    {"Out_TAC_DN.xls", "R.raw", false}, {"Out_FDP_ER1.xls", "R.txt", false},
    {"Out_FDP_RI2.xls", "R.raw", true}, {"Out_FDP_DN2.raw", "R.txt", true},
};

TEST(NothingLost, AnOutputLinkedToARiverFileIsRefused) {
    for (const Link& l : kLinks) {
        for (const char* treatment : {"0", "1"}) {
            ImagesRoot images;
            images.add_river("R", 9, 11, kDescriptor, kRaster);
            if (l.hard)
                fs::create_hard_link(images.file(l.river), images.file(l.output));
            else
                fs::create_symlink(l.river, images.file(l.output));
            const auto r = images.run("F\nR\n1\nOut\nB\n" + std::string(treatment) + "\n0\n0\n1\n");
            SCOPED_TRACE(std::string(l.output) + (l.hard ? " hard" : " symbolic") + " treatment " +
                         treatment);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.out.find("\n\tThe output file " + images.file(l.output).string() +
                                 " would replace the river file " + images.file(l.river).string()),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(read_file(images.file("R.raw")), kRaster);
            EXPECT_EQ(read_file(images.file("R.txt")), kDescriptor);
            EXPECT_TRUE(images.files().contains("B_TAC_RI.raw"));
        }
    }
}

// The river itself may be the link: its target counts, whatever its name.
TEST(NothingLost, ARiverThatIsALinkToAnOutputNameIsProtected) {
    ImagesRoot images;
    test::write_file(images.file("X_TAC_RI.raw"), kRaster);
    test::write_file(images.file("R.txt"), kDescriptor);
    fs::create_symlink("X_TAC_RI.raw", images.file("R.raw"));
    const auto r = images.run("F\nR\n1\nX\nY\n0\n0\n0\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("would replace the river file " + images.file("R.raw").string()),
              std::string::npos)
        << r.out;
    EXPECT_EQ(read_file(images.file("X_TAC_RI.raw")), kRaster);
    EXPECT_FALSE(images.files().contains("X_TAC_DN.raw"));
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
