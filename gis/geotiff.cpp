#include "gis/geotiff.h"

#if DRAINSHAPE_WITH_GDAL

#include <cpl_string.h>

#include <cmath>
#include <cstdint>

#include "gis/gdal_session.h"

namespace ds {

namespace {

using gdal::Dataset;
using gdal::ErrorTrap;
using gdal::register_drivers;

Dataset open_raster(const std::string& path, const ErrorTrap& trap) {
    register_drivers();
    Dataset ds(
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!ds)
        throw RasterError(trap.message("not a raster that GDAL reads"));
    if (GDALGetRasterCount(ds.get()) < 1)
        throw RasterError("the raster has no band");
    return ds;
}

}  // namespace

bool have_gdal() {
    return true;
}

std::string gdal_release() {
    return GDALVersionInfo("RELEASE_NAME");
}

RasterInfo probe_raster(const std::string& path) {
    ErrorTrap trap;
    const Dataset ds = open_raster(path, trap);
    RasterInfo info;
    info.nb_lig = GDALGetRasterYSize(ds.get());
    info.nb_col = GDALGetRasterXSize(ds.get());
    std::array<double, 6> gt{};
    if (GDALGetGeoTransform(ds.get(), gt.data()) == CE_None) {
        info.geo.transform = gt;
        info.pix_size = static_cast<int>(std::lround(std::fabs(gt[1])));
    }
    if (const char* wkt = GDALGetProjectionRef(ds.get()); wkt != nullptr)
        info.geo.projection = wkt;
    return info;
}

void read_network(const std::string& path, ByteGrid& tab) {
    ErrorTrap trap;
    const Dataset ds = open_raster(path, trap);
    if (GDALGetRasterYSize(ds.get()) != tab.rows() || GDALGetRasterXSize(ds.get()) != tab.cols())
        throw RasterError("the raster changed size while it was read");
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    int has_nodata = 0;
    const double nodata = GDALGetRasterNoDataValue(band, &has_nodata);
    std::vector<double> row(static_cast<std::size_t>(tab.cols()));
    for (std::int64_t i = 0; i < tab.rows(); ++i) {
        if (GDALRasterIO(band, GF_Read, 0, static_cast<int>(i), static_cast<int>(tab.cols()), 1,
                         row.data(), static_cast<int>(tab.cols()), 1, GDT_Float64, 0, 0) != CE_None)
            throw RasterError(trap.message("read error"));
        const auto out = tab.row(i);
        for (std::size_t j = 0; j < row.size(); ++j) {
            const double v = row[j];
            const bool no_data =
                has_nodata != 0 && (v == nodata || (std::isnan(v) && std::isnan(nodata)));
            out[j] = v == 1.0 && !no_data ? 1 : 0;
        }
    }
}

void write_geotiff(const std::string& path, const ByteGrid& image, const GeoReference& geo,
                   const std::vector<std::pair<std::string, std::string>>& metadata,
                   bool zero_is_nodata) {
    register_drivers();
    ErrorTrap trap;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr)
        throw RasterError("GDAL has no GTiff driver");
    const char* options[] = {"COMPRESS=DEFLATE", nullptr};
    {
        Dataset ds(GDALCreate(driver, path.c_str(), static_cast<int>(image.cols()),
                              static_cast<int>(image.rows()), 1, GDT_Byte,
                              const_cast<char**>(options)));
        if (!ds)
            throw RasterError("Cannot create file " + path + ": " + trap.message("GDAL error"));
        if (geo.transform) {
            std::array<double, 6> gt = *geo.transform;
            GDALSetGeoTransform(ds.get(), gt.data());
        }
        if (!geo.projection.empty())
            GDALSetProjection(ds.get(), geo.projection.c_str());
        for (const auto& [key, value] : metadata)
            GDALSetMetadataItem(ds.get(), key.c_str(), value.c_str(), nullptr);
        GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
        if (zero_is_nodata)
            GDALSetRasterNoDataValue(band, 0.0);
        if (GDALRasterIO(band, GF_Write, 0, 0, static_cast<int>(image.cols()),
                         static_cast<int>(image.rows()), const_cast<unsigned char*>(image.data()),
                         static_cast<int>(image.cols()), static_cast<int>(image.rows()), GDT_Byte,
                         0, 0) != CE_None)
            throw RasterError("Cannot write file " + path + ": " + trap.message("GDAL error"));
    }
    if (trap.failed())
        throw RasterError("Cannot write file " + path + ": " + trap.message("GDAL error"));
}

}  // namespace ds

#else  // without GDAL

namespace ds {

namespace {

[[noreturn]] void no_gdal() {
    throw RasterError("this drainshape is built without GDAL");
}

}  // namespace

bool have_gdal() {
    return false;
}

std::string gdal_release() {
    return {};
}

RasterInfo probe_raster(const std::string&) {
    no_gdal();
}

void read_network(const std::string&, ByteGrid&) {
    no_gdal();
}

void write_geotiff(const std::string&, const ByteGrid&, const GeoReference&,
                   const std::vector<std::pair<std::string, std::string>>&, bool) {
    no_gdal();
}

}  // namespace ds

#endif
