// Histograms and the conversions of real values into image values and table percentages,
// defined once for every product of a run.
#pragma once

#include <array>
#include <cstdint>

namespace ds {

// Pixel counts are 64-bit: a raster may hold more pixels than an int counts.
using Histogram = std::array<std::int64_t, 256>;     // one bin per image value
using R2Histogram = std::array<std::int64_t, 1001>;  // one class per thousandth of R²

// Image value of a real: the value plus 0.5, truncated toward zero.
inline int image_value(double v) {
    return static_cast<int>(v + 0.5);
}

// The byte an image stores for an integer value: its low 8 bits.
inline unsigned char low_byte(int v) {
    return static_cast<unsigned char>(v);
}

// The fractal dimension of a value of the pass, which keeps dimensions x 100.
inline double dimension_of(double x100) {
    return x100 / 100;
}

// Adds one to bin `b` when it exists; values whose bin falls outside 0 to 255 are not counted.
inline void count_bin(Histogram& h, int b) {
    if (b >= 0 && b < static_cast<int>(h.size()))
        ++h[static_cast<std::size_t>(b)];
}

// Percentage of `count` in `sum`, the quotient formed in extended precision and stored as a
// double; 0 when the table covers no pixel.
inline double percentage(std::int64_t count, long double sum) {
    if (sum == 0)
        return 0.0;
    return static_cast<double>(static_cast<long double>(count) / sum * 100);
}

}  // namespace ds
