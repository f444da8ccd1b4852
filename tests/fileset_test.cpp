// The output file set created by a run, driven through the real executable.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "io/file_set.h"
#include "tests/exe_runner.h"

namespace ds {
namespace {

using test::header;
using test::ImagesRoot;
using test::parameter_lines;
using test::read_file;

const std::vector<std::string> kTacoSuffixes = file_set_suffixes(false);
const std::vector<std::string> kAllSuffixes = file_set_suffixes(true);

std::set<std::string> named(const std::string& base, const std::vector<std::string>& suffixes) {
    std::set<std::string> out;
    for (const auto& s : suffixes)
        out.insert(base + s);
    return out;
}

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The river's third to fifth descriptor values differ from the constants of the outputs.
constexpr const char* kRiverDescriptor = "9 11 7 3 100 30";

TEST(FileSet, TacoOnlyMakesTheSixTacoFilesInTheRiverFolder) {
    ImagesRoot images;
    images.add_river("R", 9, 11, kRiverDescriptor);
    const auto r = images.run("F\nR\n0\n0\n1\n4\n2\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto expected = named("R", kTacoSuffixes);
    expected.insert({"R.raw", "R.txt"});
    EXPECT_EQ(images.files(), expected);
    for (const char* d : {"R_TAC_DN.txt", "R_TAC_RI.txt"}) {
        const std::string text = read_file(images.file(d));
        EXPECT_TRUE(starts_with(text, header(9, 11, 30) + parameter_lines(25, 61, 2))) << d << text;
    }
    EXPECT_EQ(read_file(images.file("R.txt")), kRiverDescriptor);
}

TEST(FileSet, BothTreatmentsMakeTwentyFilesWithParameterLinesInFourDescriptors) {
    ImagesRoot images;
    images.add_river("R", 9, 11, kRiverDescriptor);
    const auto r = images.run("F\nR\n1\nOut\n1\n0\n3\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    auto expected = named("Out", kAllSuffixes);
    ASSERT_EQ(expected.size(), 20u);
    expected.insert({"R.raw", "R.txt"});
    EXPECT_EQ(images.files(), expected);
    for (const char* d : {"Out_FDP_RI.txt", "Out_FDP_DN.txt", "Out_TAC_DN.txt", "Out_TAC_RI.txt"}) {
        const std::string text = read_file(images.file(d));
        EXPECT_TRUE(starts_with(text, header(9, 11, 30) + parameter_lines(13, 49, 1))) << d << text;
    }
    for (const char* d : {"Out_FDP_DN2.txt", "Out_FDP_RI2.txt"}) {
        const std::string text = read_file(images.file(d));
        EXPECT_TRUE(starts_with(text, header(9, 11, 30))) << d << text;
        EXPECT_EQ(text.find("Window Size"), std::string::npos) << d << text;
    }
}

TEST(FileSet, ANameThatWouldReplaceTheRiverFilesIsRefusedAndAskedAgain) {
    ImagesRoot images;
    const std::string raster(9 * 11, '\1');
    images.add_river("A_TAC_DN", 9, 11, kRiverDescriptor, raster);
    const auto r = images.run("F\nA_TAC_DN\n1\nA\nB\n0\n0\n3\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::count_of(r.out, "\n\tGeneric Name of the file_out (without any extention) ? "),
              2);
    EXPECT_NE(r.out.find("would replace the river file " + images.file("A_TAC_DN.raw").string()),
              std::string::npos)
        << r.out;
    EXPECT_EQ(read_file(images.file("A_TAC_DN.raw")), raster);
    EXPECT_EQ(read_file(images.file("A_TAC_DN.txt")), kRiverDescriptor);
    auto expected = named("B", kTacoSuffixes);
    expected.insert({"A_TAC_DN.raw", "A_TAC_DN.txt"});
    EXPECT_EQ(images.files(), expected);
}

TEST(FileSet, AFileThatCannotBeCreatedEndsTheRunWithStatusOne) {
    ImagesRoot images;
    images.add_river("R", 9, 11, kRiverDescriptor);
    // A directory where the TACO network descriptor would go.
    std::filesystem::create_directory(images.file("R_TAC_DN.txt"));
    const auto r = images.run("F\nR\n0\n1\n0\n3\n1\n");
    EXPECT_EQ(r.status, 1);
    const std::string path = images.file("R_TAC_DN.txt").string();
    EXPECT_EQ(r.err, "\n\tCannot create file " + path + ": it is a folder\n");
    EXPECT_EQ(images.files(), (std::set<std::string>{"R.raw", "R.txt", "R_TAC_DN.txt"}));
    // The dialog stopped there: no window question.
    EXPECT_EQ(r.out.find("Size of Window side"), std::string::npos);
}

}  // namespace
}  // namespace ds
