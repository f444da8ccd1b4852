// The second stage of the dialog: the analysis window, the regional window and the maximum
// number of confluents in a meander.
#pragma once

#include "app/console.h"
#include "app/run_state.h"

namespace ds {

// Asks the three questions and sets the window sides and MNC of s.params.
void parameters(RunState& s, Console& con);

}  // namespace ds
