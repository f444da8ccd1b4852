// The run of a river into a folder, as every front end makes it: the options checked against the
// river and the output folder before any grid or file exists; the river loaded, the analysis, and
// every output written under a temporary name and put in place only when the whole set is
// complete. And the failure handling they share: every way a run can stop becomes one message and
// an exit status.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/segment_fields.h"
#include "drainshape/usage_error.h"
#include "gis/geotiff.h"
#include "io/formats.h"

namespace ds {

// The answers of a run; the window sides are checked menu sides.
struct RunOptions {
    std::string river;  // R.raw (with R.txt beside it) or a raster GDAL reads
    int window = 13;
    int regional = 49;
    int mnc = 1;
    bool both = true;                 // both treatments; false: TACO only
    std::optional<std::string> name;  // generic output name; default: the river's name
    std::optional<std::string> out;   // output folder; default: the river's folder
    std::optional<int> pixel_size;    // replaces the river's pixel size
    Engine engine = Engine::Fast;
    int threads = 0;
    bool geotiff = false;
    bool preview = false;
    bool layers = false;                    // the real-valued layers as Cloud-Optimized GeoTIFF
    bool segments = false;                  // the network as segments in a GeoPackage
    std::optional<std::string> directions;  // D8 flow directions that orient the segments
    bool quiet = false;
    std::string progress;  // bar, lines or json; empty: a bar on a terminal, lines otherwise
};

// Exit status of a run stopped by a file that cannot be created, written or read, or by memory.
inline constexpr int kFailureStatus = 1;

struct RunJob {
    std::string river_path;  // R.raw, or a raster GDAL reads
    bool raw = true;
    RiverDescriptor river;    // size, the pixel size the outputs carry
    GeoReference geo;         // none for a .raw
    std::string output_base;  // folder + generic output name
    std::string name;         // generic output name
    AnalysisParameters params;
    bool geotiff = false;
    bool preview = false;
    bool layers = false;
    bool segments = false;
    std::string directions;  // empty: none
    // Called with the river once it is loaded, before the analysis: a front end's checks.
    std::function<void(const ByteGrid& tab)> loaded;
    ProductReceiver* also = nullptr;  // receives every product too, after the writers
    NetworkTables* tables = nullptr;  // with segments: gets their tables
};

// The suffixes of every file a run writes.
std::vector<std::string> job_suffixes(bool both, bool geotiff, bool preview, bool layers = false,
                                      bool segments = false);

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

// Loads the river, analyses it, writes the outputs and puts them in place. A warning of the
// load goes to `warn`. SIGINT and SIGTERM meanwhile stop the run (through `progress`). Throws
// FileError, GridAllocError, RunStopped, and UsageError for directions that do not fit the
// river, found before the analysis.
AnalysisSummary run_job(const RunJob& job, Progress& progress,
                        const std::function<void(const std::string&)>& warn);

// What stopped a run, in one line ("Not enough memory for a 400 x 400 grid", "stopped by
// SIGINT"), and the exit status it gives.
struct RunFailure {
    enum class Kind { Stopped, File, Memory, Usage };
    Kind kind;
    int status;
    std::string cause;
};

// The failure that the exception `failure` makes of a run on the raster `river`; rethrows it when
// it is none of a run's failures.
RunFailure run_failure(std::exception_ptr failure, const std::string& river);

// The line that reports `f`, with what became of the outputs.
std::string failure_message(const RunFailure& f);

}  // namespace ds
