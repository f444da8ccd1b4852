// GeoTIFF rivers and GeoTIFF outputs through GDAL, with rasters made here.
#include <gtest/gtest.h>

#include <map>

#include "io/geotiff_writer.h"

#if DRAINSHAPE_WITH_GDAL

#include <cpl_conv.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <array>
#include <string>
#include <vector>

#include "gis/geotiff.h"
#include "tests/collect_products.h"
#include "tests/exe_runner.h"
#include "tests/gdal_rasters.h"
#include "tests/sample_crop.h"

namespace ds {
namespace {

namespace fs = std::filesystem;
using test::band_bytes;
using test::ImagesRoot;
using test::kTransform;
using test::Made;
using test::make_tif;
using test::Opened;
using test::quoted;
using test::read_file;
using test::utm33_wkt;

TEST(GeoTiff, RiverValuesOfOneAreTheNetworkAndNoDataIsBackground) {
    test::TempDir dir;
    // Float values: 1 is network; 1.5, 2, -9999 (NoData) and 0 are not.
    const std::vector<double> v = {1, 0, 1.5, 2, -9999, 1};
    make_tif(dir.path() / "f.tif", 2, 3, v, {GDT_Float32, -9999.0, false});
    ByteGrid tab(2, 3);
    read_network((dir.path() / "f.tif").string(), tab);
    EXPECT_EQ(std::vector<unsigned char>(tab.data(), tab.data() + 6),
              (std::vector<unsigned char>{1, 0, 0, 0, 0, 1}));

    // When 1 itself is NoData, nothing is network.
    make_tif(dir.path() / "n.tif", 2, 3, v, {GDT_Byte, 1.0, false});
    read_network((dir.path() / "n.tif").string(), tab);
    EXPECT_EQ(std::vector<unsigned char>(tab.data(), tab.data() + 6),
              (std::vector<unsigned char>(6, 0)));

    const RasterInfo plain = probe_raster((dir.path() / "n.tif").string());
    EXPECT_EQ(plain.river.nb_lig, 2);
    EXPECT_EQ(plain.river.nb_col, 3);
    EXPECT_EQ(plain.river.pix_size, 0);
    EXPECT_FALSE(plain.geo.transform);
    EXPECT_EQ(plain.geo.projection, "");
}

TEST(GeoTiff, PixelSizeIsTheRoundedPixelWidthOfTheGeotransform) {
    test::TempDir dir;
    make_tif(dir.path() / "g.tif", 2, 2, {0, 1, 1, 0}, {});
    const RasterInfo info = probe_raster((dir.path() / "g.tif").string());
    EXPECT_EQ(info.river.pix_size, 30);
    ASSERT_TRUE(info.geo.transform);
    EXPECT_EQ(*info.geo.transform, kTransform);
    EXPECT_NE(info.geo.projection.find("UTM zone 33N"), std::string::npos);
}

TEST(GeoTiff, AFileThatCannotBeCreatedIsAnError) {
    test::TempDir dir;
    ByteGrid image(2, 2);
    EXPECT_THROW(write_geotiff((dir.path() / "none" / "x.tif").string(), image, {}, {}),
                 RasterError);
    EXPECT_THROW(probe_raster((dir.path() / "missing.tif").string()), RasterError);
}

// A header may declare tiles far larger than the raster; GDAL would read each one whole.
TEST(GeoTiff, BlocksOutOfProportionToTheRasterAreRefusedBeforeAnyRead) {
    test::TempDir dir;
    const auto tiled = [&](const char* name, const char* side) {
        GDALAllRegister();
        const std::string x = std::string("BLOCKXSIZE=") + side;
        const std::string y = std::string("BLOCKYSIZE=") + side;
        const char* options[] = {"TILED=YES",        x.c_str(),        y.c_str(),
                                 "COMPRESS=DEFLATE", "SPARSE_OK=TRUE", nullptr};
        const std::string path = (dir.path() / name).string();
        GDALClose(GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), 4, 4, 1, GDT_Float64,
                             const_cast<char**>(options)));
        return path;
    };
    const std::string usual = tiled("usual.tif", "256");
    ByteGrid tab(4, 4);
    EXPECT_EQ(probe_raster(usual).river.nb_col, 4);
    EXPECT_NO_THROW(read_network(usual, tab));

    const std::string huge = tiled("huge.tif", "16384");
    try {
        probe_raster(huge);
        ADD_FAILURE() << "a 2 GiB block of a 4 x 4 raster was accepted";
    } catch (const RasterError& e) {
        EXPECT_NE(std::string(e.what()).find("16384 x 16384"), std::string::npos) << e.what();
    }
    EXPECT_THROW(read_network(huge, tab), RasterError);

    // Bands interleaved by pixel are decoded together: band 1 of 4000 of them, each block
    // 80 MB for 20 kB of band 1 (a compressed file of a few hundred bytes can say so).
    const auto interleaved = [&](const char* name, int bands) {
        const char* options[] = {"INTERLEAVE=PIXEL", "BLOCKYSIZE=10", "COMPRESS=DEFLATE",
                                 "SPARSE_OK=TRUE", nullptr};
        const std::string path = (dir.path() / name).string();
        GDALClose(GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), 2000, 10, bands, GDT_Byte,
                             const_cast<char**>(options)));
        return path;
    };
    EXPECT_EQ(probe_raster(interleaved("rgb.tif", 3)).river.nb_col, 2000);
    EXPECT_THROW(probe_raster(interleaved("bands.tif", 4000)), RasterError);
}

constexpr int kRows = 100;
constexpr int kCols = 90;

TEST(GeoTiff, ARunFromAGeoTiffWritesTheProductsOfItsNetworkGeoreferenced) {
    ImagesRoot images;
    const std::string raster = test::sample_crop(140, 160, kRows, kCols);
    // Pixels of NoData (255) in the background, to be read as 0.
    std::vector<double> values(raster.begin(), raster.end());
    for (std::size_t k = 0; k < values.size(); k += 97)
        if (values[k] == 0)
            values[k] = 255;
    make_tif(images.file("T.tif"), kRows, kCols, values, {GDT_Byte, 255.0, true});
    const auto tif_run = images.run_raw("", "",
                                        "run " + quoted(images.file("T.tif").string()) +
                                            " --name G --regional 13 --geotiff --quiet");
    ASSERT_EQ(tif_run.status, 0) << tif_run.err;
    // The files of the same network, with the rounded pixel size.
    RiverDescriptor river;
    river.nb_lig = kRows;
    river.nb_col = kCols;
    river.pix_size = 30;
    const AnalysisParameters p = test::parameters(13, 13, 1);
    const auto products = test::analyse_copy(test::grid_of_bytes(raster, kRows, kCols), p);
    for (const auto& [suffix, bytes] : test::file_set_of(products, river, p))
        EXPECT_TRUE(read_file(images.file("G" + suffix)) == bytes) << suffix;

    const std::string wkt = utm33_wkt();
    OGRSpatialReferenceH expected_srs = OSRNewSpatialReference(wkt.c_str());
    ASSERT_EQ(products.images.size(), 6u);
    for (const auto& [name, c] : products.images) {
        SCOPED_TRACE(name);
        const ProductInfo& info = *find_product(name);
        Opened tif(images.file("G" + std::string(info.suffix) + ".tif"));
        ASSERT_NE(tif.ds, nullptr);
        EXPECT_EQ(GDALGetRasterCount(tif.ds), 1);
        GDALRasterBandH band = GDALGetRasterBand(tif.ds, 1);
        EXPECT_EQ(GDALGetRasterDataType(band), GDT_Byte);
        std::array<double, 6> gt{};
        ASSERT_EQ(GDALGetGeoTransform(tif.ds, gt.data()), CE_None);
        EXPECT_EQ(gt, kTransform);
        OGRSpatialReferenceH srs = OSRNewSpatialReference(GDALGetProjectionRef(tif.ds));
        EXPECT_TRUE(OSRIsSame(srs, expected_srs));
        OSRDestroySpatialReference(srs);
        int has_nodata = 0;
        EXPECT_EQ(GDALGetRasterNoDataValue(band, &has_nodata), 0.0);
        EXPECT_TRUE(has_nodata);
        EXPECT_STREQ(GDALGetMetadataItem(tif.ds, "COMPRESSION", "IMAGE_STRUCTURE"), "DEFLATE");
        EXPECT_TRUE(band_bytes(tif.ds) ==
                    std::string(c.image.data(), c.image.data() + c.image.size()));

        // The descriptor, whole and line by line, and the provenance; nothing more.
        const std::string descriptor =
            descriptor_text(river, p, {info, c.image, c.counts, c.min, c.max});
        int lines = 0;
        for (const auto& [key, value] : geotiff_metadata(descriptor, p, info)) {
            const char* item = GDALGetMetadataItem(tif.ds, key.c_str(), nullptr);
            ASSERT_NE(item, nullptr) << key;
            EXPECT_EQ(item, value) << key;
            lines += key.rfind("DESCRIPTOR_LINE_", 0) == 0;
        }
        EXPECT_GE(lines, 8);
        const std::string next = "DESCRIPTOR_LINE_" + std::to_string(lines + 1);
        EXPECT_EQ(GDALGetMetadataItem(tif.ds, next.c_str(), nullptr), nullptr);
    }
    OSRDestroySpatialReference(expected_srs);
}

TEST(GeoTiff, ImagesOfARawRiverCarryNoGeoreference) {
    ImagesRoot images;
    images.add_river("R", 30, 30, test::header(30, 30, 10), test::sample_crop(200, 200, 30, 30));
    const auto r = images.run_raw("", "",
                                  "run " + quoted(images.file("R.raw").string()) +
                                      " --treatment taco --regional 13 --geotiff --quiet");
    ASSERT_EQ(r.status, 0) << r.err;
    Opened tif(images.file("R_TAC_DN.tif"));
    ASSERT_NE(tif.ds, nullptr);
    std::array<double, 6> gt{};
    CPLPushErrorHandler(CPLQuietErrorHandler);
    EXPECT_NE(GDALGetGeoTransform(tif.ds, gt.data()), CE_None);
    CPLPopErrorHandler();
    EXPECT_STREQ(GDALGetProjectionRef(tif.ds), "");
    EXPECT_EQ(band_bytes(tif.ds), read_file(images.file("R_TAC_DN.raw")));
    EXPECT_FALSE(images.files().contains("R_FDP_DN.tif"));
}

}  // namespace
}  // namespace ds

#else

#include "gis/geotiff.h"

namespace ds {
namespace {

TEST(GeoTiff, WithoutGdalEveryCallSaysSo) {
    EXPECT_FALSE(have_gdal());
    EXPECT_EQ(gdal_release(), "");
    ByteGrid image(2, 2);
    EXPECT_THROW(probe_raster("x.tif"), RasterError);
    EXPECT_THROW(read_network("x.tif", image), RasterError);
    EXPECT_THROW(write_geotiff("x.tif", image, {}, {}), RasterError);
}

}  // namespace
}  // namespace ds

#endif

namespace ds {
namespace {

TEST(GeoTiffMetadata, TheDescriptorLineByLineAndTheProvenanceOfTheRun) {
    AnalysisParameters p;
    p.window = 25;
    p.regional = 61;
    p.mnc = 2;
    p.treatment = Treatment::Taco;
    p.engine = Engine::Reference;
    const std::string descriptor = "2\n3\n\n\t Min. = 1.5 \n";
    const auto items = geotiff_metadata(descriptor, p, *find_product("TAC_RI"));
    std::map<std::string, std::string> m(items.begin(), items.end());
    EXPECT_EQ(m.size(), items.size());
    EXPECT_EQ(m, (std::map<std::string, std::string>{
                     {"TIFFTAG_IMAGEDESCRIPTION", descriptor},
                     {"DESCRIPTOR_LINE_1", "2"},
                     {"DESCRIPTOR_LINE_2", "3"},
                     {"DESCRIPTOR_LINE_3", "Min. = 1.5"},
                     {"TIFFTAG_SOFTWARE", program_version()},
                     {"DRAINSHAPE_PRODUCT", "TAC_RI"},
                     {"DRAINSHAPE_PROGRAM", program_version()},
                     {"DRAINSHAPE_ENGINE", "reference"},
                     {"DRAINSHAPE_TREATMENT", "taco"},
                     {"DRAINSHAPE_WINDOW", "25"},
                     {"DRAINSHAPE_REGIONAL", "61"},
                     {"DRAINSHAPE_MNC", "2"},
                 }));
}

}  // namespace
}  // namespace ds
