// From an elevation model to its stream cells: depression filling, D8 directions, drainage of
// flats, flow accumulation and a threshold in cells.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dem/accumulation.h"
#include "dem/dem_grid.h"

namespace ds {

// 1 where a value cell drains at least `threshold_cells` cells (itself included), else 0.
// Throws std::invalid_argument for a threshold of 0.
ByteGrid stream_cells(const CountGrid& accumulation, std::uint64_t threshold_cells);

// Makes a stream cell of every cell that is not one but whose four side neighbours are, and
// returns how many. In a D8 network such a cell lies between two flow paths that run side by
// side along a diagonal, touching at every step: at the raster's resolution they are one
// stream, and the one-cell hole between them would read as a loop that makes every cell of
// both paths a confluence. (A D8 network has no real loop; larger enclosed regions are left, as
// filling them would make a blob.) Order does not matter: a filled cell had no neighbour to
// fill. Stream cells that nest stay nested.
std::int64_t fill_one_cell_holes(ByteGrid& streams);

// 1 on the stream cells whose D8 direction leads off the raster or into NoData: the outlets,
// which thinning must keep so that every stream still reaches the edge or NoData.
ByteGrid stream_outlets(const ByteGrid& streams, const ByteGrid& direction, const ByteGrid& nodata);

// The smallest count of cells of `cell_area_m2` square metres each that covers `area_km2`
// square kilometres. Throws std::invalid_argument unless both are positive and finite, or when
// the count does not fit in 64 bits.
std::uint64_t threshold_cells_for_area(double area_km2, double cell_area_m2);

struct StepTime {
    std::string step;
    double seconds = 0;
};

struct Drainage {
    RealGrid filled;                // the elevations with every depression filled
    ByteGrid direction;             // D8 codes (dem/dem_grid.h), 0 on NoData only
    CountGrid accumulation;         // cells drained through each cell, 0 on NoData
    ByteGrid streams;               // 1 on stream cells
    ByteGrid nodata;                // the model's NoData mask
    std::int64_t raised_cells = 0;  // cells the filling raised
    std::int64_t flat_cells = 0;    // cells drained across flats
    std::vector<StepTime> times;    // "fill", "d8", "flats", "accumulation", "streams"
};

// Runs the whole chain on `dem` (taken by value: move it in to fill it in place). Every value
// cell drains to the edge or to NoData. Throws std::invalid_argument for a model check_dem
// refuses or a threshold of 0.
Drainage extract_streams(DemGrid dem, std::uint64_t threshold_cells);

}  // namespace ds
