#include "dem/streams.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "dem/d8.h"
#include "dem/fill.h"
#include "dem/flats.h"

namespace ds {

ByteGrid stream_cells(const CountGrid& accumulation, std::uint64_t threshold_cells) {
    if (threshold_cells == 0)
        throw std::invalid_argument("the stream threshold must be at least 1 cell");
    const std::int64_t rows = accumulation.rows(), cols = accumulation.cols();
    ByteGrid streams(rows, cols);
#pragma omp parallel for schedule(static)
    for (std::int64_t r = 0; r < rows; ++r)
        for (std::int64_t c = 0; c < cols; ++c)
            streams(r, c) = accumulation(r, c) >= threshold_cells ? 1 : 0;
    return streams;
}

std::int64_t fill_one_cell_holes(ByteGrid& streams) {
    std::int64_t filled = 0;
    for (std::int64_t r = 1; r + 1 < streams.rows(); ++r)
        for (std::int64_t c = 1; c + 1 < streams.cols(); ++c)
            if (streams(r, c) == 0 && streams(r - 1, c) != 0 && streams(r + 1, c) != 0 &&
                streams(r, c - 1) != 0 && streams(r, c + 1) != 0) {
                streams(r, c) = 1;
                ++filled;
            }
    return filled;
}

ByteGrid stream_outlets(const ByteGrid& streams, const ByteGrid& direction,
                        const ByteGrid& nodata) {
    const std::int64_t rows = streams.rows(), cols = streams.cols();
    ByteGrid outlets(rows, cols);
    for (std::int64_t r = 0; r < rows; ++r)
        for (std::int64_t c = 0; c < cols; ++c) {
            const int k = d8_index(direction(r, c));
            if (streams(r, c) == 0 || k < 0)
                continue;
            const std::int64_t nr = r + kD8[k].dr, nc = c + kD8[k].dc;
            outlets(r, c) =
                nr < 0 || nc < 0 || nr >= rows || nc >= cols || nodata(nr, nc) != 0 ? 1 : 0;
        }
    return outlets;
}

std::uint64_t threshold_cells_for_area(double area_km2, double cell_area_m2) {
    if (!(area_km2 > 0) || !std::isfinite(area_km2) || !(cell_area_m2 > 0) ||
        !std::isfinite(cell_area_m2))
        throw std::invalid_argument("area and cell area must be positive");
    // A quotient that misses a whole number by rounding alone counts as that number.
    double cells = area_km2 * 1e6 / cell_area_m2;
    const double whole = std::round(cells);
    cells = std::fabs(cells - whole) <= 1e-9 * whole ? whole : std::ceil(cells);
    if (!(cells < 18446744073709551616.0))
        throw std::invalid_argument("the area threshold exceeds any count of cells");
    return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(cells));
}

Drainage extract_streams(DemGrid dem, std::uint64_t threshold_cells) {
    if (threshold_cells == 0)
        throw std::invalid_argument("the stream threshold must be at least 1 cell");
    Drainage out;
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    const auto lap = [&](const char* step) {
        const auto now = Clock::now();
        out.times.push_back({step, std::chrono::duration<double>(now - start).count()});
        start = now;
    };
    out.raised_cells = fill_depressions(dem);
    lap("fill");
    out.direction = d8_directions(dem);
    lap("d8");
    const FlatResolution flats = resolve_flats(dem, out.direction);
    if (flats.unresolved != 0)
        throw std::logic_error("a flat of the filled model has no outlet");
    out.flat_cells = flats.flat_cells;
    lap("flats");
    out.accumulation = flow_accumulation(out.direction, dem.nodata);
    lap("accumulation");
    out.streams = stream_cells(out.accumulation, threshold_cells);
    lap("streams");
    out.filled = std::move(dem.z);
    out.nodata = std::move(dem.nodata);
    return out;
}

}  // namespace ds
