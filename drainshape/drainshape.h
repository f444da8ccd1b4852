// drainshape as a library: what its users include. The analysis of a network held in memory
// (whole, or one strip of rows among several), its products, the run of a river into a folder
// with every output file, the values of a run's options as the front ends take them, and the
// preparation of a network raster from river lines, a stream raster or an elevation model.
#pragma once

#include "analysis/analysis.h"
#include "analysis/layers.h"
#include "analysis/segment_fields.h"
#include "analysis/products.h"
#include "analysis/receivers.h"
#include "analysis/progress.h"
#include "analysis/strip.h"
#include "analysis/tables.h"
#include "drainshape/command_line.h"
#include "drainshape/options.h"
#include "drainshape/run.h"
#include "drainshape/stop_signals.h"
#include "drainshape/usage_error.h"
#include "prepare/prepare.h"
