// Quick-look pictures of a run's images as PNG files, and the report that gathers them with the
// run's parameters, extremes and frequency tables, all from the products as they come. With the
// analysis's fields, the colour scales span the real extremes of each parameter and the report
// shows the dimension against the R² of its fits, each field reduced as it comes.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/field_summaries.h"
#include "io/output_set.h"
#include "io/report.h"
#include "network/segments.h"

namespace ds {

// The suffixes of the pictures and the report of a run of both treatments or of TACO alone.
std::vector<std::string> preview_suffixes(bool both);

class PreviewWriter final : public ProductReceiver {
  public:
    explicit PreviewWriter(OutputSet& out) : out_(out) {}

    void image(const ImageProduct& p) override;
    void r2_table(const R2Product& p) override;
    void taco_field(const RealGrid& dtab2) override;
    void fdp_fields(const SparseField& dtab, const SparseField& dtab_v2) override;
    void r2_fields(const SparseField& r2, const SparseField& r2_2) override;
    void taco_regional_field(const RealGrid& smoothed) override;

    // Adds to the report the picture of the segments of `graph` coloured by their mean TACO (field
    // 0 of `fields`) and its largest drainage systems, lengths in units of `pixel_size`.
    void segments(const SegmentGraph& graph, const FieldTables& fields, double pixel_size);

    // Writes `<base>_report.html` with the run's `parameters` (label, value) before the ones
    // every report shows. Throws FileError.
    void write_report(const std::string& name,
                      std::vector<std::pair<std::string, std::string>> parameters);

  private:
    OutputSet& out_;
    ReportInput report_;
    std::optional<ValueRange> taco_range_;           // of the network image's values
    std::optional<ValueRange> taco_regional_range_;  // of the smoothed values
    BinnedValues fdp_bins_;                          // until the R² of the same pixels come
};

}  // namespace ds
