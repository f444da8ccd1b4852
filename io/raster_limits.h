// What a raster's size must satisfy before any grid is allocated for it: positive sizes, a cell
// count that fits the grids, and grids that fit the memory of the machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace ds {

// The most lines or columns a raster may have: descriptors and GDAL count them in int.
inline constexpr std::int64_t kMaxSide = std::numeric_limits<int>::max();

// The most cells a raster may have: as many as a grid of doubles can address. Pixel counts are
// 64-bit, so every count of a frequency table fits.
inline constexpr std::int64_t kMaxCells =
    std::numeric_limits<std::ptrdiff_t>::max() / static_cast<std::int64_t>(sizeof(double));

// Bytes of memory the process can use: physical memory and swap, or the memory limit of its
// control group when that is lower. 0 when unknown.
std::uint64_t usable_memory();

// Why `nb_lig` x `nb_col` cells of `bytes_per_pixel` bytes cannot be held in `memory` bytes
// (0: not checked), or nothing when they can; more than kMaxCells cells never can.
// `*too_large` tells a memory refusal apart from sizes that no grid can take.
std::optional<std::string> raster_size_problem(std::int64_t nb_lig, std::int64_t nb_col,
                                               std::int64_t bytes_per_pixel, std::uint64_t memory,
                                               bool* too_large = nullptr);

}  // namespace ds
