#include "analysis/layers.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace ds {

std::vector<const LayerInfo*> layers_of(bool both) {
    std::vector<const LayerInfo*> out;
    for (const LayerInfo& l : kLayers)
        if (both || !l.both_only)
            out.push_back(&l);
    return out;
}

const LayerInfo& layer(std::string_view name) {
    for (const LayerInfo& l : kLayers)
        if (l.name == name)
            return l;
    throw std::logic_error("no layer " + std::string(name));
}

void dense_layer_row(LayerSource source, const RealGrid& g, std::int64_t first, std::int64_t r,
                     int margin, std::int64_t raster_rows, std::span<float> out) {
    const auto row = g.row(r - first);
    if (source != LayerSource::TacoMeans) {
        for (std::size_t j = 0; j < out.size(); ++j)
            out[j] = layer_cell(source, row[j]);
        return;
    }
    std::fill(out.begin(), out.end(), kLayerNoData);
    if (r < margin || r >= raster_rows - margin)
        return;
    const auto cols = static_cast<std::int64_t>(out.size());
    for (std::int64_t j = margin; j < cols - margin; ++j)
        out[static_cast<std::size_t>(j)] = layer_cell(source, row[static_cast<std::size_t>(j)]);
}

void sparse_layer_row(LayerSource source, const SparseField& f, std::int64_t first, std::int64_t r,
                      std::span<float> out) {
    std::fill(out.begin(), out.end(), kLayerNoData);
    const std::int64_t k = r - first;
    for (std::int64_t s = f.at->begin(k); s < f.at->end(k); ++s)
        out[static_cast<std::size_t>(f.at->col[static_cast<std::size_t>(s)])] =
            layer_cell(source, f.values[static_cast<std::size_t>(s)]);
}

}  // namespace ds
