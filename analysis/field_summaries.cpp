#include "analysis/field_summaries.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace ds {

std::optional<ValueRange> nonzero_range(const RealGrid& field) {
    std::optional<ValueRange> r;
    const double* p = field.data();
    for (std::int64_t k = 0; k < field.size(); ++k) {
        const double v = p[k];
        if (v == 0.0 || !std::isfinite(v))
            continue;
        if (!r)
            r = ValueRange{v, v};
        r->lo = std::min(r->lo, v);
        r->hi = std::max(r->hi, v);
    }
    return r;
}

int HistogramAxis::bin(double v) const {
    if (!(hi > lo))
        return 0;
    const double k = std::floor((v - lo) / (hi - lo) * bins);
    return static_cast<int>(std::clamp(k, 0.0, static_cast<double>(bins - 1)));
}

BinnedValues bin_values(const SparseField& f, int bins, double scale) {
    if (bins < 1 || bins >= BinnedValues::kNoClass)
        throw std::invalid_argument("a histogram axis has 1 to 254 classes");
    BinnedValues out;
    out.axis.bins = bins;
    bool any = false;
    for (const double stored : f.values) {
        const double v = stored * scale;
        if (!std::isfinite(v))
            continue;
        out.axis.lo = any ? std::min(out.axis.lo, v) : v;
        out.axis.hi = any ? std::max(out.axis.hi, v) : v;
        any = true;
    }
    out.bin.reserve(f.values.size());
    for (const double stored : f.values) {
        const double v = stored * scale;
        out.bin.push_back(std::isfinite(v) ? static_cast<std::uint8_t>(out.axis.bin(v))
                                           : BinnedValues::kNoClass);
    }
    return out;
}

JointHistogram joint_histogram(const BinnedValues& x, const BinnedValues& y) {
    if (x.bin.size() != y.bin.size())
        throw std::invalid_argument("the two fields of a joint histogram hold different pixels");
    JointHistogram h{x.axis, y.axis, {}, 0};
    h.counts.assign(static_cast<std::size_t>(x.axis.bins) * static_cast<std::size_t>(y.axis.bins),
                    0);
    for (std::size_t k = 0; k < x.bin.size(); ++k) {
        if (x.bin[k] == BinnedValues::kNoClass || y.bin[k] == BinnedValues::kNoClass) {
            ++h.left_out;
            continue;
        }
        ++h.counts[static_cast<std::size_t>(y.bin[k]) * static_cast<std::size_t>(x.axis.bins) +
                   x.bin[k]];
    }
    return h;
}

}  // namespace ds
