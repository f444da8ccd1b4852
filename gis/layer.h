// Real-valued layers as Cloud-Optimized GeoTIFF. A layer is written in parts, each a band of the
// raster's rows in order (one part for a whole raster, one per process of a shared run), into
// scratch files; the parts are then stacked and copied once into the COG: Float32, NaN as
// NoData, 512-pixel tiles, DEFLATE (level 1: as small as level 6 on these layers, in half the
// time) with the floating-point predictor, overviews that average the
// cells with a value (so that one-pixel lines stay visible), BigTIFF where a classic TIFF could
// pass 4 GB.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gis/geotiff.h"

namespace ds {

// The rows of one part, written in order. Every call throws RasterError.
class LayerRows {
  public:
    virtual ~LayerRows() = default;
    // Writes the next `rows` rows, row after row of the part's width.
    virtual void write(const float* cells, std::int64_t rows) = 0;
    // Completes the file; every row must have been written.
    virtual void close() = 0;
};

// A scratch part of `rows` x `cols` cells at `path`: compressed on disk, or held uncompressed in
// GDAL's memory for a path in /vsimem/, which remove_layer_part frees.
std::unique_ptr<LayerRows> create_layer_part(const std::string& path, std::int64_t rows,
                                             std::int64_t cols);
void remove_layer_part(const std::string& path);

struct LayerPart {
    std::string path;
    std::int64_t rows = 0;
};

// Stacks `parts` (their rows in order, each of `cols` columns) into the COG `path`, with the
// georeference `geo`, the band's `description` and the metadata items `metadata`. Throws
// RasterError, whose message says what failed but not the file's name.
void write_layer_cog(const std::string& path, const std::vector<LayerPart>& parts,
                     std::int64_t cols, const GeoReference& geo, const std::string& description,
                     const std::vector<std::pair<std::string, std::string>>& metadata);

}  // namespace ds
