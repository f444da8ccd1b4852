// Summaries of the real-valued fields for the pictures of a run: the range of a field's values
// and the joint histogram of two sparse fields over the same pixels (the fractal dimension
// against the R² of its fit). Each field is reduced as it is handed out, so that no copy of it
// outlives its call: one byte per stored pixel waits for the partner field.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "lib/grid.h"
#include "lib/sparse_field.h"

namespace ds {

struct ValueRange {
    double lo = 0.0;
    double hi = 0.0;
};

// The smallest and largest value of `field` other than 0.0 (the pixels without a value), or
// nothing when every value is 0.0. Values that are not finite are left out.
std::optional<ValueRange> nonzero_range(const RealGrid& field);

// `bins` equal classes from lo to hi; the value hi falls in the last one, and every value in
// the first when lo = hi.
struct HistogramAxis {
    double lo = 0.0;
    double hi = 0.0;
    int bins = 0;

    int bin(double v) const;
};

// The class of each stored value of a field, on an axis over the extremes of its finite values.
struct BinnedValues {
    static constexpr std::uint8_t kNoClass = 255;  // a value that is not finite

    HistogramAxis axis;
    std::vector<std::uint8_t> bin;  // one per stored pixel, in the field's order
};

// The values of `f` times `scale`, cut into `bins` classes (1 to 254; std::invalid_argument
// otherwise). With no finite value the axis is 0 to 0.
BinnedValues bin_values(const SparseField& f, int bins, double scale = 1.0);

struct JointHistogram {
    HistogramAxis x;
    HistogramAxis y;
    std::vector<std::int64_t> counts;  // y.bins rows of x.bins cells, the lowest y first
    std::int64_t left_out = 0;         // pixels with a value that is not finite

    std::int64_t at(int ix, int iy) const {
        return counts[static_cast<std::size_t>(iy) * static_cast<std::size_t>(x.bins) +
                      static_cast<std::size_t>(ix)];
    }
};

// Pixels per pair of classes of the same stored pixels of two fields. Throws
// std::invalid_argument when `x` and `y` do not hold the same number of pixels.
JointHistogram joint_histogram(const BinnedValues& x, const BinnedValues& y);

}  // namespace ds
