#include "taco/smoothing.h"

#include <stdexcept>

#include "lib/moving_mean.h"
#include "lib/window.h"

namespace ds {

void progressive_smoothing(RealGrid& dtab2, RealGrid& dtab3, int slid_win,
                           const std::function<void(int step)>& on_step) {
    require_same_shape(dtab2, dtab3, "smoothing grids differ in size");
    const std::int64_t nb_lig = dtab2.rows();
    const int step_RI = half_side(slid_win);
    int step = 1;
    dtab3.fill(0.0);
    for (int m = 1; m <= step_RI; ++m) {
        step += 2;
        const int bord2 = half_side(step);
        if (on_step)
            on_step(step);
        dtab3.fill(0.0);
        positive_mean(dtab2, bord2, dtab3, 0, nb_lig);
        dtab2 = dtab3;
    }
}

}  // namespace ds
