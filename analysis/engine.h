// What differs between the two engines, behind one interface that the pipeline calls: the first
// pass, where the fractal dimensions live, how the FDP images and the smoothing's window means
// are computed, and what the memory model must count for them. Everything else is the
// pipeline's (analysis/pipeline.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "analysis/analysis.h"
#include "analysis/first_pass.h"
#include "analysis/first_pass_fast.h"
#include "analysis/strip.h"
#include "lib/grid.h"
#include "taco/smoothing.h"

namespace ds {

using LineCallback = std::function<void(int line)>;
using StepCallback = std::function<void(int side)>;

// Where the rows of a stage lie: the grids hold the raster's rows from `first` on; the strip
// computes the rows `own`; `alone` when it is the only strip, whose exchange has nothing to give.
struct StripRows {
    std::int64_t first = 0;
    std::int64_t raster_rows = 0;
    RowRange own;
    bool alone = true;
};

class AnalysisEngine {
  public:
    virtual ~AnalysisEngine() = default;

    // The first pass over `in.tab`, the TACO values into `taco` (its size). The dimensions stay
    // with the engine until drop_dimensions.
    virtual PassStats first_pass(const PassInput& in, RealGrid& taco,
                                 const LineCallback& on_line) = 0;
    // The dimensions of the processed pixels of the pass's grid `tab`, as sparse fields.
    virtual const FdpFields& dimensions(const ByteGrid& tab, int half_window) = 0;
    // The network image of the first (all box sides) or second dimension, on the pass's rows.
    virtual void network_image(bool second, ByteGrid& image) = 0;
    // Gets the dimensions of the rows `regional` (the own rows and the halo of the regional
    // window) that other strips own, once before the regional images. The pass's grids hold the
    // rows of `pass`.
    virtual void share_dimensions(const StripRows& pass, RowRange regional,
                                  StripExchange& exchange) = 0;
    // The regional image of a dimension on `image`, which holds the raster's rows from
    // `regional_first` on; `on_line` as in fdp_regional_image, for the image's rows. With
    // `dimensions` (the image's size), the Float32 dimension of each mean, NaN where there is
    // none: the same whichever the engine.
    virtual Histogram regional_image(bool second, int half, std::int64_t regional_first,
                                     const StripRows& pass, StripExchange& exchange,
                                     ByteGrid& image, const LineCallback& on_line,
                                     FloatGrid* dimensions) = 0;
    virtual void drop_dimensions() = 0;
    // The progressive smoothing of `a`'s own rows (b is the scratch); returns the grid that
    // holds the smoothed field.
    virtual RealGrid& smoothing(RealGrid& a, RealGrid& b, const StripRows& rows, int regional,
                                StripExchange& exchange, const StepCallback& on_step) = 0;
    // Threads of the steps that both engines share (images, extremes): the reference stays on
    // one.
    virtual int shared_threads() const = 0;
    // Bytes per pixel of the dense dimension grids the engine holds through the FDP stage, and
    // per pixel of the regional rows that it copies them into when other strips take part.
    virtual std::int64_t dimension_bytes() const = 0;
    virtual std::int64_t shared_dimension_bytes() const = 0;
};

std::unique_ptr<AnalysisEngine> make_engine(Engine engine, int threads);

}  // namespace ds
