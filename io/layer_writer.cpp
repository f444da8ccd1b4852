#include "io/layer_writer.h"

#include <algorithm>
#include <vector>

#include "io/geotiff_writer.h"
#include "io/out_file.h"
#include "lib/window.h"

namespace ds {

namespace {

constexpr std::int64_t kRowsPerWrite = 64;

}  // namespace

std::vector<std::string> layer_suffixes(bool both) {
    std::vector<std::string> out;
    for (const LayerInfo* l : layers_of(both))
        out.push_back(std::string(l->suffix) + ".tif");
    return out;
}

std::vector<std::pair<std::string, std::string>> layer_metadata(const AnalysisParameters& p,
                                                                const LayerInfo& layer) {
    std::vector<std::pair<std::string, std::string>> items = {
        {"TIFFTAG_SOFTWARE", program_version()},
        {"DRAINSHAPE_LAYER", std::string(layer.name)},
        {"DRAINSHAPE_MEANING", std::string(layer.description)},
        {"DRAINSHAPE_UNIT", std::string(layer.unit)},
        {"DRAINSHAPE_NODATA", "NaN"},
    };
    for (auto& item : provenance_items(p))
        items.push_back(std::move(item));
    return items;
}

LayerParts::LayerParts(const StripPlan& plan, const AnalysisParameters& p, PartPath part_path,
                       PartDone done)
    : plan_(plan),
      half_regional_(half_side(p.regional)),
      part_path_(std::move(part_path)),
      done_(std::move(done)) {}

void LayerParts::write(const LayerInfo& layer,
                       const std::function<void(std::int64_t, float*)>& row) {
    const PartFile file = part_path_(layer);
    const auto cols = static_cast<std::size_t>(plan_.nb_col);
    try {
        const auto part = create_layer_part(file.path, plan_.own.size(), plan_.nb_col);
        std::vector<float> cells(static_cast<std::size_t>(kRowsPerWrite) * cols);
        for (std::int64_t r = plan_.own.begin; r < plan_.own.end; r += kRowsPerWrite) {
            const std::int64_t n = std::min(kRowsPerWrite, plan_.own.end - r);
            for (std::int64_t k = 0; k < n; ++k)
                row(r + k, cells.data() + static_cast<std::size_t>(k) * cols);
            part->write(cells.data(), n);
        }
        part->close();
    } catch (const RasterError& e) {
        remove_layer_part(file.path);
        throw FileError(file.shown, "Cannot write file " + file.shown + ": " + e.what());
    }
    if (done_)
        done_(layer, file);
}

void LayerParts::write_sparse(const LayerInfo& layer, const SparseField& f, std::int64_t first) {
    write(layer, [&](std::int64_t r, float* out) {
        sparse_layer_row(layer.source, f, first, r, {out, static_cast<std::size_t>(plan_.nb_col)});
    });
}

void LayerParts::write_dense(const LayerInfo& layer, const RealGrid& g, std::int64_t first) {
    write(layer, [&](std::int64_t r, float* out) {
        dense_layer_row(layer.source, g, first, r, half_regional_, plan_.nb_lig,
                        {out, static_cast<std::size_t>(plan_.nb_col)});
    });
}

void LayerParts::taco_field(const RealGrid& taco, std::int64_t first) {
    write_dense(layer("TACO"), taco, first);
}

void LayerParts::fdp_fields(const SparseField& dimension, const SparseField& dimension2,
                            std::int64_t first) {
    write_sparse(layer("FDP"), dimension, first);
    write_sparse(layer("FDP2"), dimension2, first);
}

void LayerParts::r2_fields(const SparseField& r2, const SparseField& r2_2, std::int64_t first) {
    write_sparse(layer("FDP_R2"), r2, first);
    write_sparse(layer("FDP2_R2"), r2_2, first);
}

void LayerParts::fdp_regional_field(bool second, const FloatGrid& dimensions, std::int64_t first) {
    write(layer(second ? "FDP_RI2" : "FDP_RI"), [&](std::int64_t r, float* out) {
        const auto row = dimensions.row(r - first);
        std::copy(row.begin(), row.end(), out);
    });
}

void LayerParts::taco_regional_field(const RealGrid& smoothed, std::int64_t first) {
    write_dense(layer("TACO_RI"), smoothed, first);
}

void join_layer(const std::string& path, const std::string& shown, const LayerInfo& layer,
                const std::vector<LayerPart>& parts, std::int64_t cols, const GeoReference& geo,
                const AnalysisParameters& p) {
    try {
        write_layer_cog(path, parts, cols, geo, std::string(layer.description),
                        layer_metadata(p, layer));
    } catch (const RasterError& e) {
        throw FileError(shown, "Cannot write file " + shown + ": " + e.what());
    }
}

LayerWriter::LayerWriter(OutputSet& out, std::int64_t rows, std::int64_t cols,
                         const GeoReference& geo, const AnalysisParameters& p)
    : out_(out),
      rows_(rows),
      cols_(cols),
      geo_(geo),
      p_(p),
      parts_({rows, cols, {0, rows}}, p, [this](const LayerInfo& l) {
          const std::string suffix = std::string(l.suffix) + ".tif";
          scratch_.emplace_back(&l, out_.scratch(suffix));
          return PartFile{scratch_.back().second, out_.base() + suffix};
      }) {}

void LayerWriter::finish() {
    for (const auto& [layer, part] : scratch_) {
        const std::string suffix = std::string(layer->suffix) + ".tif";
        join_layer(out_.reserve(suffix), out_.base() + suffix, *layer, {{part, rows_}}, cols_, geo_,
                   p_);
        out_.remove(part);
    }
    scratch_.clear();
}

}  // namespace ds
