// Component tracing of the analysis window: seed scan and walk-back trace.
#pragma once

#include "lib/window.h"

namespace ds {

// Labels the network components of `w.tab_prov` (1 = network) into `w.itab`, which must be 0
// everywhere on entry; `tab_prov` is the visited mark and ends cleared. Labels count from 1 in
// the order in which the traces start; traces of one pixel, or outside MinLab..MaxLab, stay 0.
// Returns the number of labels given (`num`).
int suiv_formes(Window& w);

}  // namespace ds
