// The computing stage of a run: the first calculation pass and every product, written to the
// open files of the run in their fixed order.
#pragma once

#include <ostream>

#include "app/run_state.h"

namespace ds {

// Progress lines go to `console`, flushed as they are written.
void treatment(RunState& s, std::ostream& console);

}  // namespace ds
