// The failure handling shared by the dialog and the command line: every way a run can stop
// becomes a message and an exit status.
#pragma once

#include <functional>
#include <ostream>

#include "app/run_state.h"

namespace ds {

// Exit status of a run stopped by a file that cannot be created, written or read, or by memory.
inline constexpr int kFailureStatus = 1;

enum class MessageStyle {
    Dialog,   // "\n\t" before the message, as the dialog's own lines
    Command,  // "drainshape: " before every line
};

// Closes every file of the set that is still open (the regional FDP images among them), each
// close checked so that a lost write does not end as a success. Throws FileError.
void close_all(FileSet& fs);

// Runs `body`, then closes every file of `s` that is still open. Returns 0 when all of that
// succeeds; the status of a RunExit; kFailureStatus after a file error or a refused allocation,
// with its message and the files left incomplete on `err`.
int run_guarded(RunState& s, std::ostream& err, MessageStyle style,
                const std::function<void()>& body);

}  // namespace ds
