// Quick-look pictures of a run's images as PNG files, and the report that gathers them with the
// run's parameters, extremes and frequency tables, all from the products as they come.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "io/output_set.h"
#include "io/report.h"

namespace ds {

// The suffixes of the pictures and the report of a run of both treatments or of TACO alone.
std::vector<std::string> preview_suffixes(bool both);

class PreviewWriter final : public ProductReceiver {
  public:
    explicit PreviewWriter(OutputSet& out) : out_(out) {}

    void image(const ImageProduct& p) override;
    void r2_table(const R2Product& p) override;

    // Writes `<base>_report.html` with the run's `parameters` (label, value) before the ones
    // every report shows. Throws FileError.
    void write_report(const std::string& name,
                      std::vector<std::pair<std::string, std::string>> parameters);

  private:
    OutputSet& out_;
    ReportInput report_;
};

}  // namespace ds
