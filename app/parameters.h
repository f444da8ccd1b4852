// The second stage of a run: the analysis window, the regional window and the maximum number of
// confluents in a meander, appended to the descriptors of the products that use them.
#pragma once

#include "app/console.h"
#include "app/run_state.h"

namespace ds {

// Asks the three questions and sets win_fract, win_size, ic, jc, MinLab, MaxLab, slid_win,
// bord and MNC; the window grids themselves belong to the workers of the treatment.
// Writes the parameter lines into f2d and f4d (both treatments), f3d and f5d.
void parameters(RunState& s, Console& con);

}  // namespace ds
