#include "analysis/isolated_pixels.h"

namespace ds {

void mark_isolated(ByteGrid& tab) {
    for (std::int64_t i = 1; i + 1 < tab.rows(); ++i) {
        for (std::int64_t j = 1; j + 1 < tab.cols(); ++j) {
            if (tab(i, j) != 1)
                continue;
            int ico = 0;
            for (std::int64_t di = -1; di <= 1; ++di)
                for (std::int64_t dj = -1; dj <= 1; ++dj)
                    if ((di != 0 || dj != 0) && tab(i + di, j + dj) == 1)
                        ++ico;
            if (ico == 0)
                tab(i, j) = 255;
        }
    }
}

}  // namespace ds
