#include "analysis/isolated_pixels.h"

#include "lib/byte_scan.h"

namespace ds {

void mark_isolated(ByteGrid& tab) {
    for (std::int64_t i = 1; i + 1 < tab.rows(); ++i) {
        for_each_byte(tab.row(i).data(), 1, tab.cols() - 1, 1, [&](std::int64_t j) {
            int ico = 0;
            for (std::int64_t di = -1; di <= 1; ++di)
                for (std::int64_t dj = -1; dj <= 1; ++dj)
                    if ((di != 0 || dj != 0) && tab(i + di, j + dj) == 1)
                        ++ico;
            if (ico == 0)
                tab(i, j) = 255;
        });
    }
}

}  // namespace ds
