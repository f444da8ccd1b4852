// The first calculation pass: every eligible network pixel gets its branch traced, its TACO
// value and, for a run of both treatments, its two fractal dimensions.
#pragma once

#include <functional>
#include <vector>

#include "lib/grid.h"
#include "lib/values.h"
#include "lib/window.h"

namespace ds {

// The literal kernels keep the names of the algorithms they follow; the pipeline and the fast
// engine name the same things for what they are:
//   tab               the raster (1 = network, 255 = isolated)
//   win_size, lig/col the analysis window side (`window`)
//   slid_win          the regional window side (`regional`); bord its half (`half_regional`)
//   step_RI           the smoothing's steps, one per odd side from 3 to slid_win
//   dtab2, dtab3      the TACO values of the pass and the smoothing's scratch (`taco`, `a`/`b`)
//   dtab, dtab_v2     the dimensions x 100, over every box side and without side 1
//                     (FdpFields::dimension, dimension2)
//   tab_out, tab_out2 the image buffers (one `image` in the pipeline)
//   suma, ico         a window's sum and count of positive values (PositiveSum::sum, count)
//   val_DF, val_TAC   the histograms of image values (`counts`)
//   MNC, TACO_Solo    the confluence limit (`mnc`) and the treatment (`Treatment`)

// Extremes and histograms gathered over the pass.
struct PassStats {
    double Min_DF = 10.0;
    double Max_DF = 0.0;
    double Min_DF_V2 = 10.0;
    double Max_DF_V2 = 0.0;
    Histogram val_DF{};          // bins of the rounded dtab values
    Histogram val_DF_V2{};       // bins of the rounded dtab_v2 values
    R2Histogram tab_Er0{};       // R² classes of the fits over all box sides
    R2Histogram tab_Er1{};       // R² classes of the fits without side 1
    std::int64_t processed = 0;  // eligible pixels visited
};

struct PassInput {
    const ByteGrid& tab;  // the loaded raster (1 = network)
    int window;           // analysis window side, one of kWindowSides
    int mnc;
    bool fdp;  // both treatments: the box counting runs too
};

struct PassOutput {
    RealGrid& dtab;     // DF x 100
    RealGrid& dtab_v2;  // DF_V2 x 100
    RealGrid& dtab2;    // TACO value
    // When given, the mean R² of the two fits of every processed pixel, in row-major order.
    std::vector<double>* r2 = nullptr;
    std::vector<double>* r2_v2 = nullptr;
};

// Literal selection: clears the window, cuts it around image pixel (i, j), labels it with
// suiv_formes and sets tab_fract to 1 on the cells that carry the centre's label.
void select_branch(Window& w, const ByteGrid& tab, std::int64_t i, std::int64_t j);

// Folds one dimension into its extremes (strict comparisons, so the first of equal values
// stays), counts it x 100 in its image-value bin and returns it x 100.
double record_dimension(double v, double& lo, double& hi, Histogram& bins);

// The literal pass. The three grids are cleared first. `on_line` gets i + 1 as each image
// row i inside the margin starts.
PassStats first_pass(const PassInput& in, const PassOutput& out,
                     const std::function<void(int line)>& on_line);

}  // namespace ds
