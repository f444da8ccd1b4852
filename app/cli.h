// The command line: the dialog's options, `drainshape run RIVER [...]` or another command.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/check_command.h"
#include "app/prepare_command.h"
#include "app/run_state.h"
#include "drainshape/drainshape.h"

namespace ds {

struct DialogOptions {
    std::optional<std::string> images;  // the images root
    Engine engine = Engine::Fast;
    int threads = 0;  // 0: every core
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

}  // namespace ds
