// The analysis as one call: a network grid and the parameters in, every product out.
//
// The products are handed to a receiver one at a time, in the order of kProducts, as soon as
// each is made; an image is valid only during its call (the engines reuse one buffer), so a
// receiver that writes files keeps the memory of the run at its grids, and one that wants the
// products keeps copies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/products.h"
#include "analysis/progress.h"
#include "lib/grid.h"
#include "lib/sparse_field.h"
#include "lib/values.h"

namespace ds {

// The literal algorithms, or the fast engine that gives the same bytes.
enum class Engine { Reference, Fast };

const char* engine_name(Engine e);

// TACO alone, or the fractal dimension and TACO (the dialog's answers 0 and 1).
enum class Treatment { Taco = 0, Both = 1 };

struct AnalysisParameters {
    int window = 13;    // analysis window side, one of kWindowSides
    int regional = 49;  // regional window side, one of kWindowSides
    int mnc = 1;        // maximum number of confluents in a meander, up to 3 (below 0 acts as 0)
    Treatment treatment = Treatment::Both;
    Engine engine = Engine::Fast;
    int threads = 0;      // worker threads of the fast engine; 0: every core
    bool fields = false;  // also hand out the real-valued fields
    // With fields: the FDP regional dimensions too (their grids cost 4 bytes a pixel and some
    // time during the FDP regional stage).
    bool regional_fields = true;

    bool both() const { return treatment == Treatment::Both; }
};

// Why `side` is no window side ("14 is not a window side; the sides are 13, 25, ... or 661"),
// or nothing.
std::optional<std::string> window_side_problem(int side);

// Why `p` cannot be run, in the words of the command line ("14 is not a window side; the sides
// are 13, 25, ..."), or nothing.
std::optional<std::string> parameters_problem(const AnalysisParameters& p);

// The sides of the menu as a text: "13, 25, ... or 661".
std::string menu_sides();

// "drainshape " and the version CMake's project gives (DRAINSHAPE_VERSION): the program that
// made the products.
std::string program_version();

// What a run of `p` is, as outputs record it: program, engine, treatment ("both" or "taco"),
// window, regional window and MNC, as (key, value) pairs in that order.
std::vector<std::pair<std::string, std::string>> provenance(const AnalysisParameters& p);

struct ImageProduct {
    const ProductInfo& info;
    const ByteGrid& image;    // the raster's size
    const Histogram& counts;  // pixels per value, as the frequency table counts them
    double min;               // extremes of the parameter, as the descriptor ends
    double max;
};

struct R2Product {
    const ProductInfo& info;
    const R2Histogram& counts;
};

class ProductReceiver {
  public:
    virtual ~ProductReceiver() = default;
    virtual void image(const ImageProduct& p) = 0;
    virtual void r2_table(const R2Product& p) = 0;
    // With AnalysisParameters::fields, once, after the first pass: the TACO value of every
    // pixel before any rounding (0.0 where there is none).
    virtual void taco_field(const RealGrid& dtab2) { (void)dtab2; }
    // With fields and both treatments, once, after the first pass: the two fractal dimensions
    // x 100 of every processed pixel.
    virtual void fdp_fields(const SparseField& dtab, const SparseField& dtab_v2) {
        (void)dtab;
        (void)dtab_v2;
    }
    // With fields and both treatments, once, after the first pass: the mean R² of the four
    // placements of each fit, over every box side and without side 1, at the processed pixels.
    virtual void r2_fields(const SparseField& r2, const SparseField& r2_2) {
        (void)r2;
        (void)r2_2;
    }
    // With fields and both treatments, after each FDP regional image: the regional mean of the
    // first (all box sides) or `second` dimension as a Float32 dimension (not x 100), NaN where
    // the image has none.
    virtual void fdp_regional_field(bool second, const FloatGrid& dimensions) {
        (void)second;
        (void)dimensions;
    }
    // With fields, once, after the smoothing: the smoothed TACO field before its truncation
    // (0.0 within the regional half side of the edges).
    virtual void taco_regional_field(const RealGrid& smoothed) { (void)smoothed; }
};

struct AnalysisSummary {
    std::int64_t processed = 0;  // network pixels visited by the first pass
};

// The worker threads of the fast engine for AnalysisParameters::threads: `requested`, or every
// core for 0.
int worker_threads(int requested);

// Bytes per raster pixel of the grids an engine allocates, the raster itself included.
std::int64_t grid_bytes_per_pixel(Engine engine);

// Sets every isolated network pixel of `tab` (1 = network) to 255, then computes every product
// of the treatment and hands each to `receiver`. Throws std::invalid_argument for parameters
// that parameters_problem refuses, GridAllocError when memory is refused, RunStopped when
// `progress` asks to stop, and whatever the receiver throws.
AnalysisSummary analyse(ByteGrid& tab, const AnalysisParameters& p, ProductReceiver& receiver,
                        Progress& progress);

}  // namespace ds
