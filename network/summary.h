// What a raster of a drainage network holds, measured against what the analysis assumes: a
// network of pixels equal to 1, one pixel wide and 8-connected, on a background of 0.
#pragma once

#include <cstdint>

#include "lib/grid.h"

namespace ds {

struct NetworkSummary {
    std::int64_t lines = 0;
    std::int64_t columns = 0;
    std::int64_t zeros = 0;              // pixels equal to 0
    std::int64_t ones = 0;               // pixels equal to 1: the network
    std::int64_t others = 0;             // any other value (background to the analysis)
    std::int64_t isolated = 0;           // network pixels without a network neighbour
    std::int64_t components = 0;         // 8-connected groups of network pixels
    std::int64_t largest_component = 0;  // pixels of the largest
    std::int64_t small_components = 0;   // components of one or two pixels
    std::int64_t ends = 0;               // network pixels with exactly one network neighbour
    std::int64_t junctions = 0;          // network pixels with three network neighbours or more
    std::int64_t loops = 0;              // background regions (4-connected) enclosed by the network
    std::int64_t blocks = 0;             // 2 x 2 squares of network pixels
    std::int64_t redundant = 0;  // network pixels whose removal keeps the topology, ends excepted

    // The verdict: a network, one pixel wide, on a raster of 0 and 1 only.
    bool clean() const { return ones > 0 && others == 0 && redundant == 0; }
};

NetworkSummary summarize_network(const ByteGrid& raster);

// Redundant network pixels alone, in one pass over the raster; or over its rows `rows` alone
// (their neighbours in the rows around them as in the raster, cells beyond the grid as 0).
std::int64_t count_redundant(const ByteGrid& raster);
std::int64_t count_redundant(const ByteGrid& raster, RowRange rows);

}  // namespace ds
