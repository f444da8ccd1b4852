#include "gis/raster_band.h"

#include <cmath>
#include <vector>

#include "gis/gdal_support.h"

namespace ds {

BandRaster read_band(const std::string& path, const BandRule& rule, std::int64_t max_cells) {
    gdal::ErrorTrap trap;
    const gdal::Dataset ds = gdal::open_raster(path, trap);
    const std::int64_t rows = GDALGetRasterYSize(ds.get());
    const std::int64_t cols = GDALGetRasterXSize(ds.get());
    if (rows * cols > max_cells)
        throw RasterError("its " + std::to_string(rows) + " x " + std::to_string(cols) +
                          " pixels are more than this program takes");

    BandRaster out;
    std::array<double, 6> gt{};
    if (GDALGetGeoTransform(ds.get(), gt.data()) == CE_None)
        out.geo.transform = gt;
    if (const char* wkt = GDALGetProjectionRef(ds.get()); wkt != nullptr)
        out.geo.projection = wkt;
    out.cells = ByteGrid(rows, cols);

    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    int has_nodata = 0;
    const double nodata = GDALGetRasterNoDataValue(band, &has_nodata);
    std::vector<double> row(static_cast<std::size_t>(cols));
    for (std::int64_t i = 0; i < rows; ++i) {
        if (GDALRasterIO(band, GF_Read, 0, static_cast<int>(i), static_cast<int>(cols), 1,
                         row.data(), static_cast<int>(cols), 1, GDT_Float64, 0, 0) != CE_None)
            throw RasterError(trap.message("read error"));
        const auto cells = out.cells.row(i);
        for (std::size_t j = 0; j < row.size(); ++j) {
            const double v = row[j];
            if (has_nodata != 0 && (v == nodata || (std::isnan(v) && std::isnan(nodata)))) {
                ++out.nodata;
                cells[j] = 0;
            } else if (rule.kind == BandRule::Kind::Bytes) {
                if (!(v >= 0 && v <= 255 && v == std::floor(v)))
                    throw RasterError("its value " + std::to_string(v) + " at line " +
                                      std::to_string(i + 1) + ", column " + std::to_string(j + 1) +
                                      " is not a byte");
                cells[j] = static_cast<unsigned char>(v);
            } else if (rule.kind == BandRule::Kind::Values) {
                cells[j] = v == 0 ? 0 : v == 1 ? 1 : 2;
            } else if (rule.network_value) {
                cells[j] = v == *rule.network_value ? 1 : 0;
            } else {
                cells[j] = v != 0 && !std::isnan(v) ? 1 : 0;
            }
        }
    }
    return out;
}

}  // namespace ds
