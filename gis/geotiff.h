// Rasters that GIS tools use, through GDAL: a river network read from band 1 of any raster GDAL
// reads, and the output images written as GeoTIFF. These and the other functions of gis/ are
// served by the GIS module (gis/module.h), loaded on first use; without GDAL built in, or
// without its module, every call but have_gdal and gdal_release throws.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "lib/grid.h"

namespace ds {

// A raster that cannot be opened or read.
class RasterError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Where a raster lies: its affine geotransform and its projection, when it has them.
struct GeoReference {
    std::optional<std::array<double, 6>> transform;
    std::string projection;  // WKT; empty when none
};

// Whether two geotransforms place the pixels alike, to a millionth of a pixel.
inline bool same_transform(const std::array<double, 6>& a, const std::array<double, 6>& b) {
    const double pixel = std::max(std::abs(a[1]) + std::abs(a[2]), std::abs(a[4]) + std::abs(a[5]));
    for (std::size_t k = 0; k < 6; ++k)
        if (std::abs(a[k] - b[k]) > 1e-6 * pixel)
            return false;
    return true;
}

// Lines and columns of a raster, and its pixel width from the geotransform, rounded (0 without
// one): the fields of a river descriptor that a raster gives.
struct RasterSize {
    int nb_lig = 0;
    int nb_col = 0;
    int pix_size = 0;
};

struct RasterInfo {
    RasterSize river;
    GeoReference geo;
};

// Whether this drainshape is built with GDAL (its module may still be missing: gis_problem).
bool have_gdal();
// The release of GDAL it was built with ("3.6.2"); empty without GDAL. Loads nothing.
std::string gdal_release();

// Size, pixel size and georeference of the raster at `path`. Throws RasterError.
RasterInfo probe_raster(const std::string& path);

// Band 1 of the raster at `path` into `tab`, which has its size: 1 where the band is 1 and not
// NoData, 0 everywhere else. Throws RasterError.
void read_network(const std::string& path, ByteGrid& tab);
// The same for the rows `rows` of a raster of `nb_lig` rows only, into `tab`, which has that
// many rows of the raster's width.
void read_network_rows(const std::string& path, std::int64_t nb_lig, RowRange rows, ByteGrid& tab);

// Writes `image` to `path` as a one-band Byte GeoTIFF, DEFLATE-compressed, with 0 as NoData
// unless `zero_is_nodata` is false, the georeference `geo` and the metadata items `metadata`.
// Throws RasterError, whose message says what failed but not the file's name.
void write_geotiff(const std::string& path, const ByteGrid& image, const GeoReference& geo,
                   const std::vector<std::pair<std::string, std::string>>& metadata,
                   bool zero_is_nodata = true);

// The GeoTIFF of write_geotiff (0 as NoData) written a band of rows at a time, in row order, by a
// writer that never holds the whole image. Every call throws RasterError.
class GeoTiffRows {
  public:
    virtual ~GeoTiffRows() = default;
    // Writes the raster rows `rows` from `image`, which holds the raster's rows from `first` on.
    virtual void write(const ByteGrid& image, std::int64_t first, RowRange rows) = 0;
    // Completes the file.
    virtual void close() = 0;
};

// A GeoTIFF of `rows` x `cols` pixels at `path`, to be written by rows.
std::unique_ptr<GeoTiffRows> create_geotiff_rows(
    const std::string& path, std::int64_t rows, std::int64_t cols, const GeoReference& geo,
    const std::vector<std::pair<std::string, std::string>>& metadata);

}  // namespace ds
