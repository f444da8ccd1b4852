// The `.raw`, `.txt` and `.xls` files of a run, written from the products as they come.
#pragma once

#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "io/formats.h"
#include "io/output_set.h"

namespace ds {

// The suffixes of the files of a run of both treatments (`both`) or of TACO alone: image,
// descriptor and table of every image product, and the R² tables.
std::vector<std::string> file_set_suffixes(bool both);

class FileSetWriter final : public ProductReceiver {
  public:
    // `river` gives the size and pixel size that every descriptor starts with.
    FileSetWriter(OutputSet& out, const RiverDescriptor& river, const AnalysisParameters& p)
        : out_(out), river_(river), p_(p) {}

    void image(const ImageProduct& p) override;
    void r2_table(const R2Product& p) override;

  private:
    OutputSet& out_;
    RiverDescriptor river_;
    AnalysisParameters p_;
};

}  // namespace ds
