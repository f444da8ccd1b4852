// An elevation model in memory, and the D8 neighbourhood every step of the hydrology shares.
//
// Direction codes follow the ESRI convention: 1 east, 2 south-east, 4 south, 8 south-west,
// 16 west, 32 north-west, 64 north, 128 north-east (rows grow southwards); 0 on NoData. Every
// cell that holds a value gets a code: a cell that drains out of the model points at the
// outside or at a NoData neighbour.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "lib/grid.h"

namespace ds {

struct DemGrid {
    RealGrid z;              // elevations; finite wherever nodata is 0
    ByteGrid nodata;         // 1 where the model has no value (outside, sea)
    double cell_width = 1;   // ground distance between two columns
    double cell_height = 1;  // ground distance between two rows
};

// Throws std::invalid_argument unless `dem` is usable: z and nodata of one shape, positive cell
// sizes, every value cell finite.
void check_dem(const DemGrid& dem);

struct D8Step {
    int dr;
    int dc;
    std::uint8_t code;
};

// In code order; ties between neighbours are always broken by this order.
inline constexpr std::array<D8Step, 8> kD8 = {{{0, 1, 1},
                                               {1, 1, 2},
                                               {1, 0, 4},
                                               {1, -1, 8},
                                               {0, -1, 16},
                                               {-1, -1, 32},
                                               {-1, 0, 64},
                                               {-1, 1, 128}}};

// The neighbour index k (into kD8) of a nonzero code, or -1 for a code that is not one of
// the eight.
inline int d8_index(std::uint8_t code) {
    if (code == 0 || (code & (code - 1)) != 0)
        return -1;
    int k = 0;
    while ((code >> k) != 1)
        ++k;
    return k;
}

// Distances to the eight neighbours, in kD8 order.
inline std::array<double, 8> d8_distances(double cell_width, double cell_height) {
    const double diag = std::sqrt(cell_width * cell_width + cell_height * cell_height);
    return {cell_width, diag, cell_height, diag, cell_width, diag, cell_height, diag};
}

}  // namespace ds
