// What a run shared by ranks needs besides the analysis: the job sent from rank 0, where it was
// checked, to every rank; the memory of one rank; the threads of one rank.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "drainshape/run.h"

namespace ds {

// The job as bytes, and back.
std::string pack_job(const RunJob& job);
RunJob unpack_job(const std::string& bytes);

// Why `ranks` ranks, `local_ranks` of them on one machine of `memory` bytes (0: not checked),
// cannot analyse a raster of the size `river` gives with `p`, or nothing.
std::optional<std::string> strips_problem(const RiverDescriptor& river, const AnalysisParameters& p,
                                          int ranks, int local_ranks, std::uint64_t memory);

// The worker threads of a rank that was given `requested` (0: its share of the cores): the
// cores it is bound to, or the cores of its machine shared among its `local_ranks` ranks.
int rank_threads(int requested, int local_ranks);

}  // namespace ds
