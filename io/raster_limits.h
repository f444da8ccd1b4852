// What a raster's size must satisfy before any grid is allocated for it: positive sizes, a cell
// count that fits the grids, and grids that fit the memory of the machine.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace ds {

// The most cells a raster may have: every pixel count of a frequency table is an int.
inline constexpr std::int64_t kMaxCells = std::numeric_limits<int>::max();

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
