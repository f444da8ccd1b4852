// One run as both front ends make it, once they have checked its river and outputs: the river
// loaded, the analysis, and every output written under a temporary name and put in place only
// when the whole set is complete. And the failure handling they share: every way a run can stop
// becomes one message and an exit status.
#pragma once

#include <exception>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "gis/geotiff.h"

namespace ds {

// Exit status of a run stopped by a file that cannot be created, written or read, or by memory.
inline constexpr int kFailureStatus = 1;

struct RunJob {
    std::string river_path;  // R.raw, or a raster GDAL reads
    bool raw = true;
    RasterInfo river;         // size, the pixel size the outputs carry, georeference
    std::string output_base;  // folder + generic output name
    std::string name;         // generic output name
    AnalysisParameters params;
    bool geotiff = false;
    bool preview = false;
    // Called with the river once it is loaded, before the analysis: a front end's checks.
    std::function<void(const ByteGrid& tab)> loaded;
    ProductReceiver* also = nullptr;  // receives every product too, after the writers
};

// The suffixes of every file a run writes.
std::vector<std::string> job_suffixes(bool both, bool geotiff, bool preview);

// Loads the river, analyses it, writes the outputs and puts them in place. A warning of the
// load goes to `warn`. SIGINT and SIGTERM meanwhile stop the run (through `progress`). Throws
// FileError, GridAllocError, RunStopped.
AnalysisSummary run_job(const RunJob& job, Progress& progress,
                        const std::function<void(const std::string&)>& warn);

// What stopped a run, in one line ("Not enough memory for a 400 x 400 grid", "stopped by
// SIGINT"), and the exit status it gives.
struct RunFailure {
    enum class Kind { Stopped, File, Memory };
    Kind kind;
    int status;
    std::string cause;
};

// The failure that the exception `failure` makes of a run on the raster `river`; rethrows it when
// it is none of a run's failures.
RunFailure run_failure(std::exception_ptr failure, const std::string& river);

// The line that reports `f`, with what became of the outputs.
std::string failure_message(const RunFailure& f);

enum class MessageStyle {
    Dialog,   // "\n\t" before the message, as the dialog's own lines
    Command,  // "drainshape: " before it
};

// Runs `body`. Returns 0 when it succeeds; the status of a RunExit; 128 + the signal after a stop;
// kFailureStatus after a file error or a refused allocation, with one line on `err` saying what
// failed and that no output was written. `river` names the raster in a message about its grids.
int run_guarded(std::ostream& err, MessageStyle style, const std::string& river,
                const std::function<void()>& body);

}  // namespace ds
