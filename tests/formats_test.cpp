#include "io/formats.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "io/raster_limits.h"
#include "tests/collect_products.h"

namespace ds {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

const ProductInfo& fdp_dn() {
    return *find_product("FDP_DN");
}

TEST(Formats, FdpTableRowsRunFromTheTruncatedExtremes) {
    Histogram h{};
    h[123] = 12;
    h[150] = 300;
    h[187] = 36;
    h[188] = 5;  // the bin of 1.876: above hi, left out
    const std::string text = test::table_bytes(image_table(fdp_dn(), h, 1.234, 1.876));
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 1u + 65u);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "Fract.Dim.\tPix.Numb.\tPercent.\n");
    EXPECT_EQ(lines[1] + "\n", "1.230000\t12.000000\t3.448276\n");
    EXPECT_EQ(lines[28], "1.500000\t300.000000\t86.206897");
    EXPECT_EQ(lines[65], "1.870000\t36.000000\t10.344828");
    EXPECT_EQ(lines[2], "1.240000\t0.000000\t0.000000");
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find("1.880000"), std::string::npos);
}

TEST(Formats, FdpTableWithoutPixelsIsTheHeaderAlone) {
    Histogram h{};
    h[0] = 3;
    h[255] = 4;
    EXPECT_EQ(test::table_bytes(image_table(fdp_dn(), h, 10.0, 0.0)),
              "Fract.Dim.\tPix.Numb.\tPercent.\n");
}

TEST(FdpTableRows, BoundsAreExactProductsCutToTheBins) {
    const FdpRows r = fdp_table_rows(1.234, 1.876);
    EXPECT_EQ(r.lo, 123);
    EXPECT_EQ(r.hi, 187);
    // 1.2 is slightly below 6/5: its exact x100 truncates to 119 (the double product is 120).
    EXPECT_EQ(fdp_table_rows(1.2, 1.2).lo, 119);
    EXPECT_EQ(fdp_table_rows(-0.5, 1.0).lo, 0);
    EXPECT_EQ(fdp_table_rows(1.0, 3.0).hi, 255);
    // A range wholly outside the bins has no row, not a row at the nearest bin.
    for (auto [lo, hi] :
         {fdp_table_rows(2.7, 2.9), fdp_table_rows(-0.5, -0.2), fdp_table_rows(10.0, 0.0)})
        EXPECT_GT(lo, hi);
}

TEST(Formats, TacoTableHas201LinesAndZeroPercentagesWithoutPixels) {
    Histogram h{};
    h[0] = 50;   // counted, printed in no row
    h[201] = 2;  // idem
    const auto lines = lines_of(test::table_bytes(image_table(*find_product("TAC_RI"), h, 0, 0)));
    ASSERT_EQ(lines.size(), 201u);
    EXPECT_EQ(lines[0], "TAC\tPix.Numb.\tPercent.");
    for (int b = 1; b <= 200; ++b)
        EXPECT_EQ(lines[static_cast<std::size_t>(b)], std::to_string(b) + "\t0\t0.000000");
}

TEST(Formats, R2TableHas1002LinesWithClassesInThousandths) {
    R2Histogram h{};
    h[5] = 7;
    h[1000] = 2;
    const std::string text = test::table_bytes(r2_table(*find_product("FDP_ER0"), h));
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 1002u);
    EXPECT_EQ(lines[0], "R2\tFrequence");
    EXPECT_EQ(lines[1], "0.000000\t0");
    EXPECT_EQ(lines[6], "0.005000\t7");
    EXPECT_EQ(lines[1001], "1.000000\t2");
    EXPECT_EQ(text.back(), '\n');
}

// Counts beyond an int print whole in every table, and rasters that hold them are refused only
// for the memory they need.
TEST(Formats, CountsBeyondAnIntPrintWhole) {
    Histogram h{};
    h[150] = 3'000'000'000;
    h[151] = 1;
    const auto taco = lines_of(test::table_bytes(image_table(*find_product("TAC_DN"), h, 0, 0)));
    EXPECT_EQ(taco[150], "150\t3000000000\t100.000000");
    EXPECT_EQ(taco[151], "151\t1\t0.000000");
    const auto fdp = lines_of(test::table_bytes(image_table(fdp_dn(), h, 1.5, 1.51)));
    EXPECT_EQ(fdp[1], "1.500000\t3000000000.000000\t100.000000");
    R2Histogram r{};
    r[999] = 4'294'967'296;
    const auto r2 = lines_of(test::table_bytes(r2_table(*find_product("FDP_ER1"), r)));
    EXPECT_EQ(r2[1000], "0.999000\t4294967296");

    EXPECT_EQ(raster_size_problem(46341, 46341, 18, 0), std::nullopt);
    bool too_large = false;
    const auto problem =
        raster_size_problem(100000, 200000, 18, std::uint64_t{24} << 30, &too_large);
    ASSERT_TRUE(problem);
    EXPECT_TRUE(too_large);
    EXPECT_EQ(*problem, "the grids of the run need 343323 MiB and this machine has 24576 MiB");
    EXPECT_TRUE(raster_size_problem(2'000'000'000, 2'000'000'000, 18, 0));
}

// The descriptor of `name` for a raster of `lines` x `columns` of `pix_size`, windows 25 and 61,
// MNC 2, and the extremes `min` and `max`.
std::string descriptor(const char* name, int lines, int columns, int pix_size, double min,
                       double max) {
    RiverDescriptor river;
    river.nb_lig = lines;
    river.nb_col = columns;
    river.pix_size = pix_size;
    AnalysisParameters p;
    p.window = 25;
    p.regional = 61;
    p.mnc = 2;
    const ByteGrid image(1, 1);
    const Histogram counts{};
    return descriptor_text(river, p, {*find_product(name), image, counts, min, max});
}

TEST(Descriptor, WithParameterLines) {
    const std::string text = descriptor("TAC_DN", 512, 640, 30, 1000.0, 0.0);
    EXPECT_EQ(text,
              "512\n640\n1\n0\n255\n30\n"
              "\n\t Window Size used for parameter calculation             = 25 "
              "\n\t Window Size used to calculate the mean regional values = 61 "
              "\n\t Maximum number of confluents in a meandering structure = 2 "
              "\n\n\tTortuosity And Confluent Parameter. Min. = 1000.000000 "
              "\n\tTortuosity And Confluent Parameter. Max. = 0.000000 ");
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[6], "");
    EXPECT_EQ(lines[10], "");
}

TEST(Descriptor, WithoutParameterLines) {
    const std::string text = descriptor("FDP_RI2", 2, 3, 0, 1.234, 1.876);
    EXPECT_EQ(text,
              "2\n3\n1\n0\n255\n0\n\n\n"
              "\t Fractal Dimension Parameter Min. = 1.234000 "
              "\n\t Fractal Dimension Parameter Max. = 1.876000 ");
}

TEST(Formats, ImageIsItsRowsInOrder) {
    ByteGrid g(2, 3);
    g(0, 0) = 1;
    g(0, 2) = 255;
    g(1, 1) = 247;
    const std::string bytes =
        test::written([&](OutFile& f) { write_image(f, g); }, OutFile::Mode::Binary);
    EXPECT_EQ(bytes, std::string("\x01\x00\xff\x00\xf7\x00", 6));
}

TEST(ParseDescriptor, ReadsUpToSixIntegersAndStopsAtTheFirstBadWord) {
    const RiverDescriptor six = parse_descriptor("2 3 1 0 255 30 junk 9");
    EXPECT_EQ(six.read, 6);
    EXPECT_EQ(six.nb_lig, 2);
    EXPECT_EQ(six.nb_col, 3);
    EXPECT_EQ(six.maxd, 255);
    EXPECT_EQ(six.pix_size, 30);

    const RiverDescriptor five = parse_descriptor("512\n640\n1\n\t0\n255\n");
    EXPECT_EQ(five.read, 5);
    EXPECT_EQ(five.nb_col, 640);
    EXPECT_EQ(five.pix_size, 0);

    const RiverDescriptor letters = parse_descriptor("2 3 x 0 255 30");
    EXPECT_EQ(letters.read, 2);
    EXPECT_EQ(letters.val, 0);
    EXPECT_EQ(letters.pix_size, 0);

    EXPECT_EQ(parse_descriptor("").read, 0);
    const RiverDescriptor overflow = parse_descriptor("2 99999999999 1 0 255 30");
    EXPECT_EQ(overflow.read, 1);
    EXPECT_EQ(overflow.nb_col, 0);
    EXPECT_EQ(overflow.pix_size, 0);
}

// A descriptor that never ends (a device) is read only as far as its first bytes.
TEST(ReadDescriptor, ADeviceIsReadOnlyAsFarAsItsFirstBytes) {
    if (!std::filesystem::exists("/dev/zero"))
        GTEST_SKIP() << "no /dev/zero";
    const auto d = read_descriptor("/dev/zero");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->read, 0);
    EXPECT_FALSE(read_descriptor("/nonexistent/R.txt"));
}

TEST(OutFile, FailedWriteIsReportedWithThePath) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    OutFile f("/dev/full", OutFile::Mode::Text);
    try {
        f.print("TAC\tPix.Numb.\tPercent.\n");
        f.close();
        FAIL() << "a write to a full device was reported as done";
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), "/dev/full");
        EXPECT_NE(std::string(e.what()).find("/dev/full"), std::string::npos);
    }
    EXPECT_FALSE(f.is_open());
}

}  // namespace
}  // namespace ds
