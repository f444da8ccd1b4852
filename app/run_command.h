// `drainshape run`: one analysis from the command line, with the same outputs as the dialog,
// and GeoTIFF images, quick-look pictures and a report on request.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "app/cli.h"
#include "app/run_job.h"
#include "app/usage_error.h"

namespace ds {

// Why a raster of the size `river` gives cannot be analysed with `p`, or nothing.
using SizeCheck = std::function<std::optional<std::string>(const RiverDescriptor& river,
                                                           const AnalysisParameters& p)>;

// Checks the options, the river, the output folder and the output name, before any grid or file
// exists, and returns the run they make; `size` checks the raster's size (by default: the grids
// of the whole raster in this machine's memory). Throws UsageError.
RunJob check_run(const RunOptions& o, const SizeCheck& size = {});

// The warnings of a run about its river, one line each without the program's name: a network
// with `redundant` pixels (none when 0), and a pixel size taken from degrees (none unless
// `degrees`, see pixel_size_in_degrees).
std::optional<std::string> thick_network_warning(std::int64_t redundant);
std::optional<std::string> degrees_warning(bool degrees);
bool pixel_size_in_degrees(const RunOptions& o, const RunJob& job);

// Checks the river, the output folder and the output name, runs the analysis and writes the
// extras. Messages and progress go to `err`; `err_is_terminal` chooses the progress bar.
// Returns the exit status: 0, kUsageStatus for an option that cannot be used (nothing is
// written then), kFailureStatus when the run fails.
int run_command(const RunOptions& o, std::ostream& err, bool err_is_terminal);

}  // namespace ds
