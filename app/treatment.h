// The computing stage of a run: the first calculation pass and every product, written to the
// open files of the run in their fixed order.
#pragma once

#include "app/progress.h"
#include "app/run_state.h"

namespace ds {

// Reports each long stage to `progress` as it goes.
void treatment(RunState& s, Progress& progress);

}  // namespace ds
