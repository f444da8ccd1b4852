// The files of a run shared by the ranks: every rank writes its own rows of each image into the
// image file, in place; rank 0 sums the counts and folds the extremes of every rank, and writes
// the descriptors, the tables and the GeoTIFF images. Every rank writes its own rows of each
// real-valued layer into a part file of its own, which rank 0 joins into the layer at the end.
// Every file goes under the temporary name that rank 0 reserved; rank 0 puts them in place once
// every rank has finished.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis/strip.h"
#include "drainshape/run.h"
#include "io/layer_writer.h"
#include "io/output_set.h"
#include "mpi/team.h"

namespace ds {

class StripFiles final : public StripReceiver {
  public:
    // `out` is rank 0's set of outputs (null on the other ranks).
    StripFiles(Team& team, OutputSet* out, const RunJob& job);
    ~StripFiles() override;

    void image(const StripImage& p) override;
    void r2_table(const R2Product& p) override;
    void taco_field(const RealGrid& taco, std::int64_t first) override;
    void fdp_fields(const SparseField& dimension, const SparseField& dimension2,
                    std::int64_t first) override;
    void r2_fields(const SparseField& r2, const SparseField& r2_2, std::int64_t first) override;
    void fdp_regional_field(bool second, const FloatGrid& dimensions, std::int64_t first) override;
    void taco_regional_field(const RealGrid& smoothed, std::int64_t first) override;

    // Rank 0: joins the parts of every layer into its file. Throws FileError.
    void join_layers();

    StripFiles(const StripFiles&) = delete;
    StripFiles& operator=(const StripFiles&) = delete;

  private:
    struct Tiff;

    // The image's rows of every rank into the GeoTIFF that rank 0 has opened, one rank after
    // the other through rank 0, which holds one message of rows at a time.
    void gather_geotiff(const StripImage& p);
    // Rank 0 reserves the part files of `layers` for every rank; then each rank writes its part
    // with `write`.
    void write_layers(const std::vector<std::string_view>& layers,
                      const std::function<void()>& write);

    Team& team_;
    OutputSet* out_;
    const RunJob& job_;
    RowRange own_;
    std::unique_ptr<Tiff> tiff_;
    MPI_Datatype row_type_;                            // one row of bytes
    std::unique_ptr<LayerParts> layers_;               // with --layers
    std::map<std::string_view, std::string> part_of_;  // this rank's part of each layer
    std::vector<std::pair<const LayerInfo*, std::vector<LayerPart>>> joins_;  // rank 0
};

}  // namespace ds
