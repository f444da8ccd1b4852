// Elevation models through GDAL, and the whole hydrology on the real one in tests/data.
#include <gtest/gtest.h>

#if DRAINSHAPE_WITH_GDAL

#include <gdal.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "dem/streams.h"
#include "gis/dem_raster.h"
#include "tests/dem_checks.h"
#include "tests/exe_runner.h"

namespace ds {
namespace {

namespace fs = std::filesystem;

const std::string kJacksboro =
    std::string(DRAINSHAPE_SOURCE_DIR) + "/tests/data/jacksboro_fault_dem.tif";

// Smallest and largest value cell.
std::pair<double, double> value_range(const DemGrid& dem) {
    double lo = INFINITY, hi = -INFINITY;
    for (std::int64_t i = 0; i < dem.z.size(); ++i)
        if (dem.nodata.data()[i] == 0) {
            lo = std::min(lo, dem.z.data()[i]);
            hi = std::max(hi, dem.z.data()[i]);
        }
    return {lo, hi};
}

std::int64_t nodata_cells(const DemGrid& dem) {
    return std::count(dem.nodata.data(), dem.nodata.data() + dem.nodata.size(), 1);
}

TEST(DemRaster, ReadsTheRealDemWithItsGeoreference) {
    const DemRaster r = read_dem(kJacksboro);
    EXPECT_EQ(r.dem.z.rows(), 344);
    EXPECT_EQ(r.dem.z.cols(), 403);
    EXPECT_EQ(r.crs, CrsKind::geographic);
    ASSERT_TRUE(r.geo.transform);
    EXPECT_DOUBLE_EQ((*r.geo.transform)[0], -84.41375);
    EXPECT_DOUBLE_EQ((*r.geo.transform)[3], 36.73291666666667);
    EXPECT_DOUBLE_EQ((*r.geo.transform)[5], -1.0 / 1200);
    EXPECT_EQ(nodata_cells(r.dem), 0);
    EXPECT_EQ(value_range(r.dem), std::make_pair(236.0, 1076.0));
    // 3 arc-seconds near 36.6 degrees north: about 74.5 m east-west and 92.5 m north-south.
    EXPECT_NEAR(r.dem.cell_width, 74.5, 0.5);
    EXPECT_NEAR(r.dem.cell_height, 92.5, 0.5);
}

TEST(DemRaster, WarpsBilinearlyIntoAProjectionWithNoDataOutsideTheSource) {
    EXPECT_EQ(crs_kind("EPSG:32616"), CrsKind::projected);
    EXPECT_EQ(crs_kind("EPSG:4326"), CrsKind::geographic);
    EXPECT_THROW(crs_kind("EPSG:not-a-code"), RasterError);

    const DemRaster utm = read_dem_warped(kJacksboro, "EPSG:32616", 90);
    EXPECT_EQ(utm.crs, CrsKind::projected);
    EXPECT_DOUBLE_EQ(utm.dem.cell_width, 90);
    EXPECT_DOUBLE_EQ(utm.dem.cell_height, 90);
    // The source turned in the projection leaves corners it does not cover; interpolated
    // values stay within the source's range (a 0 or a NoData value read as data would not).
    EXPECT_GT(nodata_cells(utm.dem), 0);
    EXPECT_EQ(utm.dem.nodata(0, 0), 1);
    const auto [lo, hi] = value_range(utm.dem);
    EXPECT_GE(lo, 236);
    EXPECT_LE(hi, 1076);
    const double area = static_cast<double>(utm.dem.z.size() - nodata_cells(utm.dem)) * 90 * 90;
    EXPECT_NEAR(area / (344 * 403 * 74.5 * 92.5), 1, 0.02);
}

// A one-line GeoTIFF of `cells` of `type`, with a NoData value or a mask of its own.
std::string one_line_tif(const fs::path& path, GDALDataType type, std::vector<double> cells,
                         std::optional<double> nodata, std::vector<unsigned char> mask,
                         double scale = 1, double offset = 0) {
    GDALAllRegister();
    const int n = static_cast<int>(cells.size());
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), n, 1, 1, type, nullptr);
    EXPECT_NE(ds, nullptr);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    if (nodata)
        GDALSetRasterNoDataValue(band, *nodata);
    GDALSetRasterScale(band, scale);
    GDALSetRasterOffset(band, offset);
    EXPECT_EQ(GDALRasterIO(band, GF_Write, 0, 0, n, 1, cells.data(), n, 1, GDT_Float64, 0, 0),
              CE_None);
    if (!mask.empty()) {
        EXPECT_EQ(GDALCreateMaskBand(band, GMF_PER_DATASET), CE_None);
        EXPECT_EQ(GDALRasterIO(GDALGetMaskBand(band), GF_Write, 0, 0, n, 1, mask.data(), n, 1,
                               GDT_Byte, 0, 0),
                  CE_None);
    }
    GDALClose(ds);
    return path.string();
}

std::vector<unsigned char> nodata_of(const DemRaster& r) {
    return {r.dem.nodata.data(), r.dem.nodata.data() + r.dem.nodata.size()};
}

TEST(DemRaster, NoDataOfEveryKindIsFound) {
    test::TempDir dir;
    // The declared value, and a cell that is not a number.
    const DemRaster declared =
        read_dem(one_line_tif(dir.path() / "f.tif", GDT_Float32, {-9999, 12.5, NAN}, -9999.0, {}));
    EXPECT_EQ(nodata_of(declared), (std::vector<unsigned char>{1, 0, 1}));
    EXPECT_EQ(declared.dem.z(0, 1), 12.5);
    // A mask of the file's own, on an integer band without a NoData value, of half metres
    // above 100 m.
    const DemRaster masked = read_dem(one_line_tif(dir.path() / "m.tif", GDT_Int16, {5, -6, 7},
                                                   std::nullopt, {255, 0, 255}, 0.5, 100));
    EXPECT_EQ(nodata_of(masked), (std::vector<unsigned char>{0, 1, 0}));
    EXPECT_EQ(masked.dem.z(0, 0), 102.5);
    EXPECT_EQ(masked.dem.z(0, 2), 103.5);
}

TEST(DemRaster, IntermediatesRoundTripWithoutLoss) {
    test::TempDir dir;
    const DemRaster src = read_dem(kJacksboro);
    DemGrid dem{RealGrid(2, 3), ByteGrid(2, 3)};
    const std::vector<double> z = {1.5, 0, 250.25, -3, 7, 8};
    std::copy(z.begin(), z.end(), dem.z.data());
    dem.nodata(0, 1) = 1;

    // Floats exactly: Float32; then one value that a float would round: Float64.
    for (const double last : {8.0, 0.1}) {
        dem.z(1, 2) = last;
        const std::string path = (dir.path() / "z.tif").string();
        write_elevation_geotiff(path, dem.z, dem.nodata, src.geo, {{"STEP", "filled"}});
        const DemRaster back = read_dem(path);
        EXPECT_EQ(back.dem.nodata, dem.nodata);
        for (std::int64_t i = 0; i < 6; ++i)
            EXPECT_TRUE(dem.nodata.data()[i] != 0 || back.dem.z.data()[i] == dem.z.data()[i])
                << last << " " << i;
        EXPECT_EQ(back.geo.transform, src.geo.transform);
        EXPECT_EQ(back.crs, CrsKind::geographic);
    }

    CountGrid counts(2, 3);
    counts(0, 0) = 4000000000u;
    counts(1, 2) = 1;
    const std::string path = (dir.path() / "acc.tif").string();
    write_count_geotiff(path, counts, src.geo, {});
    const DemRaster back = read_dem(path);
    EXPECT_EQ(back.dem.z(0, 0), 4e9);
    EXPECT_EQ(back.dem.z(1, 2), 1);
    EXPECT_EQ(nodata_cells(back.dem), 4) << "0 is NoData";

    dem.z(1, 2) = std::numeric_limits<double>::lowest();
    EXPECT_THROW(
        write_elevation_geotiff((dir.path() / "x.tif").string(), dem.z, dem.nodata, {}, {}),
        RasterError);
    EXPECT_FALSE(fs::exists(dir.path() / "x.tif"));
    EXPECT_FALSE(fs::exists(dir.path() / "x.tif.part"));
}

TEST(DemRaster, RealDemDrainsEverywhereAndItsNetworksNest) {
    const DemRaster r = read_dem(kJacksboro);
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const Drainage fine = extract_streams(r.dem, 100);
    omp_set_num_threads(2);
    const Drainage coarse = extract_streams(r.dem, 1000);
    omp_set_num_threads(threads);
    // An integer DEM of 3 arc-seconds has pits and flats.
    EXPECT_GT(fine.raised_cells, 0);
    EXPECT_GT(fine.flat_cells, fine.raised_cells);
    EXPECT_EQ(test::undrained_cells(fine.direction, fine.nodata), 0);
    EXPECT_EQ(fine.filled, coarse.filled);
    EXPECT_EQ(fine.direction, coarse.direction) << "the same whatever the threads";

    std::int64_t fine_cells = 0, coarse_cells = 0, outside = 0;
    for (std::int64_t i = 0; i < fine.streams.size(); ++i) {
        fine_cells += fine.streams.data()[i];
        coarse_cells += coarse.streams.data()[i];
        outside += coarse.streams.data()[i] > fine.streams.data()[i];
    }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(fine_cells, 2 * coarse_cells);
    EXPECT_GT(coarse_cells, 500);
    for (const Drainage* d : {&fine, &coarse}) {
        const test::StreamGraph g = test::stream_graph(d->streams, d->direction, d->nodata);
        EXPECT_EQ(g.inner_ends, 0) << "streams end at the edge only";
        EXPECT_GT(g.confluences.size(), 10u);
    }
}

}  // namespace
}  // namespace ds

#else

#include "gis/dem_raster.h"

namespace ds {
namespace {

TEST(DemRaster, WithoutGdalEveryCallSaysSo) {
    EXPECT_THROW(read_dem("x.tif"), RasterError);
    EXPECT_THROW(crs_kind("EPSG:4326"), RasterError);
}

}  // namespace
}  // namespace ds

#endif
