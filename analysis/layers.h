// The real-valued layers of a run: each field of the analysis as the Float32 values a GIS reads,
// NaN where the field has no value. Everything that writes, lists or converts a layer reads this
// table and these conversions.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "lib/grid.h"
#include "lib/sparse_field.h"
#include "lib/values.h"

namespace ds {

// What a layer's cells hold, and so how a field's value becomes a cell.
enum class LayerSource {
    Taco,       // the TACO values of the pass; 0.0 marks a pixel without one
    Dimension,  // a sparse field of dimensions x 100, at the processed pixels
    R2,         // a sparse field of R², at the processed pixels
    FdpMeans,   // regional dimensions, as Float32 cells already (NaN where none)
    TacoMeans,  // the smoothed TACO field; none within the regional half side of the edges
};

struct LayerInfo {
    std::string_view name;    // "TACO"
    std::string_view suffix;  // "_TACO", after the generic output name; the file adds ".tif"
    LayerSource source;
    bool both_only;          // made only by a run of both treatments
    std::string_view image;  // the 8-bit image made of the same values
    std::string_view description;
    std::string_view unit;
};

// In the order in which a run makes them.
inline constexpr std::array<LayerInfo, 8> kLayers = {{
    {"TACO", "_TACO", LayerSource::Taco, false, "TAC_DN", "TACO value before any rounding",
     "TACO value (below 100: meandering)"},
    {"FDP", "_FDP", LayerSource::Dimension, true, "FDP_DN",
     "Fractal dimension of the branch, all box sides", "dimension"},
    {"FDP2", "_FDP2", LayerSource::Dimension, true, "FDP_DN2",
     "Fractal dimension of the branch, without box side 1", "dimension"},
    {"FDP_R2", "_FDP_R2", LayerSource::R2, true, "",
     "Mean R\u00b2 of the four placements of the fit, all box sides", "R\u00b2"},
    {"FDP2_R2", "_FDP2_R2", LayerSource::R2, true, "",
     "Mean R\u00b2 of the four placements of the fit, without box side 1", "R\u00b2"},
    {"FDP_RI", "_FDP_RI", LayerSource::FdpMeans, true, "FDP_RI",
     "Regional mean of the fractal dimension, all box sides", "dimension"},
    {"FDP_RI2", "_FDP_RI2", LayerSource::FdpMeans, true, "FDP_RI2",
     "Regional mean of the fractal dimension, without box side 1", "dimension"},
    {"TACO_RI", "_TACO_RI", LayerSource::TacoMeans, false, "TAC_RI",
     "Regional TACO value (progressive smoothing) before its truncation",
     "TACO value (below 100: meandering)"},
}};

// The layers of a run of both treatments (`both`) or of TACO alone, in the order of kLayers.
std::vector<const LayerInfo*> layers_of(bool both);
// The layer called `name`, which must exist (std::logic_error otherwise).
const LayerInfo& layer(std::string_view name);

inline constexpr float kLayerNoData = std::numeric_limits<float>::quiet_NaN();

// The cell of a value of a field.
inline float layer_cell(LayerSource source, double v) {
    switch (source) {
        case LayerSource::Taco:
            return v == 0.0 ? kLayerNoData : static_cast<float>(v);
        case LayerSource::Dimension:
            return static_cast<float>(dimension_of(v));
        case LayerSource::FdpMeans:
        case LayerSource::R2:
        case LayerSource::TacoMeans:
            break;
    }
    return static_cast<float>(v);
}

// Row `r` of a layer from a dense field `g` (Taco or TacoMeans) that holds the raster's rows from
// `first` on, into `out` (the raster's width); `margin` is the regional half side for TacoMeans,
// whose cells within it of the raster's `raster_rows` rows and its columns have no value.
void dense_layer_row(LayerSource source, const RealGrid& g, std::int64_t first, std::int64_t r,
                     int margin, std::int64_t raster_rows, std::span<float> out);
// Row `r` of a layer from a sparse field (Dimension or R2) whose rows count from `first`.
void sparse_layer_row(LayerSource source, const SparseField& f, std::int64_t first, std::int64_t r,
                      std::span<float> out);

}  // namespace ds
