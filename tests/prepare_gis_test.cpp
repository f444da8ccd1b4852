// `drainshape prepare` from river lines and from a stream raster, with sources made here with
// GDAL, through the real executable.
#include <gtest/gtest.h>

#if DRAINSHAPE_WITH_GDAL

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "network/simple_point.h"
#include "network/summary.h"
#include "tests/exe_runner.h"

namespace ds {
namespace {

namespace fs = std::filesystem;
using test::ImagesRoot;
using test::quoted;
using test::RunResult;

// The lines lie in UTM zone 33N; their coordinates are offsets in metres from (kX0, kY0).
constexpr double kX0 = 500000;
constexpr double kY0 = 4200000;

struct Feature {
    std::string wkt;  // in offsets from (kX0, kY0)
    int level = 1;
};

// A main stem; a tributary ending on one of its vertices and one ending inside a segment; two
// lines crossing at a shared vertex and two crossing without one; a meander that comes back
// within 100 m of itself; a far line of level 9; a point and a polygon.
const std::vector<Feature> kFeatures = {
    {"LINESTRING (0 500, 400 520, 800 480, 1200 500)"},
    {"LINESTRING (300 900, 350 700, 400 520)"},
    {"LINESTRING (650 100, 600 300, 600 500)"},
    {"LINESTRING (900 200, 1000 300, 1100 400)"},
    {"MULTILINESTRING ((900 400, 1000 300), (1000 300, 1100 200))"},
    {"LINESTRING (100 100, 300 300)"},
    {"LINESTRING (100 300, 300 100)"},
    {"LINESTRING (0 1000, 400 1000, 400 1300, 150 1300, 150 1100, -50 1100)", 3},
    {"LINESTRING (5000 5000, 6000 5000)", 9},
    {"POINT (700 700)"},
    {"POLYGON ((700 800, 750 800, 750 850, 700 800))"},
};
// Where branches meet (the crossing without a shared vertex meets in the raster too), and the
// free ends, of the features of level below 9.
const std::vector<std::array<double, 2>> kJunctions = {
    {400, 520}, {600, 500}, {1000, 300}, {200, 200}};
const std::vector<std::array<double, 2>> kEnds = {
    {0, 500},    {1200, 500}, {300, 900}, {650, 100}, {900, 200}, {1100, 400}, {900, 400},
    {1100, 200}, {100, 100},  {300, 300}, {100, 300}, {300, 100}, {0, 1000},   {-50, 1100}};

OGRSpatialReferenceH srs_of(const char* user) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    EXPECT_EQ(OSRSetFromUserInput(srs, user), OGRERR_NONE);
    OSRSetAxisMappingStrategy(srs, OAMS_TRADITIONAL_GIS_ORDER);
    return srs;
}

// A GeoPackage with one layer "rivers" of the features, shifted by (x0, y0) and scaled by
// `scale`, in the coordinate system `crs`.
void write_gpkg(const fs::path& path, const char* crs, double x0, double y0, double scale) {
    GDALAllRegister();
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GPKG"), path.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    ASSERT_NE(ds, nullptr);
    OGRSpatialReferenceH srs = srs_of(crs);
    OGRLayerH layer = GDALDatasetCreateLayer(ds, "rivers", srs, wkbUnknown, nullptr);
    ASSERT_NE(layer, nullptr);
    OGRFieldDefnH field = OGR_Fld_Create("level", OFTInteger);
    OGR_L_CreateField(layer, field, TRUE);
    OGR_Fld_Destroy(field);
    for (const Feature& f : kFeatures) {
        OGRGeometryH g = nullptr;
        char* text = const_cast<char*>(f.wkt.c_str());
        ASSERT_EQ(OGR_G_CreateFromWkt(&text, nullptr, &g), OGRERR_NONE) << f.wkt;
        const auto shift = [&](OGRGeometryH part) {
            for (int k = 0; k < OGR_G_GetPointCount(part); ++k)
                OGR_G_SetPoint_2D(part, k, x0 + scale * OGR_G_GetX(part, k),
                                  y0 + scale * OGR_G_GetY(part, k));
        };
        shift(g);
        for (int k = 0; k < OGR_G_GetGeometryCount(g); ++k) {
            OGRGeometryH part = OGR_G_GetGeometryRef(g, k);
            shift(part);
            for (int j = 0; j < OGR_G_GetGeometryCount(part); ++j)
                shift(OGR_G_GetGeometryRef(part, j));
        }
        OGRFeatureH feature = OGR_F_Create(OGR_L_GetLayerDefn(layer));
        OGR_F_SetFieldInteger(feature, 0, f.level);
        OGR_F_SetGeometryDirectly(feature, g);
        ASSERT_EQ(OGR_L_CreateFeature(layer, feature), OGRERR_NONE);
        OGR_F_Destroy(feature);
    }
    OSRDestroySpatialReference(srs);
    GDALClose(ds);
}

struct Tif {
    ByteGrid grid;
    std::array<double, 6> gt{};
    std::string wkt;
    int has_nodata = 0;
};

Tif read_tif(const fs::path& path) {
    Tif t;
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    EXPECT_NE(ds, nullptr) << path;
    if (ds == nullptr)
        return t;
    t.grid = ByteGrid(GDALGetRasterYSize(ds), GDALGetRasterXSize(ds));
    GDALGetGeoTransform(ds, t.gt.data());
    t.wkt = GDALGetProjectionRef(ds);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    EXPECT_EQ(GDALGetRasterDataType(band), GDT_Byte);
    GDALGetRasterNoDataValue(band, &t.has_nodata);
    EXPECT_EQ(GDALRasterIO(band, GF_Read, 0, 0, static_cast<int>(t.grid.cols()),
                           static_cast<int>(t.grid.rows()), t.grid.data(),
                           static_cast<int>(t.grid.cols()), static_cast<int>(t.grid.rows()),
                           GDT_Byte, 0, 0),
              CE_None);
    GDALClose(ds);
    return t;
}

bool same_crs(const std::string& wkt, const char* user) {
    OGRSpatialReferenceH a = OSRNewSpatialReference(wkt.c_str());
    OGRSpatialReferenceH b = srs_of(user);
    const bool same = a != nullptr && OSRIsSame(a, b) != 0;
    OSRDestroySpatialReference(a);
    OSRDestroySpatialReference(b);
    return same;
}

// Pixels of `g` whose number of network neighbours passes `keep`, as (row, column).
template <class Keep>
std::vector<std::array<std::int64_t, 2>> pixels(const ByteGrid& g, Keep keep) {
    std::vector<std::array<std::int64_t, 2>> out;
    for (std::int64_t r = 0; r < g.rows(); ++r)
        for (std::int64_t c = 0; c < g.cols(); ++c)
            if (g(r, c) == 1 && keep(neighbour_count(neighbour_code(g, r, c))))
                out.push_back({r, c});
    return out;
}

// Every pixel lies within `reach` pixels of one of the points, and every point has a pixel
// within `reach`.
void expect_near(const std::vector<std::array<std::int64_t, 2>>& px,
                 const std::vector<std::array<double, 2>>& points, const Tif& t, int reach,
                 const char* what) {
    std::vector<std::array<std::int64_t, 2>> at;
    for (const auto& p : points)
        at.push_back({static_cast<std::int64_t>(std::floor((kY0 + p[1] - t.gt[3]) / t.gt[5])),
                      static_cast<std::int64_t>(std::floor((kX0 + p[0] - t.gt[0]) / t.gt[1]))});
    const auto near = [&](const auto& a, const auto& b) {
        return std::abs(a[0] - b[0]) <= reach && std::abs(a[1] - b[1]) <= reach;
    };
    for (const auto& p : px) {
        bool found = false;
        for (const auto& q : at)
            found = found || near(p, q);
        EXPECT_TRUE(found) << what << " pixel " << p[0] << "," << p[1] << " is at no such point";
    }
    for (std::size_t k = 0; k < at.size(); ++k) {
        bool found = false;
        for (const auto& p : px)
            found = found || near(p, at[k]);
        EXPECT_TRUE(found) << what << " at " << points[k][0] << "," << points[k][1]
                           << " has no pixel";
    }
}

TEST(PrepareLines, ANetworkDrawnAtTwoPixelSizes) {
    ImagesRoot images;
    const fs::path gpkg = images.file("rivers.gpkg");
    write_gpkg(gpkg, "EPSG:32633", kX0, kY0, 1.0);
    for (const double s : {10.0, 25.0}) {
        SCOPED_TRACE(s);
        const fs::path out = images.file("net.tif");
        const RunResult r =
            images.run_raw("", "",
                           "prepare " + quoted(gpkg.string()) + " -o " + quoted(out.string()) +
                               " --pixel-size " + std::to_string(s) + " --where 'level < 9'");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("10 features, 8 of them lines; 2 other geometries left out "
                             "(Point, Polygon)"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("verdict           yes"), std::string::npos) << r.out;

        const Tif t = read_tif(out);
        // The box of the lines grown by half a pixel, from its north-west corner.
        const std::array<double, 6> gt = {kX0 - 50 - s / 2, s, 0, kY0 + 1300 + s / 2, 0, -s};
        EXPECT_EQ(t.gt, gt);
        EXPECT_EQ(t.grid.cols(), static_cast<std::int64_t>(0.5 + (1250 + s) / s));
        EXPECT_EQ(t.grid.rows(), static_cast<std::int64_t>(0.5 + (1200 + s) / s));
        EXPECT_TRUE(same_crs(t.wkt, "EPSG:32633")) << t.wkt;
        EXPECT_EQ(t.has_nodata, 0);

        const NetworkSummary n = summarize_network(t.grid);
        EXPECT_EQ(n.redundant, 0);
        EXPECT_EQ(n.others, 0);
        EXPECT_EQ(n.components, 4);  // stem and tributaries, two crossings, the meander
        EXPECT_EQ(n.loops, 0);
        EXPECT_EQ(n.ends, static_cast<std::int64_t>(kEnds.size()));
        expect_near(pixels(t.grid, [](int k) { return k == 1; }), kEnds, t, 1, "end");
        expect_near(pixels(t.grid, [](int k) { return k >= 3; }), kJunctions, t, 2, "junction");
    }
    // On the grid of the last result, the same lines give the same raster.
    const RunResult like = images.run_raw(
        "", "",
        "prepare " + quoted(gpkg.string()) + " -o " + quoted(images.file("like.tif").string()) +
            " --like " + quoted(images.file("net.tif").string()) + " --where 'level < 9'");
    ASSERT_EQ(like.status, 0) << like.err;
    const Tif a = read_tif(images.file("net.tif"));
    const Tif b = read_tif(images.file("like.tif"));
    EXPECT_EQ(a.gt, b.gt);
    EXPECT_EQ(a.grid, b.grid);
    // No half-written file is left beside the results.
    EXPECT_EQ(images.files(), (std::set<std::string>{"like.tif", "net.tif", "rivers.gpkg"}));
}

TEST(PrepareLines, ReprojectedLinesAndLinesInDegrees) {
    ImagesRoot images;
    // The same network at 1e-5 degree to the metre, from 15 E 38 N (near 500000 4205815 in
    // UTM zone 33N).
    const fs::path gpkg = images.file("deg.gpkg");
    write_gpkg(gpkg, "EPSG:4326", 15.0, 38.0, 1e-5);
    const fs::path out = images.file("net.raw");
    const RunResult refused = images.run_raw(
        "", "",
        "prepare " + quoted(gpkg.string()) + " -o " + quoted(out.string()) + " --pixel-size 10");
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err,
              "drainshape: " + gpkg.string() +
                  " is in geographic coordinates (degrees): give --t-srs, for example --t-srs "
                  "\"+proj=laea +lat_0=38 +lon_0=15 +datum=WGS84 +units=m\" (a Lambert azimuthal "
                  "equal-area projection centred on the lines)\n");
    const RunResult bad_filter =
        images.run_raw("", "",
                       "prepare " + quoted(gpkg.string()) + " -o " + quoted(out.string()) +
                           " --pixel-size 10 --t-srs 32633 --where 'nolevel > 3'");
    EXPECT_EQ(bad_filter.status, 2);
    EXPECT_EQ(bad_filter.err.rfind("drainshape: --where \"nolevel > 3\": ", 0), 0u)
        << bad_filter.err;
    EXPECT_EQ(bad_filter.err.find('\n'), bad_filter.err.size() - 1) << bad_filter.err;
    EXPECT_EQ(images.files(), std::set<std::string>{"deg.gpkg"});

    const RunResult r = images.run_raw(
        "", "",
        "prepare " + quoted(gpkg.string()) + " -o " + quoted(out.string()) +
            " --pixel-size 10.5 --t-srs 32633 --extent 499900 4205800 501300 4207400");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the pixel size 10.5 m is written as 11 in"), std::string::npos) << r.err;
    // 1600 / 10.5 + 0.5 lines and 1400 / 10.5 + 0.5 columns, truncated.
    EXPECT_EQ(test::read_file(images.file("net.txt")), "152\n133\n1\n0\n255\n11\n");
    EXPECT_NE(r.out.find("verdict           yes"), std::string::npos) << r.out;
}

TEST(PrepareRaster, AThickStreamRasterKeepsItsGrid) {
    ImagesRoot images;
    const fs::path src = images.file("streams.tif");
    const int rows = 30;
    const int cols = 40;
    // Streams of 255 three pixels wide, a stray 7, NoData 0 around them.
    std::vector<unsigned char> v(static_cast<std::size_t>(rows * cols), 0);
    for (int r = 5; r < 25; ++r)
        for (int c = 18; c < 21; ++c)
            v[static_cast<std::size_t>(r * cols + c)] = 255;
    for (int r = 12; r < 15; ++r)
        for (int c = 3; c < 18; ++c)
            v[static_cast<std::size_t>(r * cols + c)] = 255;
    v[2 * cols + 35] = 7;
    {
        GDALAllRegister();
        GDALDatasetH ds =
            GDALCreate(GDALGetDriverByName("GTiff"), src.c_str(), cols, rows, 1, GDT_Byte, nullptr);
        ASSERT_NE(ds, nullptr);
        std::array<double, 6> gt = {kX0, 30, 0, kY0, 0, -30};
        GDALSetGeoTransform(ds, gt.data());
        OGRSpatialReferenceH srs = srs_of("EPSG:32633");
        char* wkt = nullptr;
        OSRExportToWkt(srs, &wkt);
        GDALSetProjection(ds, wkt);
        CPLFree(wkt);
        OSRDestroySpatialReference(srs);
        GDALRasterBandH band = GDALGetRasterBand(ds, 1);
        GDALSetRasterNoDataValue(band, 0);
        ASSERT_EQ(
            GDALRasterIO(band, GF_Write, 0, 0, cols, rows, v.data(), cols, rows, GDT_Byte, 0, 0),
            CE_None);
        GDALClose(ds);
    }
    const fs::path out = images.file("net.tif");
    const RunResult r = images.run_raw(
        "", "",
        "prepare " + quoted(src.string()) + " -o " + quoted(out.string()) + " --value 255 --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"verdict\":true}"), std::string::npos) << r.out;
    const Tif t = read_tif(out);
    EXPECT_EQ(t.gt, (std::array<double, 6>{kX0, 30, 0, kY0, 0, -30}));
    EXPECT_TRUE(same_crs(t.wkt, "EPSG:32633"));
    const NetworkSummary n = summarize_network(t.grid);
    EXPECT_EQ(n.lines, rows);
    EXPECT_EQ(n.columns, cols);
    EXPECT_EQ(n.components, 1);  // the stray 7 is not the network value
    EXPECT_EQ(n.ends, 3);
    EXPECT_EQ(n.redundant, 0);
}

TEST(RunWarning, APixelSizeInDegrees) {
    ImagesRoot images;
    const fs::path river = images.file("R.tif");
    GDALAllRegister();
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), river.c_str(), 30, 30, 1, GDT_Byte, nullptr);
    ASSERT_NE(ds, nullptr);
    std::array<double, 6> gt = {15.0, 0.001, 0, 38.0, 0, -0.001};
    GDALSetGeoTransform(ds, gt.data());
    GDALSetProjection(ds, "EPSG:4326");
    std::vector<unsigned char> line(30 * 30, 0);
    for (int r = 2; r < 28; ++r)
        line[static_cast<std::size_t>(r * 30 + 15)] = 1;
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, 30, 30, line.data(), 30, 30,
                           GDT_Byte, 0, 0),
              CE_None);
    GDALClose(ds);
    const std::string run = "run " + quoted(river.string()) + " --treatment taco --quiet --out " +
                            quoted(images.scratch().string());
    const RunResult degrees = images.run_raw("", "", run);
    EXPECT_EQ(degrees.status, 0) << degrees.err;
    EXPECT_EQ(degrees.err,
              "drainshape: warning: the pixel size comes from a geographic coordinate system "
              "(degrees, not metres); give --pixel-size in metres\n");
    const RunResult metres = images.run_raw("", "", run + " --pixel-size 90");
    EXPECT_EQ(metres.status, 0) << metres.err;
    EXPECT_EQ(metres.err, "");
}

}  // namespace
}  // namespace ds

#else  // without GDAL

#include "tests/exe_runner.h"

namespace ds {
namespace {

TEST(PrepareWithoutGdal, RefusesLinesAndGeoTiffWithOneLine) {
    test::ImagesRoot images;
    test::write_file(images.file("lines.gpkg"), "not read");
    const auto r = images.run_raw("", "",
                                  "prepare " + test::quoted(images.file("lines.gpkg").string()) +
                                      " -o " + test::quoted(images.file("P.raw").string()));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("built without GDAL"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace
}  // namespace ds

#endif
