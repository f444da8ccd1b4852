// The files of a run shared by the ranks: every rank writes its own rows of each image into the
// image file, in place; rank 0 sums the counts and folds the extremes of every rank, and writes
// the descriptors, the tables and the GeoTIFF images. Every file goes under the temporary name
// that rank 0 reserved; rank 0 puts them in place once every rank has finished.
#pragma once

#include <memory>

#include "analysis/strip.h"
#include "drainshape/run.h"
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

    StripFiles(const StripFiles&) = delete;
    StripFiles& operator=(const StripFiles&) = delete;

  private:
    struct Tiff;

    // The image's rows of every rank into the GeoTIFF that rank 0 has opened, one rank after
    // the other through rank 0, which holds one message of rows at a time.
    void gather_geotiff(const StripImage& p);

    Team& team_;
    OutputSet* out_;
    const RunJob& job_;
    RowRange own_;
    std::unique_ptr<Tiff> tiff_;
    MPI_Datatype row_type_;  // one row of bytes
};

}  // namespace ds
