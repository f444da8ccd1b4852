// `drainshape run`: one analysis from the command line, with the same outputs as the dialog,
// and GeoTIFF images, quick-look pictures and a report on request; and the failure handling it
// shares with the dialog.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "drainshape/drainshape.h"

namespace ds {

enum class MessageStyle {
    Dialog,   // "\n\t" before the message, as the dialog's own lines
    Command,  // "drainshape: " before it
};

// Runs `body`. Returns 0 when it succeeds; the status of a RunExit; 128 + the signal after a stop;
// kFailureStatus after a file error or a refused allocation, with one line on `err` saying what
// failed and that no output was written. `river` names the raster in a message about its grids.
int run_guarded(std::ostream& err, MessageStyle style, const std::string& river,
                const std::function<void()>& body);

// Checks the river, the output folder and the output name, runs the analysis and writes the
// extras. Messages and progress go to `err`; `err_is_terminal` chooses the progress bar.
// Returns the exit status: 0, kUsageStatus for an option that cannot be used (nothing is
// written then), kFailureStatus when the run fails.
int run_command(const RunOptions& o, std::ostream& err, bool err_is_terminal);

}  // namespace ds
