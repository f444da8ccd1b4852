// Component tracing of the analysis window: seed scan and walk-back trace.
#pragma once

#include "lib/window.h"

namespace ds {

// Labels the network components of `w.tab_prov` (1 = network) into `w.itab`, which must be 0
// everywhere on entry: only the cells of accepted traces are written. Labels count from 1 in
// the order in which the traces start; traces of one pixel (size 0), or outside
// MinLab..MaxLab, stay 0. `tab_prov` is the visited mark: every pixel a trace takes is set to
// 0, so on return only network pixels that no trace reached (the corners (0, m-1) and
// (m-1, 0), and last-row or last-column pixels nothing led to) still hold 1. Returns the
// number of labels given (`num`).
int suiv_formes(Window& w);

}  // namespace ds
