// No queue: a scan starts a walk downstream at each cell that nothing drains into, and the walk
// goes on through every cell whose last donor it has just passed on, so each cell is taken
// once, after all its donors.
#include "dem/accumulation.h"

#include <limits>
#include <stdexcept>
#include <vector>

namespace ds {

namespace {

constexpr std::int64_t kNone = -1;
constexpr unsigned char kDone = 0xFF;

}  // namespace

CountGrid flow_accumulation(const ByteGrid& dir, const ByteGrid& nodata) {
    require_same_shape(dir, nodata, "directions and NoData mask differ in size");
    const std::int64_t rows = dir.rows(), cols = dir.cols();
    const std::int64_t n = rows * cols;
    if (n > static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max()))
        throw std::invalid_argument("too many cells to count in 32 bits");

    // The cell that cell i drains to, or kNone.
    const unsigned char* d = dir.data();
    const unsigned char* nd = nodata.data();
    const auto down = [&](std::int64_t i) {
        const int k = d8_index(d[i]);
        const std::int64_t r = i / cols + kD8[k].dr, c = i % cols + kD8[k].dc;
        if (r < 0 || c < 0 || r >= rows || c >= cols || nd[r * cols + c] != 0)
            return kNone;
        return r * cols + c;
    };

    std::vector<unsigned char> donors(static_cast<std::size_t>(n), 0);
    for (std::int64_t i = 0; i < n; ++i) {
        if (nd[i] != 0 || d[i] == 0)
            continue;
        if (d8_index(d[i]) < 0)
            throw std::invalid_argument("not a D8 direction code");
        if (const std::int64_t t = down(i); t != kNone)
            ++donors[t];
    }

    CountGrid acc(rows, cols);
    std::uint32_t* a = acc.data();
    for (std::int64_t i = 0; i < n; ++i)
        a[i] = nd[i] == 0 ? 1 : 0;
    for (std::int64_t i = 0; i < n; ++i) {
        if (nd[i] != 0 || donors[i] != 0)
            continue;
        donors[i] = kDone;
        for (std::int64_t j = i; d[j] != 0;) {
            const std::int64_t t = down(j);
            if (t == kNone)
                break;
            a[t] += a[j];
            if (--donors[t] != 0)
                break;
            donors[t] = kDone;
            j = t;
        }
    }
    for (std::int64_t i = 0; i < n; ++i)
        if (nd[i] == 0 && donors[i] != kDone)
            throw std::logic_error("flow directions form a loop");
    return acc;
}

}  // namespace ds
