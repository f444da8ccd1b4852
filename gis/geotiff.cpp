#include "gis/geotiff.h"

#include "gis/gdal_support.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ds {

using gdal::Dataset;
using gdal::ErrorTrap;
using gdal::open_raster;

RasterInfo probe_raster(const std::string& path) {
    ErrorTrap trap;
    const Dataset ds = open_raster(path, trap);
    RasterInfo info;
    info.river.nb_lig = GDALGetRasterYSize(ds.get());
    info.river.nb_col = GDALGetRasterXSize(ds.get());
    std::array<double, 6> gt{};
    if (GDALGetGeoTransform(ds.get(), gt.data()) == CE_None) {
        info.geo.transform = gt;
        info.river.pix_size = static_cast<int>(std::lround(std::fabs(gt[1])));
    }
    if (const char* wkt = GDALGetProjectionRef(ds.get()); wkt != nullptr)
        info.geo.projection = wkt;
    return info;
}

void read_network(const std::string& path, ByteGrid& tab) {
    read_network_rows(path, tab.rows(), {0, tab.rows()}, tab);
}

void read_network_rows(const std::string& path, std::int64_t nb_lig, RowRange rows, ByteGrid& tab) {
    ErrorTrap trap;
    const Dataset ds = open_raster(path, trap);
    if (GDALGetRasterYSize(ds.get()) != nb_lig || GDALGetRasterXSize(ds.get()) != tab.cols())
        throw RasterError("the raster changed size while it was read");
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    int has_nodata = 0;
    const double nodata = GDALGetRasterNoDataValue(band, &has_nodata);
    std::vector<double> row(static_cast<std::size_t>(tab.cols()));
    for (std::int64_t i = 0; i < rows.size(); ++i) {
        if (GDALRasterIO(band, GF_Read, 0, static_cast<int>(rows.begin + i),
                         static_cast<int>(tab.cols()), 1, row.data(), static_cast<int>(tab.cols()),
                         1, GDT_Float64, 0, 0) != CE_None)
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
    gdal::write_band(path, gdal::band_of(image, GDT_Byte, 0, zero_is_nodata), geo, metadata);
}

namespace {

class GdalGeoTiffRows final : public GeoTiffRows {
  public:
    GdalGeoTiffRows(const std::string& path, std::int64_t rows, std::int64_t cols,
                    const GeoReference& geo,
                    const std::vector<std::pair<std::string, std::string>>& metadata)
        : cols_(static_cast<int>(cols)) {
        ErrorTrap trap;
        ds_ = gdal::create_band(path, {GDT_Byte, nullptr, static_cast<int>(rows), cols_, 0, true},
                                geo, metadata, trap);
    }
    ~GdalGeoTiffRows() override {
        const ErrorTrap quiet;
        ds_.reset();
    }

    void write(const ByteGrid& image, std::int64_t first, RowRange rows) override {
        if (!ds_)
            throw RasterError("the GeoTIFF is closed");
        ErrorTrap trap;
        // A few MiB per call, so that no buffer size overflows an int.
        const std::int64_t chunk = std::max<std::int64_t>(1, (std::int64_t{1} << 24) / cols_);
        for (std::int64_t r = rows.begin; r < rows.end; r += chunk) {
            const int n = static_cast<int>(std::min(chunk, rows.end - r));
            if (GDALRasterIO(GDALGetRasterBand(ds_.get(), 1), GF_Write, 0, static_cast<int>(r),
                             cols_, n, const_cast<unsigned char*>(image.row(r - first).data()),
                             cols_, n, GDT_Byte, 0, 0) != CE_None ||
                trap.failed())
                throw RasterError(trap.message("GDAL error"));
        }
    }

    void close() override {
        if (!ds_)
            return;
        ErrorTrap trap;
        ds_.reset();  // closing flushes: its errors count too
        if (trap.failed())
            throw RasterError(trap.message("GDAL error"));
    }

  private:
    int cols_;
    Dataset ds_;
};

}  // namespace

std::unique_ptr<GeoTiffRows> create_geotiff_rows(
    const std::string& path, std::int64_t rows, std::int64_t cols, const GeoReference& geo,
    const std::vector<std::pair<std::string, std::string>>& metadata) {
    return std::make_unique<GdalGeoTiffRows>(path, rows, cols, geo, metadata);
}

}  // namespace ds
