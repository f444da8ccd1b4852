// `drainshape check RIVER`: what a network raster holds, and whether the analysis can trust it.
#pragma once

#include <ostream>
#include <string>

#include "prepare/river_raster.h"
#include "network/summary.h"

namespace CLI {
class App;
}

namespace ds {

// Exit status of `check --strict` when the verdict is no.
inline constexpr int kStrictStatus = 3;

struct CheckOptions {
    std::string river;
    bool json = false;
    bool strict = false;
};

// Registers `check` on `app`, its options stored into `o`.
CLI::App* add_check_subcommand(CLI::App& app, CheckOptions& o);

struct CheckReport {
    std::string file;
    NetworkSummary summary;
    bool raw = false;
    std::int64_t nodata = 0;
    PixelDescription pixel;
};

// The summary as lines of text, or as one JSON object.
void print_check_report(const CheckReport& r, bool json, std::ostream& out);

// Reads and summarizes the river. The report goes to `out`, errors and warnings to `err`.
// Returns 0; kStrictStatus with --strict when the verdict is no; 1 for a file that cannot be
// read; kUsageStatus for a raster that this build cannot read (built without GDAL).
int check_command(const CheckOptions& o, std::ostream& out, std::ostream& err);

}  // namespace ds
