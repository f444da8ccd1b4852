// The dialog under bad answers, driven through the real executable within a time limit: the end
// of input at every question, words and huge numbers where numbers are asked, odd names.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/exe_runner.h"

namespace ds {
namespace {

using test::count_of;
using test::ImagesRoot;
using test::read_file;

constexpr int kDialogSeconds = 60;
constexpr const char* kInputEnded = "\n\tInput ended before the dialog was complete.\n";
constexpr const char* kNotANumber = "\n\tPlease answer with a whole number.\n";
constexpr const char* kNamePrompt = "\n\tGeneric Name of the file_out (without any extention) ? ";

test::RunResult run(const ImagesRoot& images, const std::string& answers) {
    return images.run_raw(answers, "", "--images " + test::quoted(images.root().string()),
                          kDialogSeconds);
}

std::string joined(const std::vector<std::string>& answers, std::size_t n) {
    std::string text;
    for (std::size_t k = 0; k < n; ++k)
        text += answers[k] + "\n";
    return text;
}

// Answers of a whole dialog and the number of them after which the output files exist.
struct Dialog {
    const char* name;
    bool descriptor;  // the river has its descriptor
    std::string descriptor_text;
    std::vector<std::string> answers;
};

const std::vector<Dialog> kDialogs = {
    // Pixel size 0 in the descriptor, a new name, both treatments.
    {"PixelSizeAndNewName",
     true,
     "9 11 1 0 255 0",
     {"F", "R", "25", "1", "Out", "1", "0", "3", "1"}},
    // A missing descriptor, the generic name, TACO only.
    {"MissingDescriptor", false, "", {"F", "R", "9", "11", "30", "0", "0", "2", "4", "-1"}},
};

TEST(DialogEnd, EndOfInputAtEveryQuestionIsStatusTwo) {
    for (const Dialog& d : kDialogs) {
        for (std::size_t n = 0; n < d.answers.size(); ++n) {
            // Without a descriptor, the questions other than its three are those of the first.
            if (!d.descriptor && (n < 2 || n > 6))
                continue;
            ImagesRoot images;
            images.add_river("R", 9, 11, d.descriptor ? d.descriptor_text : "");
            const auto r = run(images, joined(d.answers, n));
            SCOPED_TRACE(std::string(d.name) + " after " + std::to_string(n) + " answers");
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.err.rfind(kInputEnded, 0), 0u) << r.err;
            // No output exists before the dialog is complete.
            const std::set<std::string> files = images.files();
            EXPECT_EQ(files.size(), files.contains("R.txt") ? 2u : 1u);
            // A descriptor is created only once its three answers are in.
            if (!d.descriptor) {
                EXPECT_EQ(files.contains("R.txt"), n >= 5);
            }
        }
        // The whole dialog completes.
        ImagesRoot images;
        images.add_river("R", 9, 11, d.descriptor ? d.descriptor_text : "");
        const auto r = run(images, joined(d.answers, d.answers.size()));
        EXPECT_EQ(r.status, 0) << d.name << r.err;
    }
}

TEST(DialogEnd, EndOfInputAfterRefusedAnswersIsStatusTwo) {
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 1 0 255 30");
    for (const std::string answers : {"F\nR\n7\n", "F\nR\n1\na/b\n", "F\nR\n0\n0\n12\n-3\n",
                                      "F\nR\n0\n0\n0\n0\n9\n8\n", "F\nR\nzero\n"}) {
        const auto r = run(images, answers);
        EXPECT_EQ(r.status, 2) << answers;
        EXPECT_EQ(r.err.rfind(kInputEnded, 0), 0u) << answers << r.err;
    }
}

// A bad word before each numeric answer of a dialog: one reminder each, the question asked
// again, and the same files as the dialog without them.
TEST(DialogWords, NonNumbersAndHugeNumbersAtEveryNumericQuestion) {
    const std::vector<std::string> answers = {"F", "R", "25", "1", "Out", "1", "0", "3", "1"};
    const std::vector<std::string> bad = {
        "", "", "abc", "99999999999999999999", "", "-2147483649", "1.5", "٣", "0x1"};
    ImagesRoot plain;
    plain.add_river("R", 9, 11, "9 11 1 0 255 0");
    ASSERT_EQ(run(plain, joined(answers, answers.size())).status, 0);

    std::vector<std::string> spoilt;
    for (std::size_t k = 0; k < answers.size(); ++k) {
        if (!bad[k].empty())
            spoilt.push_back(bad[k]);
        spoilt.push_back(answers[k]);
    }
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 1 0 255 0");
    const auto r = run(images, joined(spoilt, spoilt.size()));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.out, kNotANumber), 6);
    EXPECT_EQ(count_of(r.out, std::string(kNotANumber) + "\n\t\t0 -----> Using the generic name R"),
              1);
    EXPECT_EQ(images.files(), plain.files());
    for (const std::string& f : plain.files())
        EXPECT_EQ(read_file(images.file(f)), read_file(plain.file(f))) << f;
}

// The largest int is a number: out of range where a menu is asked, kept where it is not.
TEST(DialogWords, TheLargestIntIsAskedAgainOrKept) {
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 1 0 255 0");
    const std::string big = "2147483647";
    // Pixel size, Resulting File, treatment, both windows and the confluents.
    std::string answers = "F\nR\n" + big + "\n";
    for (const char* next : {"0", "0", "1", "0", "-2147483648"})
        answers += big + "\n" + next + "\n";
    const auto r = run(images, answers);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.out, "\n\t\t1 -----> Creating a new file ? \n\t\t"), 2);
    EXPECT_EQ(count_of(r.out, "\n\t\t1 -----> FD and TACO Treatments\n\t\t"), 2);
    EXPECT_EQ(count_of(r.out, "\n\tMaximum number of confluents in a meander (max 3) ? "), 2);
    EXPECT_EQ(count_of(r.out, "\n\t\t10 ====> 241\n\t\t11 ====> 661\n\t\t"), 4);
    const std::string descr = read_file(images.file("R_TAC_DN.txt"));
    EXPECT_EQ(
        descr.rfind(
            test::header(9, 11, 2147483647) + test::parameter_lines(25, 13, -2147483647 - 1), 0),
        0u)
        << descr;
}

// A refused name is asked again with the reason; nothing is written outside the folder.
TEST(DialogNames, RefusedOutputNamesAreAskedAgain) {
    ImagesRoot images;
    images.add_river("R", 9, 11, "9 11 1 0 255 30");
    std::filesystem::create_directory(images.root() / "G");
    const auto r =
        run(images, "F\nR\n1\n../G/x\n" + std::string(5000, 'x') + "\nRivière_été\n0\n0\n0\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.out, kNamePrompt), 3);
    EXPECT_EQ(count_of(r.out, "\n\tThis name cannot be used: "), 2);
    EXPECT_EQ(count_of(r.out,
                       "\n\tThis name cannot be used: the results must stay in the folder of the "
                       "river, so a name holds no '/' or '\\'. Please choose another name.\n"),
              1)
        << r.out;
    EXPECT_TRUE(std::filesystem::is_empty(images.root() / "G"));
    EXPECT_TRUE(images.files().contains("Rivière_été_TAC_RI.xls"));
    EXPECT_EQ(images.files().size(), 8u);
}

// Blanks separate answers: the second word of a name goes to the next question.
TEST(DialogNames, ANameWithABlankIsTwoAnswers) {
    ImagesRoot images;
    images.add_river("my", 9, 11, "9 11 1 0 255 30");
    const auto r = run(images, "F\nmy river\n0\n0\n0\n0\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count_of(r.out, kNotANumber), 1);
    EXPECT_TRUE(images.files().contains("my_TAC_DN.raw"));
}

// Input names choose where the river is read: a very long or odd one is a missing raster.
TEST(DialogNames, OddRiverAndFolderNamesAreMissingRasters) {
    for (const std::string& answers :
         {std::string("F\n") + std::string(5000, 'r') + "\n", std::string("F\n\x01\x02\n"),
          std::string(5000, 'f') + "\nR\n", std::string("Fé\nR\n")}) {
        ImagesRoot images;
        images.add_river("R", 9, 11, "9 11 1 0 255 30");
        const auto r = run(images, answers);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("\n\tNo File "), std::string::npos);
        EXPECT_EQ(images.files(), (std::set<std::string>{"R.raw", "R.txt"}));
    }
}

// A river name with a separator reads the river there, and the results lie beside it.
TEST(DialogNames, ARiverInASubfolderGetsItsResultsBesideIt) {
    ImagesRoot images;
    std::filesystem::create_directory(images.folder() / "sub");
    test::write_file(images.folder() / "sub" / "R.raw", std::string(99, '\0'));
    test::write_file(images.folder() / "sub" / "R.txt", "9 11 1 0 255 30");
    const auto r = run(images, "F\nsub/R\n0\n0\n0\n0\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(images.folder() / "sub" / "R_TAC_DN.raw"));
    EXPECT_EQ(images.files(), std::set<std::string>{"sub"});
}

}  // namespace
}  // namespace ds
