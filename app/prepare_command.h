// `drainshape prepare SOURCE -o OUT`: prepare_network (prepare/prepare.h) with its steps told on
// the error stream, and the network written summarized as `check` does.
#pragma once

#include <ostream>

#include "prepare/options.h"

namespace CLI {
class App;
}

namespace ds {

// Registers `prepare` on `app`, its options stored into `o`.
CLI::App* add_prepare_subcommand(CLI::App& app, PrepareOptions& o);

// Writes OUT and prints its summary on `out`; messages go to `err`. Returns 0; kUsageStatus
// for options that cannot be used; 1 for a file that cannot be read or written. Nothing is
// left under OUT's name unless it is complete.
int prepare_command(const PrepareOptions& o, std::ostream& out, std::ostream& err);

}  // namespace ds
