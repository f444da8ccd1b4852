// Runs whose output cannot be written (a file that is really the full device /dev/full): a
// message naming the file, a failure status, the finished files intact and the others named.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/exe_runner.h"
#include "tests/small_network.h"

namespace ds {
namespace {

using test::ImagesRoot;
using test::read_file;

constexpr const char* kTacoAnswers = "F\nR\n0\n0\n0\n0\n1\n";
constexpr const char* kBothAnswers = "F\nR\n0\n1\n0\n0\n1\n";

void add_network(const ImagesRoot& images) {
    images.add_river("R", test::kNetLines, test::kNetColumns, test::small_network_descriptor(),
                     test::small_network());
}

struct Failure {
    std::string full;                  // the output that is /dev/full
    std::string answers;               // the dialog
    std::set<std::string> incomplete;  // outputs that the run must name as incomplete
};

class WriteFailureTest : public ::testing::TestWithParam<Failure> {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists("/dev/full"))
            GTEST_SKIP() << "no /dev/full";
    }
};

TEST_P(WriteFailureTest, NamesTheFileKeepsTheFinishedOnesAndFails) {
    const Failure& c = GetParam();
    ImagesRoot reference;
    add_network(reference);
    const auto clean = reference.run(c.answers);
    ASSERT_EQ(clean.status, 0) << clean.err;

    ImagesRoot images;
    add_network(images);
    std::filesystem::create_symlink("/dev/full", images.file(c.full));
    const auto r = images.run(c.answers);
    EXPECT_EQ(r.status, 1);
    const std::string path = images.file(c.full).string();
    EXPECT_EQ(r.err.rfind("\n\tCannot write file " + path + ": No space left on device\n", 0), 0u)
        << r.err;

    for (const std::string& f : reference.files()) {
        const std::string named = "\tincomplete: " + images.file(f).string() + "\n";
        if (c.incomplete.contains(f)) {
            EXPECT_NE(r.err.find(named), std::string::npos) << f << r.err;
        } else {
            EXPECT_EQ(r.err.find(named), std::string::npos) << f << r.err;
            EXPECT_EQ(read_file(images.file(f)), read_file(reference.file(f))) << f;
        }
    }
    EXPECT_EQ(read_file(images.file("R.raw")), test::small_network());
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, WriteFailureTest,
    ::testing::Values(
        // The first file closed: every TACO file is still open.
        Failure{"R_TAC_DN.txt",
                kTacoAnswers,
                {"R_TAC_DN.raw", "R_TAC_DN.txt", "R_TAC_DN.xls", "R_TAC_RI.raw", "R_TAC_RI.txt",
                 "R_TAC_RI.xls"}},
        // An image: its descriptor is finished, its table is not.
        Failure{"R_TAC_RI.raw", kTacoAnswers, {"R_TAC_RI.raw", "R_TAC_RI.xls"}},
        // The last file of a run of both treatments: all others are finished.
        Failure{"R_FDP_ER1.xls", kBothAnswers, {"R_FDP_ER1.xls"}},
        // A regional FDP image, with the second regional pass and the TACO files to come.
        Failure{"R_FDP_RI.raw",
                kBothAnswers,
                {"R_FDP_RI.raw", "R_FDP_RI.xls", "R_FDP_RI2.raw", "R_FDP_RI2.xls", "R_TAC_DN.raw",
                 "R_TAC_DN.txt", "R_TAC_DN.xls", "R_TAC_RI.raw", "R_TAC_RI.txt", "R_TAC_RI.xls",
                 "R_FDP_ER0.xls", "R_FDP_ER1.xls"}}),
    [](const auto& info) {
        std::string name = info.param.full.substr(2);
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

// An image larger than the stream buffer fails in the middle of its rows, not at its close.
TEST(WriteFailure, AnImageThatFailsPartWayIsReportedToo) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    ImagesRoot images;
    images.add_river("R", 100, 120, "100 120 1 0 255 30");
    std::filesystem::create_symlink("/dev/full", images.file("R_TAC_DN.raw"));
    const auto r = images.run(kTacoAnswers);
    EXPECT_EQ(r.status, 1);
    const std::string path = images.file("R_TAC_DN.raw").string();
    EXPECT_EQ(r.err.rfind("\n\tCannot write file " + path + ": No space left on device\n", 0), 0u)
        << r.err;
    EXPECT_NE(r.err.find("\tincomplete: " + path + "\n"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace ds
