// River descriptors, raster loading and the isolated-pixel rule.
#include "io/lecture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "analysis/isolated_pixels.h"
#include "io/formats.h"
#include "tests/exe_runner.h"

namespace ds {
namespace {

using test::ImagesRoot;

// A grid from rows of digits; '#' stands for 255.
ByteGrid grid_of(std::initializer_list<const char*> rows) {
    const auto cols = static_cast<int>(std::string(*rows.begin()).size());
    ByteGrid g(static_cast<std::int64_t>(rows.size()), cols);
    int i = 0;
    for (const char* row : rows) {
        for (int j = 0; j < cols; ++j)
            g(i, j) = row[j] == '#' ? 255 : row[j] - '0';
        ++i;
    }
    return g;
}

TEST(MarkIsolated, OnlyNetworkPixelsWithoutNetworkNeighboursInsideTheBorder) {
    ByteGrid tab = grid_of({
        "1000000",  // corner pixel: never tested
        "0010000",  // touches (2,3) diagonally: kept
        "0001000",  //
        "0000010",  // alone: taken out
        "0110002",  // a pair touching only each other: kept; 2 is not network
        "0000001",  // alone on the last column: never tested
    });
    mark_isolated(tab);
    EXPECT_EQ(tab, grid_of({"1000000", "0010000", "0001000", "00000#0", "0110002", "0000001"}));
}

TEST(MarkIsolated, OtherValuesAreLeftAloneAndAreNoNeighbours) {
    ByteGrid tab = grid_of({"00000", "02#20", "0#1#0", "02220", "00000"});
    mark_isolated(tab);
    EXPECT_EQ(tab, grid_of({"00000", "02#20", "0###0", "02220", "00000"}));
    // A removed pixel is nobody's neighbour: the pass gives the same result whatever the order.
    ByteGrid chain = grid_of({"00000", "01010", "00000"});
    mark_isolated(chain);
    EXPECT_EQ(chain, grid_of({"00000", "0#0#0", "00000"}));
}

TEST(MarkIsolated, RastersUnderThreeLinesOrColumnsAreNotTested) {
    for (ByteGrid tab : {grid_of({"010", "000"}), grid_of({"00", "10", "00"})}) {
        const ByteGrid before = tab;
        mark_isolated(tab);
        EXPECT_EQ(tab, before);
    }
}

struct TempFile {
    explicit TempFile(const std::string& bytes) : f(std::tmpfile()) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::rewind(f);
    }
    ~TempFile() { std::fclose(f); }
    std::FILE* f;
};

TEST(LoadRaster, RowsInOrderShortFilesLeaveZerosLongFilesAreCut) {
    TempFile exact("\1\2\3\4\5\6\7");
    ByteGrid tab(2, 3);
    EXPECT_EQ(load_raster(exact.f, tab), 6);
    EXPECT_EQ(tab, grid_of({"123", "456"}));

    TempFile shorter("\1\2\3\4");
    ByteGrid partial(3, 3);
    EXPECT_EQ(load_raster(shorter.f, partial), 4);
    EXPECT_EQ(partial, grid_of({"123", "400", "000"}));
}

TEST(Lecture, WarnsAboutAShortOrLongFile) {
    test::TempDir dir;
    const std::string path = dir.file("R.raw");
    test::write_file(path, std::string("\0\0\0\0\0\0\1\0\0\0\0\0", 12));
    ByteGrid tab(4, 5);
    EXPECT_EQ(lecture(path, tab),
              "Warning: the raster file holds only 12 of the 20 expected bytes");
    EXPECT_EQ(tab(1, 1), 1);

    // Longer than the raster: the first 10 bytes are loaded and the rest is reported.
    ByteGrid two(2, 5);
    EXPECT_EQ(lecture(path, two),
              "Warning: the raster file holds more than the 10 expected bytes; the rest is "
              "ignored");
    EXPECT_EQ(two(1, 1), 1);

    // Exactly the raster: nothing to say.
    ByteGrid exact(3, 4);
    EXPECT_EQ(lecture(path, exact), std::nullopt);
    EXPECT_THROW(lecture(dir.file("none.raw"), exact), FileError);
}

TEST(Descriptor, FiveIntegersAskThePixelSizeOnce) {
    ImagesRoot images;
    images.add_river("R", 4, 6, "4 6 1 0 255\n");
    const auto r = images.run("F\nR\n0\n0\n0\n0\n3\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::count_of(r.out, "\n\n\tPlease, enter the value of the pixel size : "), 1);
    // The answer 0 is taken as it stands.
    EXPECT_EQ(test::read_file(images.file("R_TAC_DN.txt")).substr(0, 14), test::header(4, 6, 0));

    ImagesRoot sized;
    sized.add_river("R", 4, 6, "4 6 1 0 255\n");
    ASSERT_EQ(sized.run("F\nR\n25\n0\n0\n0\n3\n1\n").status, 0);
    EXPECT_EQ(test::read_file(sized.file("R_TAC_RI.txt")).substr(0, 15), test::header(4, 6, 25));
}

TEST(Descriptor, AMissingDescriptorIsCreatedAndReadsBack) {
    ImagesRoot images;
    images.add_river("R", 4, 6, "");
    const auto r = images.run("F\nR\n4\n6\n30\n0\n0\n0\n3\n1\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string descr = images.file("R.txt").string();
    EXPECT_NE(r.out.find("\n\tNo Descriptive File " + descr +
                         " \n\n\n\tNumber of lines   ? \n\tNumber of columns ? "
                         "\n\tPixel size ? \n\n\tTHE RIVER FILE HAS :  "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(test::read_file(images.file("R.txt")), "4\n6\n1\n0\n255\n30\n");

    // A second run reads it without a question.
    const auto again = images.run("F\nR\n0\n0\n0\n3\n1\n");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out.find("Number of lines"), std::string::npos);
    EXPECT_NE(again.out.find("\n\t            4 LINES\n\t        AND 6 COLUMNS\n"),
              std::string::npos);
}

}  // namespace
}  // namespace ds
