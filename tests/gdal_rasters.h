// Rasters made and read through GDAL, for the tests of GeoTIFF rivers and images.
#pragma once

#include <cpl_conv.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ds::test {

namespace fs = std::filesystem;

inline constexpr std::array<double, 6> kTransform = {500000.0, 29.6, 0.0, 4200000.0, 0.0, -29.6};

inline std::string utm33_wkt() {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    EXPECT_EQ(OSRImportFromEPSG(srs, 32633), OGRERR_NONE);
    char* wkt = nullptr;
    OSRExportToWkt(srs, &wkt);
    std::string out = wkt;
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    return out;
}

struct Made {
    GDALDataType type = GDT_Byte;
    std::optional<double> nodata;
    bool georeferenced = true;
};

// A one-band GeoTIFF of `values` (row after row).
inline void make_tif(const fs::path& path, int rows, int cols, const std::vector<double>& values,
                     const Made& how) {
    GDALAllRegister();
    GDALDriverH drv = GDALGetDriverByName("GTiff");
    GDALDatasetH ds = GDALCreate(drv, path.c_str(), cols, rows, 1, how.type, nullptr);
    ASSERT_NE(ds, nullptr);
    if (how.georeferenced) {
        std::array<double, 6> gt = kTransform;
        GDALSetGeoTransform(ds, gt.data());
        GDALSetProjection(ds, utm33_wkt().c_str());
    }
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    if (how.nodata)
        GDALSetRasterNoDataValue(band, *how.nodata);
    std::vector<double> copy = values;
    ASSERT_EQ(
        GDALRasterIO(band, GF_Write, 0, 0, cols, rows, copy.data(), cols, rows, GDT_Float64, 0, 0),
        CE_None);
    GDALClose(ds);
}

struct Opened {
    explicit Opened(const fs::path& p) {
        GDALAllRegister();
        ds = GDALOpen(p.c_str(), GA_ReadOnly);
    }
    ~Opened() {
        if (ds != nullptr)
            GDALClose(ds);
    }
    GDALDatasetH ds = nullptr;
};

inline std::string band_bytes(GDALDatasetH ds) {
    const int cols = GDALGetRasterXSize(ds);
    const int rows = GDALGetRasterYSize(ds);
    std::string bytes(static_cast<std::size_t>(rows * cols), '\0');
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, 0, cols, rows, bytes.data(), cols,
                           rows, GDT_Byte, 0, 0),
              CE_None);
    return bytes;
}

}  // namespace ds::test
