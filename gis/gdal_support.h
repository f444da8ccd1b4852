// What every GDAL call of gis/ shares: driver registration, the error trap, datasets that close
// themselves, and the one writer of single-band GeoTIFFs. Included by gis/*.cpp only, never by
// a header that others include: GDAL's types stay inside gis/.
#pragma once

#include <cpl_error.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gis/geotiff.h"

namespace ds::gdal {

void register_drivers();

// Keeps GDAL's messages off the console while it lives, and the first failure's text.
class ErrorTrap {
  public:
    ErrorTrap();
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    bool failed() const { return failed_; }
    std::string message(const char* fallback) const {
        return message_.empty() ? std::string(fallback) : message_;
    }

  private:
    static void CPL_STDCALL handler(CPLErr level, CPLErrorNum, const char* text);

    bool failed_ = false;
    std::string message_;
};

// Owners of GDAL's handles, each released by its own function.
template <auto release>
struct Releaser {
    void operator()(void* handle) const {
        if (handle != nullptr)
            release(handle);
    }
};
using Dataset = std::unique_ptr<void, Releaser<GDALClose> >;
using Srs = std::unique_ptr<void, Releaser<OSRDestroySpatialReference> >;
using Transform = std::unique_ptr<void, Releaser<OCTDestroyCoordinateTransformation> >;
using Feature = std::unique_ptr<void, Releaser<OGR_F_Destroy> >;

// Opens the raster at `path` for reading; it has at least one band. Throws RasterError.
Dataset open_raster(const std::string& path, const ErrorTrap& trap);

// Sets the georeference `geo` (what it has of it) and the metadata items `metadata` of `ds`.
void set_georeference(GDALDatasetH ds, const GeoReference& geo,
                      const std::vector<std::pair<std::string, std::string> >& metadata);

struct BandImage {
    GDALDataType type = GDT_Byte;
    const void* cells = nullptr;  // rows x cols of `type`, row after row
    int rows = 0;
    int cols = 0;
    double nodata = 0;
    bool has_nodata = true;  // false: `nodata` is declared as no value's marker
};

// The cells of `grid`, which hold `type`.
template <class T>
BandImage band_of(const Grid<T>& grid, GDALDataType type, double nodata, bool has_nodata = true) {
    return {type,   grid.data(), static_cast<int>(grid.rows()), static_cast<int>(grid.cols()),
            nodata, has_nodata};
}

// Creates `path` as a one-band GeoTIFF of the type, size and NoData value of `image` (whose cells
// are not read), DEFLATE-compressed, with the georeference `geo` and the metadata items
// `metadata`, for its cells to be written next. Throws RasterError as write_band does.
Dataset create_band(const std::string& path, const BandImage& image, const GeoReference& geo,
                    const std::vector<std::pair<std::string, std::string> >& metadata,
                    const ErrorTrap& trap);

// Writes `image` to `path` as a one-band GeoTIFF, DEFLATE-compressed, with its NoData value,
// the georeference `geo` and the metadata items `metadata`. Throws RasterError, whose message
// says what failed but not the file's name: callers write under a temporary name (OutputSet)
// and name the final file.
void write_band(const std::string& path, const BandImage& image, const GeoReference& geo,
                const std::vector<std::pair<std::string, std::string> >& metadata);

}  // namespace ds::gdal
