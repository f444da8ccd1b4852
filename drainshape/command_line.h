// The options of a run as a command line gives them, declared once for every program that takes
// them: `drainshape run` and drainshape-mpi.
#pragma once

#include <ostream>
#include <string>

#include "drainshape/run.h"

namespace CLI {
class App;
}

namespace ds {

// The options of a run, and the values CLI11 parses them into.
struct RunArgs {
    RunOptions r;
    std::string treatment = "both";
    std::string engine = "fast";
    std::string name;
    std::string out_dir;
    int pixel_size = 0;

    // The options as parsed on `cmd`.
    RunOptions options(const CLI::App& cmd) const;
};

// Declares the options of a run on `cmd`, parsed into `a`.
void add_run_options(CLI::App& cmd, RunArgs& a);

// Declares --engine and --threads on `cmd`.
void add_engine_options(CLI::App& cmd, std::string& engine, int& threads);

// Parses `argv` with `app`; false, with the exit status in `status`, after help, the version or
// an error (one line on `err` that starts with the program's name).
bool parse_or_status(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                     std::ostream& err, int& status);

// A command line `program RIVER [options]` with the options of a run: the options, or the exit
// status when there is no run (help, version, an error).
struct RunLine {
    bool run = false;
    RunOptions options;
    int status = 0;
};

// Parses `program RIVER [options]`: the options of `drainshape run` as the whole command line of
// another program. Help (`description`) and `version` go to `out` and an error to `err`, as for
// the command line of drainshape.
RunLine parse_run_line(const std::string& program, const std::string& description,
                       const std::string& version, int argc, const char* const* argv,
                       std::ostream& out, std::ostream& err);

}  // namespace ds
