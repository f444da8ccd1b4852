// The second stage of a run: the analysis window, the regional window and the maximum number of
// confluents in a meander, appended to the descriptors of the products that use them.
#pragma once

#include <optional>

#include "app/console.h"
#include "app/run_state.h"

namespace ds {

// The menu index of a window side, or nothing when the menu has no such side.
std::optional<int> window_index(int side);

// Sets win_fract, win_size, ic, jc, MinLab, MaxLab from the analysis window's menu index,
// slid_win and bord from the regional window's, and MNC; then writes the parameter lines into
// f2d and f4d (both treatments), f3d and f5d.
void apply_parameters(RunState& s, int win_fract, int slid_index, int MNC);

// Asks the three questions and sets win_fract, win_size, ic, jc, MinLab, MaxLab, slid_win,
// bord and MNC through apply_parameters; the window grids themselves belong to the workers of
// the treatment.
void parameters(RunState& s, Console& con);

}  // namespace ds
