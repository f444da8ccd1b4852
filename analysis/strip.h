// The analysis of one strip of rows of a raster, for a run shared by several processes.
//
// Each strip holds its own rows and the halos that its windows read, gets the halo rows it does
// not own from the strips that own them, and hands its own rows of every product on. The
// products are those of analyse, byte for byte, wherever the strips start: every window reads
// only its own pixels, and the window sums, exact integers, are packed for the largest value of
// the whole raster, which the strips agree on.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/analysis.h"
#include "lib/grid.h"
#include "lib/sparse_field.h"

namespace ds {

// Rows of strip `k` of `strips`: the raster's rows in order, in shares that differ by one row
// at most.
RowRange strip_rows(std::int64_t nb_lig, int k, int strips);

// The rows within `halo` rows of `own`, cut to the raster's `nb_lig` rows.
RowRange rows_around(RowRange own, std::int64_t halo, std::int64_t nb_lig);

struct StripPlan {
    std::int64_t nb_lig = 0;  // the whole raster
    std::int64_t nb_col = 0;
    RowRange own;  // this strip's rows, at least one
};

// Bytes of the grids that the strip holds at its peak.
std::int64_t strip_grid_bytes(const StripPlan& plan, const AnalysisParameters& p);

// A strip's share of an image product.
struct StripImage {
    const ProductInfo& info;
    const ByteGrid& image;    // the raster's rows from `first` on, the strip's own rows among them
    std::int64_t first;       // raster row of the image's row 0
    const Histogram& counts;  // over the strip's own rows
    double min;               // extremes over the own rows, in row order; the starting values
    double max;               // (10 and 0, 1000 and 0) when the rows hold none
};

// Where the strips' products go. Every strip makes the same calls in the same order, that of
// kProducts.
class StripReceiver {
  public:
    virtual ~StripReceiver() = default;
    virtual void image(const StripImage& p) = 0;
    virtual void r2_table(const R2Product& p) = 0;  // counts over the strip's own rows
    // With AnalysisParameters::fields, once, after the first pass: the TACO values of `taco`
    // (the raster's rows from `first` on; the own rows hold the values) before any rounding.
    virtual void taco_field(const RealGrid& taco, std::int64_t first) {
        (void)taco;
        (void)first;
    }
    // With fields and both treatments, once, after the first pass: the two fractal dimensions
    // x 100 of the strip's processed pixels, on rows counted from `first`.
    virtual void fdp_fields(const SparseField& dimension, const SparseField& dimension2,
                            std::int64_t first) {
        (void)dimension;
        (void)dimension2;
        (void)first;
    }
    // With fields and both treatments, once, after the first pass: the mean R² of each fit at
    // the strip's processed pixels, on rows counted from `first`.
    virtual void r2_fields(const SparseField& r2, const SparseField& r2_2, std::int64_t first) {
        (void)r2;
        (void)r2_2;
        (void)first;
    }
    // With fields and both treatments, after each FDP regional image: the Float32 regional
    // dimensions of the first or `second` dimension (the raster's rows from `first` on; the own
    // rows hold them), NaN where there is none.
    virtual void fdp_regional_field(bool second, const FloatGrid& dimensions, std::int64_t first) {
        (void)second;
        (void)dimensions;
        (void)first;
    }
    // With fields, once, after the smoothing: the smoothed field of `smoothed`'s own rows (the
    // raster's rows from `first` on) before its truncation.
    virtual void taco_regional_field(const RealGrid& smoothed, std::int64_t first) {
        (void)smoothed;
        (void)first;
    }
};

// Rows that another strip owns, in the bytes its owner packed them into.
struct RowPiece {
    RowRange rows;
    std::vector<unsigned char> bytes;
};

// How the strips of a run get each other's rows. Every strip calls each function at the same
// point of the run, the same number of times.
class StripExchange {
  public:
    virtual ~StripExchange() = default;
    // `g` holds the raster's rows from `first` on, among them this strip's own rows with their
    // values. Fills the rows of `need` that the strip does not own with the cells that their
    // owners hold in their own grids at this call, bit for bit (they may be packed integers).
    virtual void share_rows(RealGrid& g, std::int64_t first, RowRange need) = 0;
    // The rows of `need` that this strip does not own, in row order, each piece as its owner
    // packed it with `pack` (which is given rows the caller owns).
    virtual std::vector<RowPiece> share_packed(
        const std::function<std::vector<unsigned char>(RowRange)>& pack, RowRange need) = 0;
    // The largest of every strip's `value`.
    virtual double largest(double value) = 0;
    // Whether this strip is the raster's only one: then there is nothing to share.
    virtual bool alone() const { return false; }
};

// The exchange of a run of one strip: nothing to share.
class NoExchange final : public StripExchange {
  public:
    void share_rows(RealGrid&, std::int64_t, RowRange) override {}
    std::vector<RowPiece> share_packed(const std::function<std::vector<unsigned char>(RowRange)>&,
                                       RowRange) override {
        return {};
    }
    double largest(double value) override { return value; }
    bool alone() const override { return true; }
};

// Reads the raster's rows `rows` into `tab`, which has that many rows of the raster's width.
using RowReader = std::function<void(RowRange rows, ByteGrid& tab)>;

// The part of analyse that falls to the strip `plan.own`: reads the rows its windows need with
// `read`, marks the isolated pixels, computes its own pixels of every product of the treatment
// and hands them to `receiver` in the order of analyse; progress counts the strip's own rows and
// pixels. Throws as analyse does.
AnalysisSummary analyse_strip(const StripPlan& plan, const AnalysisParameters& p,
                              const RowReader& read, StripExchange& exchange,
                              StripReceiver& receiver, Progress& progress);

}  // namespace ds
