// `<name>_network.gpkg`: the network's segments and drainage systems with the statistics of the
// run's fields, each field summed along the graph as the analysis hands it out, so that no
// field is kept.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "gis/geotiff.h"
#include "io/output_set.h"
#include "network/segments.h"

namespace ds {

inline constexpr const char* kNetworkSuffix = "_network.gpkg";

// The TACO value below which a pixel meanders.
inline constexpr double kMeanderBelow = 100;

// The statistics of the fields of a run over a graph's segments and systems, gathered as the
// fields arrive: TACO, then with both treatments FDP, FDP2 and the R² of FDP.
class SegmentFields final : public ProductReceiver {
  public:
    SegmentFields(const SegmentGraph& graph, bool both) : graph_(graph), both_(both) {}

    void image(const ImageProduct&) override {}
    void r2_table(const R2Product&) override {}
    void taco_field(const RealGrid& taco) override;
    void fdp_fields(const SparseField& dimension, const SparseField& dimension2) override;
    void r2_fields(const SparseField& r2, const SparseField& r2_2) override;

    // The four fields (one for TACO alone), in the order above.
    FieldTables tables() const;

  private:
    const SegmentGraph& graph_;
    bool both_;
    FieldTables taco_, fdp_, r2_;
};

// The pixel size of the coordinates of the file: the geotransform's pixel width, or the river's
// pixel size without one.
double network_pixel_size(const GeoReference& geo, int pix_size);

// Writes the GeoPackage of `graph` and `fields` under its temporary name in `out`. Throws
// FileError.
void write_network(OutputSet& out, const SegmentGraph& graph, const FieldTables& fields,
                   const GeoReference& geo, int pix_size, const AnalysisParameters& p);

}  // namespace ds
