#include "gis/gdal_support.h"

#include "gis/geotiff.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>

namespace ds::gdal {

void register_drivers() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

ErrorTrap::ErrorTrap() {
    CPLPushErrorHandlerEx(&ErrorTrap::handler, this);
    CPLErrorReset();
}

ErrorTrap::~ErrorTrap() {
    CPLPopErrorHandler();
}

void CPL_STDCALL ErrorTrap::handler(CPLErr level, CPLErrorNum, const char* text) {
    auto* self = static_cast<ErrorTrap*>(CPLGetErrorHandlerUserData());
    if (self == nullptr || level < CE_Failure)
        return;
    if (!self->failed_ && text != nullptr)
        self->message_ = text;
    self->failed_ = true;
}

Dataset open_raster(const std::string& path, const ErrorTrap& trap) {
    register_drivers();
    Dataset ds(
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!ds)
        throw RasterError(trap.message("not a raster that GDAL reads"));
    if (GDALGetRasterCount(ds.get()) < 1)
        throw RasterError("the raster has no band");
    // GDAL reads and caches whole blocks: a block far larger than the raster (a damaged or
    // hostile header) would cost gigabytes and minutes to read a few cells.
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    int block_cols = 0;
    int block_rows = 0;
    GDALGetBlockSize(band, &block_cols, &block_rows);
    const std::int64_t cell = std::max(1, GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band)));
    // Where the bands are interleaved by pixel, a block of band 1 is decoded with every band's.
    const char* interleave = GDALGetMetadataItem(ds.get(), "INTERLEAVE", "IMAGE_STRUCTURE");
    const std::int64_t decoded = interleave != nullptr && std::string(interleave) == "PIXEL"
                                     ? GDALGetRasterCount(ds.get())
                                     : 1;
    const std::int64_t block = std::int64_t{block_cols} * block_rows * cell;
    const std::int64_t raster =
        std::int64_t{GDALGetRasterXSize(ds.get())} * GDALGetRasterYSize(ds.get()) * cell;
    constexpr std::int64_t kAnyBlock = std::int64_t{64} << 20;
    if (block > std::max(2 * raster, kAnyBlock) ||
        block * decoded > std::max(16 * raster, kAnyBlock))
        throw RasterError("its blocks of " + std::to_string(block_rows) + " x " +
                          std::to_string(block_cols) + " cells" +
                          (decoded > 1 ? " in " + std::to_string(decoded) + " interleaved bands"
                                       : std::string()) +
                          " are out of proportion to its " +
                          std::to_string(GDALGetRasterYSize(ds.get())) + " x " +
                          std::to_string(GDALGetRasterXSize(ds.get())) + " cells");
    return ds;
}

void set_georeference(GDALDatasetH ds, const GeoReference& geo,
                      const std::vector<std::pair<std::string, std::string>>& metadata) {
    if (geo.transform) {
        std::array<double, 6> gt = *geo.transform;
        GDALSetGeoTransform(ds, gt.data());
    }
    if (!geo.projection.empty())
        GDALSetProjection(ds, geo.projection.c_str());
    for (const auto& [key, value] : metadata)
        GDALSetMetadataItem(ds, key.c_str(), value.c_str(), nullptr);
}

Dataset create_band(const std::string& path, const BandImage& image, const GeoReference& geo,
                    const std::vector<std::pair<std::string, std::string>>& metadata,
                    const ErrorTrap& trap) {
    register_drivers();
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr)
        throw RasterError("GDAL has no GTiff driver");
    // Floating-point cells compress better with the floating-point predictor.
    const bool real = image.type == GDT_Float32 || image.type == GDT_Float64;
    const char* options[] = {"COMPRESS=DEFLATE", real ? "PREDICTOR=3" : nullptr, nullptr};
    Dataset ds(GDALCreate(driver, path.c_str(), image.cols, image.rows, 1, image.type,
                          const_cast<char**>(options)));
    if (!ds)
        throw RasterError(trap.message("GDAL cannot create it"));
    set_georeference(ds.get(), geo, metadata);
    if (image.has_nodata)
        GDALSetRasterNoDataValue(GDALGetRasterBand(ds.get(), 1), image.nodata);
    if (trap.failed())
        throw RasterError(trap.message("GDAL error"));
    return ds;
}

void write_band(const std::string& path, const BandImage& image, const GeoReference& geo,
                const std::vector<std::pair<std::string, std::string>>& metadata) {
    ErrorTrap trap;
    const auto fail = [&](const char* fallback) { throw RasterError(trap.message(fallback)); };
    {
        Dataset ds = create_band(path, image, geo, metadata, trap);
        if (GDALRasterIO(GDALGetRasterBand(ds.get(), 1), GF_Write, 0, 0, image.cols, image.rows,
                         const_cast<void*>(image.cells), image.cols, image.rows, image.type, 0,
                         0) != CE_None)
            fail("GDAL error");
        ds.reset();  // closing flushes: its errors count too
    }
    if (trap.failed())
        fail("GDAL error");
}

}  // namespace ds::gdal
