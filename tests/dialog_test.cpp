// The console dialog, driven through the real executable.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "app/opening.h"
#include "tests/exe_runner.h"

namespace ds {
namespace {

using test::count_of;
using test::ImagesRoot;

constexpr const char* kDescriptor = "12\n15\n1\n0\n255\n30\n";
constexpr const char* kResultingOptions =
    "\n\t\t0 -----> Using the generic name R ? \n\t\t1 -----> Creating a new file ? \n\t\t";
constexpr const char* kTreatmentOptions =
    "\n\t\t0 -----> Only TACO Treatment\n\t\t1 -----> FD and TACO Treatments\n\t\t";
constexpr const char* kWindowQuestion =
    "\n\tSize of Window side used to calculate Fractal Dimension :";
constexpr const char* kRegionalQuestion =
    "\n\tSize of Window side (odd number) used for regional value :";
constexpr const char* kMenuEnd = "\n\t\t10 ====> 241\n\t\t11 ====> 661\n\t\t";

TEST(Dialog, BannerIsABoxOfTenLinesSixtyTwoWide) {
    ImagesRoot images;
    const auto r = images.run("F\nR\n");
    ASSERT_EQ(r.out.rfind("\n\n\t", 0), 0u);
    std::array<std::string, 10> lines;
    std::size_t p = 3;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k > 0) {
            ASSERT_EQ(r.out.compare(p, 2, "\n\t"), 0) << "line " << k + 1;
            p += 2;
        }
        const std::size_t end = r.out.find('\n', p);
        lines[k] = r.out.substr(p, end - p);
        p = end;
    }
    const std::string stars(62, '*');
    EXPECT_EQ(lines[0], stars);
    EXPECT_EQ(lines[9], stars);
    for (std::size_t k = 1; k < 9; ++k) {
        ASSERT_EQ(lines[k].size(), 62u) << "line " << k + 1;
        EXPECT_EQ(lines[k].front(), '*');
        EXPECT_EQ(lines[k].back(), '*');
    }
    auto inner = [&](std::size_t k) { return lines[k].substr(1, 60); };
    const std::string blank(60, ' ');
    for (std::size_t k : {1u, 3u, 4u, 5u, 8u})
        EXPECT_EQ(inner(k), blank) << "line " << k + 1;
    EXPECT_EQ(inner(2).find_first_not_of(' '), 12u);
    EXPECT_EQ(inner(6).find_first_not_of(' '), 22u);
    EXPECT_EQ(inner(7).find_first_not_of(' '), 45u);
    EXPECT_NE(inner(2).find("DRAINSHAPE"), std::string::npos);
    EXPECT_NE(inner(6).find("drainage network shape analysis"), std::string::npos);
    EXPECT_NE(inner(7).find("(2026)"), std::string::npos);
}

TEST(Dialog, ExplanationFollowsTheBannerAndPrecedesTheFolderQuestion) {
    ImagesRoot images;
    const auto r = images.run("F\nR\n");
    const std::string explanation =
        "\n\n\tThe calculation of this new parameter takes into account the lenght L of the"
        "\n\tdrainage network inside the moving window (m * m), the number Nc of confluents"
        "\n\tand the size of the window side m, according to the following formula: )"
        "\n\tR = 200-(P*100, where P = (L/(Nc+1))/m. This formula measures the dendritic"
        "\n\tlevel, but when the number of Nc = 0 and when L > m, the algorithm calculates the "
        "\n\tso-called Meander Tortuosity according to a 2nd formula: R = 100-(Coef*(L/m))."
        "\n\tSuch a procedure allows distinguishing meanders from dendritic structures; the"
        "\n\tvalue of meanders is comprised between 0 and 100 (straigth line) and the"
        "\n\tdendritic structures between 100 and 200"
        "\n\tThe program generates 6 images : _FDP_DN (Fractal Dim. Parameter of the "
        "\n\tDrainage Network; FDP_RI (Regional Interpolation); _TAC_DN (Tortuosity And "
        "\n\tConfluent of the Dranage Network); _TAC_RI (Regional Interpolation)"
        "\n\t_FDP_DN2 (Fract. Dim. of the Drainage Network calculated from the second"
        "\n\tbox size); _FDP_RI2 (Regionalization of _FDP_DN2)"
        "\n\n\tNote: The version 2 calculates the Fractal Dimension taking into account"
        "\n\tor not the first box size";
    const std::string banner_end = std::string(62, '*') + explanation +
                                   "\n\n\tName of the File Folder located in the Directory " +
                                   images.root().string() + " : ";
    EXPECT_NE(r.out.find(banner_end), std::string::npos);
}

TEST(Dialog, MissingRasterStopsWithStatusZeroBeforeAnyFile) {
    ImagesRoot images;
    const auto r = images.run("F\nR\n0\n0\n");
    EXPECT_EQ(r.status, 0);
    const std::string tail = "\n\tName of the River File (whithout extension .raw) ? \n\tNo File " +
                             images.file("R.raw").string() + " \n";
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    EXPECT_TRUE(images.files().empty());
    EXPECT_EQ(r.err, "");
}

TEST(Dialog, PromptsOfACompleteRunInOrder) {
    ImagesRoot images;
    images.add_river("R", 12, 15, kDescriptor);
    const auto r = images.run("F\nR\n0\n0\n0\n3\n1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string expected =
        "\n\n\tName of the File Folder located in the Directory " + images.root().string() +
        " : \n\tName of the River File (whithout extension .raw) ? "
        "\n\n\tTHE RIVER FILE HAS :  \n\n\t            12 LINES\n\t        AND 15 COLUMNS\n"
        "\n\n\tResulting File :" +
        kResultingOptions + "\n\tType of Treatment :" + kTreatmentOptions + kWindowQuestion +
        "\n\t\t0 ====> 13\n\t\t1 ====> 25\n\t\t2 ====> 37\n\t\t3 ====> 49"
        "\n\t\t4 ====> 61\n\t\t5 ====> 73\n\t\t6 ====> 101\n\t\t7 ====> 121"
        "\n\t\t8 ====> 181\n\t\t9 ====> 211" +
        kMenuEnd + kRegionalQuestion;
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::string(kMenuEnd) +
                         "\n\tMaximum number of confluents in a meander (max 3) ? "),
              std::string::npos);
}

TEST(Dialog, ResultingFileOptionsRepeatUntilZeroOrOne) {
    ImagesRoot images;
    images.add_river("R", 12, 15, kDescriptor);
    const auto r = images.run("F\nR\n2\n5\n1\nOut\n0\n0\n3\n1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.out, "\n\n\tResulting File :"), 1);
    EXPECT_EQ(count_of(r.out, kResultingOptions), 3);
    EXPECT_EQ(count_of(r.out, "\n\tGeneric Name of the file_out (without any extention) ? "), 1);
    EXPECT_TRUE(images.files().contains("Out_TAC_DN.raw"));
    EXPECT_FALSE(images.files().contains("R_TAC_DN.raw"));
}

TEST(Dialog, OutOfRangeAndNegativeAnswersAskAgainWithTheMenu) {
    ImagesRoot images;
    images.add_river("R", 12, 15, kDescriptor);
    // Treatment 7, -1, then 1; analysis window 12, -1, then 1; regional -1, 12, then 4;
    // confluents 4, then -2, which is kept.
    const auto r = images.run("F\nR\n0\n7\n-1\n1\n12\n-1\n1\n-1\n12\n4\n4\n-2\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.out, "\n\tType of Treatment :"), 1);
    EXPECT_EQ(count_of(r.out, kTreatmentOptions), 3);
    EXPECT_EQ(count_of(r.out, std::string(kWindowQuestion) + "\n\t\t0 ====> 13"), 3);
    EXPECT_EQ(count_of(r.out, std::string(kRegionalQuestion) + "\n\t\t0 ====> 13"), 3);
    EXPECT_EQ(count_of(r.out, kMenuEnd), 6);
    EXPECT_EQ(count_of(r.out, "\n\tMaximum number of confluents in a meander (max 3) ? "), 2);
    const std::string descr = test::read_file(images.file("R_TAC_DN.txt"));
    EXPECT_EQ(descr.rfind(test::header(12, 15, 30) + test::parameter_lines(25, 61, -2), 0), 0u)
        << descr;
    EXPECT_TRUE(images.files().contains("R_FDP_DN.raw"));
}

TEST(Dialog, UnknownArgumentsAreAUsageError) {
    ImagesRoot images;
    const auto r = images.run_raw("F\nR\n", "", "--images a --images b");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage"), std::string::npos);
}

TEST(ImagesRoot, OptionThenEnvironmentThenHome) {
    EXPECT_EQ(choose_images_root("/opt/x", "/env", "/home/u"), "/opt/x");
    EXPECT_EQ(choose_images_root(nullptr, "/env/", "/home/u"), "/env");
    EXPECT_EQ(choose_images_root("", "", "/home/u"), "/home/u/images");
    EXPECT_EQ(choose_images_root("/opt/x///", nullptr, nullptr), "/opt/x");
    EXPECT_EQ(choose_images_root(nullptr, nullptr, "/"), "//images");
}

TEST(ImagesRoot, ExecutableTakesTheEnvironmentAndHome) {
    ImagesRoot images;
    images.add_river("R", 12, 15, kDescriptor);
    const std::string answers = "F\nR\n0\n0\n0\n3\n1\n";
    const auto by_env =
        images.run_raw(answers, "DRAINSHAPE_IMAGES=" + test::quoted(images.root().string()), "");
    EXPECT_EQ(by_env.status, 0) << by_env.err;
    EXPECT_NE(by_env.out.find("Directory " + images.root().string() + " : "), std::string::npos);
    EXPECT_TRUE(images.files().contains("R_TAC_RI.txt"));

    // The home directory's "images" folder: here the parent of the root.
    const auto by_home =
        images.run_raw(answers, "HOME=" + test::quoted(images.root().parent_path().string()), "");
    EXPECT_EQ(by_home.status, 0) << by_home.err;
    EXPECT_NE(by_home.out.find("Directory " + images.root().string() + " : "), std::string::npos);
}

}  // namespace
}  // namespace ds
