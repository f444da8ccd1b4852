// The report in a real browser: headless Chromium loads it from disk and takes a screenshot, in
// which every quick-look picture must be found, drawn pixel for pixel at its display size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "io/report.h"
#include "network/segments.h"
#include "tests/exe_runner.h"
#include "tests/png_decode.h"
#include "tests/sample_crop.h"

namespace ds {
namespace {

namespace fs = std::filesystem;
using test::ImagesRoot;
using test::quoted;
using test::RgbImage;

std::optional<std::string> find_chromium() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0)
            return name;
    }
    return std::nullopt;
}

struct Place {
    int x = -1;
    int y = -1;
};

// Where `pic`, enlarged `k` times, appears in `shot` exactly; nothing when it does not. The
// search starts from the picture's first pixel that differs from its top-left pixel.
std::optional<Place> find_picture(const RgbImage& shot, const RgbImage& pic, int k) {
    const int w = pic.width * k;
    const int h = pic.height * k;
    int ax = -1;
    int ay = -1;
    for (int y = 0; y < pic.height && ax < 0; ++y)
        for (int x = 0; x < pic.width && ax < 0; ++x)
            if (pic.colour(x, y) != pic.colour(0, 0)) {
                ax = x;
                ay = y;
            }
    if (ax < 0)
        return std::nullopt;  // a plain picture cannot be told from the page
    const std::uint32_t anchor = pic.colour(ax, ay);
    for (int sy = ay * k; sy + h - ay * k <= shot.height; ++sy)
        for (int sx = ax * k; sx + w - ax * k <= shot.width; ++sx) {
            if (shot.colour(sx, sy) != anchor)
                continue;
            const int ox = sx - ax * k;
            const int oy = sy - ay * k;
            // The anchor must be the top-left screen pixel of its image pixel.
            bool same = true;
            for (int y = 0; y < h && same; ++y)
                for (int x = 0; x < w && same; ++x)
                    same = shot.colour(ox + x, oy + y) == pic.colour(x / k, y / k);
            if (same)
                return Place{ox, oy};
        }
    return std::nullopt;
}

TEST(ReportInBrowser, ChromiumDrawsEveryPictureAtItsSize) {
    ImagesRoot images;
    constexpr int kRows = 100;
    constexpr int kCols = 80;
    images.add_river("R", kRows, kCols, test::header(kRows, kCols, 5000),
                     test::sample_crop(150, 200, kRows, kCols));
    const auto run = images.run_raw(
        "", "",
        "run " + quoted(images.file("R.raw").string()) + " --regional 13 --preview --quiet");
    ASSERT_EQ(run.status, 0) << run.err;
    const fs::path report = images.file("R_report.html");
    ASSERT_TRUE(fs::exists(report));
    // A run of both treatments shows its dimension against the R² of the fits.
    EXPECT_EQ(test::count_of(test::read_file(report), "<svg class=\"joint\""), 1);
    // The segments and the drainage systems only with --segments.
    EXPECT_EQ(test::count_of(test::read_file(report), "id=\"picture_segments\""), 0);
    EXPECT_EQ(test::count_of(test::read_file(report), "id=\"systems\""), 0);
#if DRAINSHAPE_WITH_GDAL
    {
        const auto seg = images.run_raw("", "",
                                        "run " + quoted(images.file("R.raw").string()) +
                                            " --name S --regional 13 --preview --segments --quiet");
        ASSERT_EQ(seg.status, 0) << seg.err;
        const std::string html = test::read_file(images.file("S_report.html"));
        EXPECT_EQ(test::count_of(html, "id=\"picture_segments\""), 1);
        ASSERT_EQ(test::count_of(html, "id=\"systems\""), 1);
        const std::string bytes = test::sample_crop(150, 200, kRows, kCols);
        ByteGrid raster(kRows, kCols);
        std::memcpy(raster.data(), bytes.data(), bytes.size());
        const SegmentGraph g = build_segment_graph(raster);
        EXPECT_NE(html.find(std::to_string(g.systems.size()) + " systems, " +
                            std::to_string(g.segments.size()) + " segments, " +
                            std::to_string(g.index.size()) + " pixels"),
                  std::string::npos);
        // At most the 20 largest, with the columns of both treatments.
        const std::size_t table = html.find("id=\"systems\"");
        EXPECT_EQ(test::count_of(html.substr(table, html.find("</table>", table) - table), "<tr>"),
                  1 + static_cast<int>(std::min<std::size_t>(20, g.systems.size())));
        EXPECT_EQ(test::count_of(html, "<th>Mean FDP2</th>"), 1);
    }
#endif

    const auto chromium = find_chromium();
    if (!chromium)
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps --test installs it)";

    const fs::path profile = images.scratch() / "chromium-profile";
    fs::create_directories(profile);
    const fs::path shot_path = images.scratch() / "shot.png";
    constexpr int kWidth = 1280;
    constexpr int kHeight = 1800;
    const std::string cmd =
        "timeout 90 " + *chromium +
        " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
        " --disable-background-networking --disable-component-update --disable-sync"
        " --hide-scrollbars --force-device-scale-factor=1 --force-color-profile=srgb"
        " --user-data-dir=" +
        quoted(profile.string()) + " --screenshot=" + quoted(shot_path.string()) +
        " --window-size=" + std::to_string(kWidth) + "," + std::to_string(kHeight) + " " +
        quoted("file://" + report.string()) + " > " +
        quoted((images.scratch() / "chromium.log").string()) + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << test::read_file(images.scratch() / "chromium.log");

    const RgbImage shot = test::decode_png(test::read_file(shot_path));
    ASSERT_EQ(shot.error, "");
    ASSERT_EQ(shot.width, kWidth);
    ASSERT_EQ(shot.height, kHeight);

    const int k = display_scale(kRows, kCols);
    ASSERT_GT(k, 1);  // enlarged, so the search tests the display size too
    std::vector<Place> places;
    for (const char* suffix :
         {"_FDP_DN", "_FDP_DN2", "_FDP_RI", "_FDP_RI2", "_TAC_DN", "_TAC_RI"}) {
        SCOPED_TRACE(suffix);
        const RgbImage pic =
            test::decode_png(test::read_file(images.file(std::string("R") + suffix + ".png")));
        ASSERT_EQ(pic.error, "");
        ASSERT_EQ(pic.width, kCols);
        ASSERT_EQ(pic.height, kRows);
        const auto at = find_picture(shot, pic, k);
        ASSERT_TRUE(at) << "not drawn at " << kCols * k << " x " << kRows * k;
        // Nor at the next larger size.
        EXPECT_FALSE(find_picture(shot, pic, k + 1));
        places.push_back(*at);
    }
    // Six pictures in six places.
    for (std::size_t a = 0; a < places.size(); ++a)
        for (std::size_t b = a + 1; b < places.size(); ++b)
            EXPECT_FALSE(places[a].x == places[b].x && places[a].y == places[b].y);

    // The histograms are drawn below the pictures: the page is not white there.
    int coloured = 0;
    const int below = places.back().y + kRows * k + 40;
    for (int y = below; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            coloured += shot.colour(x, y) != 0xffffff ? 1 : 0;
    EXPECT_GT(coloured, 2000);
}

}  // namespace
}  // namespace ds
