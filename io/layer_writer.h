// The real-valued layers of a run as Cloud-Optimized GeoTIFF files, `<name>_<LAYER>.tif`: each
// field's own rows written as the analysis hands it out into a scratch part (one per strip), and
// the parts joined into the layer's file once the analysis is done, so that no copy of a whole
// field is held.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/layers.h"
#include "analysis/strip.h"
#include "gis/geotiff.h"
#include "gis/layer.h"
#include "io/output_set.h"

namespace ds {

// The suffixes of the layer files of a run of both treatments or of TACO alone.
std::vector<std::string> layer_suffixes(bool both);

// The metadata of a layer's file: the program as the TIFF software, the layer, its meaning and
// unit, the NoData marker and the run's parameters as DRAINSHAPE_* items.
std::vector<std::pair<std::string, std::string>> layer_metadata(const AnalysisParameters& p,
                                                                const LayerInfo& layer);

// Where a strip writes its part of a layer, and the file that messages name.
struct PartFile {
    std::string path;
    std::string shown;
};

// A strip's own rows of every layer, each into the part file that `part_path` gives it; `done`,
// when given, is called with each part once it is complete.
class LayerParts final : public StripReceiver {
  public:
    using PartPath = std::function<PartFile(const LayerInfo&)>;
    using PartDone = std::function<void(const LayerInfo&, const PartFile&)>;
    LayerParts(const StripPlan& plan, const AnalysisParameters& p, PartPath part_path,
               PartDone done = {});

    void image(const StripImage&) override {}
    void r2_table(const R2Product&) override {}
    void taco_field(const RealGrid& taco, std::int64_t first) override;
    void fdp_fields(const SparseField& dimension, const SparseField& dimension2,
                    std::int64_t first) override;
    void r2_fields(const SparseField& r2, const SparseField& r2_2, std::int64_t first) override;
    void fdp_regional_field(bool second, const FloatGrid& dimensions, std::int64_t first) override;
    void taco_regional_field(const RealGrid& smoothed, std::int64_t first) override;

  private:
    void write(const LayerInfo& layer, const std::function<void(std::int64_t, float*)>& row);
    void write_sparse(const LayerInfo& layer, const SparseField& f, std::int64_t first);
    void write_dense(const LayerInfo& layer, const RealGrid& g, std::int64_t first);

    StripPlan plan_;
    int half_regional_;
    PartPath part_path_;
    PartDone done_;
};

// Joins the parts of `layer` (in row order) into its file `path`, shown as `shown` in messages,
// with the river's georeference. Throws FileError.
void join_layer(const std::string& path, const std::string& shown, const LayerInfo& layer,
                const std::vector<LayerPart>& parts, std::int64_t cols, const GeoReference& geo,
                const AnalysisParameters& p);

// The layers of a whole raster: each field written into a scratch file of `out` as the analysis
// hands it out, and the files joined into the layers by finish(), once the analysis has freed
// its grids.
class LayerWriter final : public ProductReceiver {
  public:
    LayerWriter(OutputSet& out, std::int64_t rows, std::int64_t cols, const GeoReference& geo,
                const AnalysisParameters& p);

    void image(const ImageProduct&) override {}
    void r2_table(const R2Product&) override {}
    void taco_field(const RealGrid& taco) override { parts_.taco_field(taco, 0); }
    void fdp_fields(const SparseField& dimension, const SparseField& dimension2) override {
        parts_.fdp_fields(dimension, dimension2, 0);
    }
    void r2_fields(const SparseField& r2, const SparseField& r2_2) override {
        parts_.r2_fields(r2, r2_2, 0);
    }
    void fdp_regional_field(bool second, const FloatGrid& dimensions) override {
        parts_.fdp_regional_field(second, dimensions, 0);
    }
    void taco_regional_field(const RealGrid& smoothed) override {
        parts_.taco_regional_field(smoothed, 0);
    }

    // Writes every layer under its temporary name in `out`. Throws FileError.
    void finish();

  private:
    OutputSet& out_;
    std::int64_t rows_, cols_;
    GeoReference geo_;
    AnalysisParameters p_;
    std::vector<std::pair<const LayerInfo*, std::string>> scratch_;
    LayerParts parts_;
};

}  // namespace ds
