// The images of a run as GeoTIFF files, with the river's georeference, the descriptor of each
// image and the run's provenance as metadata.
#pragma once

#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "gis/geotiff.h"
#include "io/formats.h"
#include "io/output_set.h"

namespace ds {

// The suffixes of the GeoTIFF files of a run of both treatments or of TACO alone.
std::vector<std::string> geotiff_suffixes(bool both);

// The run's provenance as metadata items: DRAINSHAPE_PROGRAM, DRAINSHAPE_ENGINE, ...
std::vector<std::pair<std::string, std::string>> provenance_items(const AnalysisParameters& p);

// The metadata of the GeoTIFF of an image: the descriptor's whole text as the image
// description and each of its lines as DESCRIPTOR_LINE_k, the program as the TIFF software,
// the product and the run's parameters as DRAINSHAPE_* items.
std::vector<std::pair<std::string, std::string>> geotiff_metadata(const std::string& descriptor,
                                                                  const AnalysisParameters& p,
                                                                  const ProductInfo& product);

class GeoTiffWriter final : public ProductReceiver {
  public:
    GeoTiffWriter(OutputSet& out, const RiverDescriptor& river, const GeoReference& geo,
                  const AnalysisParameters& p)
        : out_(out), river_(river), geo_(geo), p_(p) {}

    void image(const ImageProduct& p) override;
    void r2_table(const R2Product&) override {}

  private:
    OutputSet& out_;
    RiverDescriptor river_;
    GeoReference geo_;
    AnalysisParameters p_;
};

}  // namespace ds
