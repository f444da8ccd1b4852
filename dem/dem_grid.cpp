#include "dem/dem_grid.h"

#include <stdexcept>

namespace ds {

void check_dem(const DemGrid& dem) {
    require_same_shape(dem.z, dem.nodata, "elevations and NoData mask differ in size");
    if (!(dem.cell_width > 0) || !(dem.cell_height > 0) || !std::isfinite(dem.cell_width) ||
        !std::isfinite(dem.cell_height))
        throw std::invalid_argument("cell size must be positive");
    const double* z = dem.z.data();
    const unsigned char* nd = dem.nodata.data();
    for (std::int64_t i = 0; i < dem.z.size(); ++i)
        if (nd[i] == 0 && !std::isfinite(z[i]))
            throw std::invalid_argument("elevation not finite outside the NoData mask");
}

}  // namespace ds
