// Colour maps, quick-look PNGs and the report's own pieces.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "io/preview.h"
#include "io/report.h"
#include "tests/exe_runner.h"
#include "tests/png_decode.h"

namespace ds {
namespace {

// Relative luminance of an sRGB colour.
double luminance(Rgb c) {
    const auto lin = [](unsigned char v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
}

TEST(ColourMaps, FdpMapIsSequentialWithLightnessRisingAcrossTheScale) {
    const Palette p = make_palette(ColourScale::Stretched, true, 110, 170);
    EXPECT_EQ(p[0], kNetworkBackground);
    EXPECT_EQ(p[110], viridis(0.0));
    EXPECT_EQ(p[170], viridis(1.0));
    for (int v = 111; v <= 170; ++v)
        EXPECT_GT(luminance(p[v]), luminance(p[v - 1])) << v;
    // Values outside the image's range take the end colours.
    EXPECT_EQ(p[20], p[110]);
    EXPECT_EQ(p[250], p[170]);
    EXPECT_EQ(make_palette(ColourScale::Stretched, false, 110, 170)[0], kRegionalNoData);
}

TEST(ColourMaps, TacoMapSeparatesMeandersFromDendriticStructures) {
    const Palette p = make_palette(ColourScale::TwoSided, true, 0, 0);
    for (int v = 1; v < 100; ++v)
        EXPECT_GT(p[v].b, p[v].r) << v;  // blues
    for (int v = 100; v <= 200; ++v)
        EXPECT_GT(p[v].r, p[v].b) << v;  // oranges to dark red
    // Darker away from 100 on both sides: the scale is two-sided around the class boundary.
    for (int v = 2; v < 100; ++v)
        EXPECT_GE(luminance(p[v]), luminance(p[v - 1])) << v;
    for (int v = 101; v <= 200; ++v)
        EXPECT_LE(luminance(p[v]), luminance(p[v - 1])) << v;
    EXPECT_GT(luminance(p[99]), 3 * luminance(p[1]));
    EXPECT_GT(luminance(p[100]), 3 * luminance(p[200]));
    for (int v = 201; v < 256; ++v)
        EXPECT_EQ(p[v], kTacoOutside) << v;
    EXPECT_EQ(p[0], kNetworkBackground);
    EXPECT_EQ(make_palette(ColourScale::TwoSided, false, 0, 0)[0], kRegionalNoData);
}

TEST(QuickLook, PngHoldsEveryPixelThroughThePalette) {
    test::TempDir dir;
    ByteGrid image(5, 7);
    for (std::int64_t i = 0; i < 5; ++i)
        for (std::int64_t j = 0; j < 7; ++j)
            image(i, j) = static_cast<unsigned char>(i * 7 + j == 3 ? 0 : 120 + i * 7 + j);
    const QuickLook q = quick_look(*find_product("FDP_DN"), image);
    EXPECT_EQ(q.lo, 120);
    EXPECT_EQ(q.hi, 154);
    const std::string file(q.png.begin(), q.png.end());
    const test::RgbImage png = test::decode_png(file);
    ASSERT_EQ(png.error, "");
    ASSERT_EQ(png.width, 7);
    ASSERT_EQ(png.height, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const Rgb c = q.palette[image(y, x)];
            const unsigned char* p = png.at(x, y);
            EXPECT_EQ((Rgb{p[0], p[1], p[2]}), c) << x << "," << y;
        }
    EXPECT_EQ(q.palette[0], kNetworkBackground);
    EXPECT_EQ(q.palette[120], viridis(0));
    EXPECT_EQ(q.palette[154], viridis(1));
}

TEST(Report, Base64OfTheStandardVectors) {
    const auto b64 = [](const std::string& s) {
        return base64(std::vector<unsigned char>(s.begin(), s.end()));
    };
    EXPECT_EQ(b64(""), "");
    EXPECT_EQ(b64("f"), "Zg==");
    EXPECT_EQ(b64("fo"), "Zm8=");
    EXPECT_EQ(b64("foo"), "Zm9v");
    EXPECT_EQ(b64("foob"), "Zm9vYg==");
    EXPECT_EQ(b64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(b64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64({0xff, 0xef, 0x00}), "/+8A");
}

TEST(Report, SmallRastersAreEnlargedByAWholeFactor) {
    EXPECT_EQ(display_scale(120, 90), 3);
    EXPECT_EQ(display_scale(10, 400), 1);
    EXPECT_EQ(display_scale(2000, 2000), 1);
    EXPECT_EQ(display_scale(1, 1), 360);
}

TEST(Report, PageIsSelfContainedWithAPictureAndAHistogramEach) {
    ByteGrid image(4, 4);
    image(1, 1) = 150;
    ReportInput in;
    in.name = "N<&>";
    in.parameters = {{"Analysis window side", "13"}};
    in.extremes = {{"TACO", 38.5, 153.25}};
    Histogram counts{};
    counts[150] = 1;
    for (const char* name : {"TAC_DN", "TAC_RI"}) {
        const ProductInfo& info = *find_product(name);
        in.pictures.push_back(quick_look(info, image));
        in.tables.push_back(image_table(info, counts, 38.5, 153.25));
    }
    const std::string html = report_html(in);
    EXPECT_EQ(html.find("http:"), std::string::npos);
    EXPECT_EQ(html.find("https:"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("N<&>"), std::string::npos);  // escaped
    EXPECT_NE(html.find("N&lt;&amp;&gt;"), std::string::npos);
    EXPECT_EQ(test::count_of(html, "src=\"data:image/png;base64,"), 2);
    EXPECT_NE(html.find(base64(in.pictures[0].png)), std::string::npos);
    EXPECT_EQ(test::count_of(html, "<svg class=\"histogram\""), 2);
    EXPECT_EQ(test::count_of(html, "<svg class=\"scale\""), 2);
    EXPECT_NE(html.find("38.500000"), std::string::npos);
    EXPECT_NE(html.find("153.250000"), std::string::npos);
    EXPECT_NE(html.find("Analysis window side"), std::string::npos);
    EXPECT_NE(html.find("width=\"360\" height=\"360\""), std::string::npos);  // 4 x 90
}

}  // namespace
}  // namespace ds
