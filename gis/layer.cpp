#include "gis/layer.h"

#include <cpl_conv.h>
#include <cpl_vsi.h>

#include <array>
#include <limits>
#include <sstream>

#include "gis/gdal_support.h"
#include "lib/markup.h"

namespace ds {

using gdal::Dataset;
using gdal::ErrorTrap;

namespace {

class GdalLayerRows final : public LayerRows {
  public:
    GdalLayerRows(const std::string& path, std::int64_t rows, std::int64_t cols)
        : rows_(rows), cols_(static_cast<int>(cols)) {
        ErrorTrap trap;
        gdal::register_drivers();
        GDALDriverH driver = GDALGetDriverByName("GTiff");
        if (driver == nullptr)
            throw RasterError("GDAL has no GTiff driver");
        // Read once and removed: fast compression on disk, none in memory.
        const bool memory = path.starts_with("/vsimem/");
        const char* options[] = {memory ? "COMPRESS=NONE" : "COMPRESS=DEFLATE", "ZLEVEL=1",
                                 "PREDICTOR=3", "BIGTIFF=IF_SAFER", nullptr};
        ds_.reset(GDALCreate(driver, path.c_str(), cols_, static_cast<int>(rows), 1, GDT_Float32,
                             const_cast<char**>(options)));
        if (!ds_)
            throw RasterError(trap.message("GDAL cannot create it"));
    }
    ~GdalLayerRows() override {
        const ErrorTrap quiet;
        ds_.reset();
    }

    void write(const float* cells, std::int64_t rows) override {
        if (!ds_)
            throw RasterError("the layer is closed");
        if (rows <= 0)
            return;
        if (next_ + rows > rows_)
            throw RasterError("more rows than the layer holds");
        ErrorTrap trap;
        if (GDALRasterIO(GDALGetRasterBand(ds_.get(), 1), GF_Write, 0, static_cast<int>(next_),
                         cols_, static_cast<int>(rows), const_cast<float*>(cells), cols_,
                         static_cast<int>(rows), GDT_Float32, 0, 0) != CE_None ||
            trap.failed())
            throw RasterError(trap.message("GDAL error"));
        // Written blocks would otherwise wait in GDAL's cache: the whole part, at the run's peak.
        if (GDALFlushRasterCache(GDALGetRasterBand(ds_.get(), 1)) != CE_None)
            throw RasterError(trap.message("GDAL error"));
        next_ += rows;
    }

    void close() override {
        if (!ds_)
            return;
        if (next_ != rows_)
            throw RasterError("the layer is missing rows");
        ErrorTrap trap;
        ds_.reset();  // closing flushes: its errors count too
        if (trap.failed())
            throw RasterError(trap.message("GDAL error"));
    }

  private:
    std::int64_t rows_;
    int cols_;
    std::int64_t next_ = 0;
    Dataset ds_;
};

// A virtual raster that stacks the parts.
std::string stacked_parts(const std::vector<LayerPart>& parts, std::int64_t cols) {
    std::int64_t rows = 0;
    for (const LayerPart& p : parts)
        rows += p.rows;
    std::ostringstream x;
    x << "<VRTDataset rasterXSize=\"" << cols << "\" rasterYSize=\"" << rows << "\">"
      << "<VRTRasterBand dataType=\"Float32\" band=\"1\"><NoDataValue>nan</NoDataValue>";
    std::int64_t y = 0;
    for (const LayerPart& p : parts) {
        x << "<SimpleSource><SourceFilename relativeToVRT=\"0\">" << markup_escaped(p.path)
          << "</SourceFilename><SourceBand>1</SourceBand><SrcRect xOff=\"0\" yOff=\"0\" xSize=\""
          << cols << "\" ySize=\"" << p.rows << "\"/><DstRect xOff=\"0\" yOff=\"" << y
          << "\" xSize=\"" << cols << "\" ySize=\"" << p.rows << "\"/></SimpleSource>";
        y += p.rows;
    }
    x << "</VRTRasterBand></VRTDataset>";
    return x.str();
}

}  // namespace

std::unique_ptr<LayerRows> create_layer_part(const std::string& path, std::int64_t rows,
                                             std::int64_t cols) {
    return std::make_unique<GdalLayerRows>(path, rows, cols);
}

void remove_layer_part(const std::string& path) {
    if (path.starts_with("/vsimem/"))
        VSIUnlink(path.c_str());
}

void write_layer_cog(const std::string& path, const std::vector<LayerPart>& parts,
                     std::int64_t cols, const GeoReference& geo, const std::string& description,
                     const std::vector<std::pair<std::string, std::string>>& metadata) {
    ErrorTrap trap;
    gdal::register_drivers();
    const auto fail = [&](const char* fallback) { throw RasterError(trap.message(fallback)); };
    Dataset source(GDALOpen(stacked_parts(parts, cols).c_str(), GA_ReadOnly));
    if (!source)
        fail("GDAL cannot read the layer's parts");
    gdal::set_georeference(source.get(), geo, metadata);
    GDALRasterBandH band = GDALGetRasterBand(source.get(), 1);
    GDALSetDescription(band, description.c_str());
    GDALSetRasterNoDataValue(band, std::numeric_limits<double>::quiet_NaN());

    GDALDriverH cog = GDALGetDriverByName("COG");
    if (cog == nullptr)
        fail("GDAL has no COG driver");
    const char* options[] = {"COMPRESS=DEFLATE",
                             "PREDICTOR=YES",
                             "LEVEL=1",
                             "BLOCKSIZE=512",
                             "OVERVIEW_RESAMPLING=AVERAGE",
                             "BIGTIFF=IF_SAFER",
                             nullptr};
    // The overviews are made in a scratch file beside the layer: uncompressed, it takes a third
    // less time to write and read back. The driver reads the option from the process's settings.
    const bool user_set = CPLGetConfigOption("COG_TMP_COMPRESSION", nullptr) != nullptr;
    if (!user_set)
        CPLSetConfigOption("COG_TMP_COMPRESSION", "NONE");
    Dataset out(GDALCreateCopy(cog, path.c_str(), source.get(), FALSE, const_cast<char**>(options),
                               nullptr, nullptr));
    if (!user_set)
        CPLSetConfigOption("COG_TMP_COMPRESSION", nullptr);
    if (!out)
        fail("GDAL cannot write it");
    out.reset();  // closing flushes: its errors count too
    if (trap.failed())
        fail("GDAL error");
}

}  // namespace ds
