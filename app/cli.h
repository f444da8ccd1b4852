// The command line: the dialog's options, `drainshape run RIVER [...]` or another command.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/check_command.h"
#include "app/prepare_command.h"
#include "app/run_state.h"

namespace ds {

// Exit status of a command line or a run option that cannot be used.
inline constexpr int kUsageStatus = 2;

struct DialogOptions {
    std::optional<std::string> images;  // the images root
    Engine engine = Engine::Fast;
    int threads = 0;  // 0: every core
};

// The answers of a run given on the command line; the window sides are checked menu sides.
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
    bool quiet = false;
    std::string progress;  // bar, lines or json; empty: a bar on a terminal, lines otherwise
};

struct CommandLine {
    enum class Kind { Dialog, Run, Check, Prepare, Done };
    Kind kind = Kind::Done;
    DialogOptions dialog;
    RunOptions run;
    CheckOptions check;
    PrepareOptions prepare;
    int status = 0;  // for Done: the exit status
};

// Parses the arguments after the program name. Help and version go to `out` and an error goes
// to `err` as one line; both give Kind::Done with the status (0, or kUsageStatus).
CommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out,
                               std::ostream& err);

// Parses `program RIVER [options]`: the options of `drainshape run` as the whole command line of
// another program. Help (`description`) and `version` go to `out` and an error to `err`, as for
// parse_command_line; the kind is Run or Done.
CommandLine parse_run_line(const std::string& program, const std::string& description,
                           const std::string& version, int argc, const char* const* argv,
                           std::ostream& out, std::ostream& err);

// Why the text `text`, given for an option of a run, cannot be used, in the words of the command
// line ("14 is not a window side; the sides are 13, 25, ..."), or nothing when it can.
std::optional<std::string> side_problem(const std::string& text);       // --window, --regional
std::optional<std::string> mnc_problem(const std::string& text);        // --mnc
std::optional<std::string> threads_problem(const std::string& text);    // --threads
std::optional<std::string> treatment_problem(const std::string& text);  // --treatment
std::optional<std::string> engine_problem(const std::string& text);     // --engine

// The engine named `name`, once engine_problem has passed it.
Engine engine_of(const std::string& name);

// "drainshape 0.1.0" and whether GeoTIFF input and output are built in.
std::string version_text();

}  // namespace ds
