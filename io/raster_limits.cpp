#include "io/raster_limits.h"

#include <fstream>
#include <limits>

#ifdef __linux__
#include <sys/sysinfo.h>
#endif

namespace ds {

namespace {

// A control-group limit file holds a byte count, or "max" when there is no limit.
std::uint64_t cgroup_limit(const char* path) {
    std::ifstream f(path);
    std::uint64_t v = 0;
    if (f >> v)
        return v;
    return 0;
}

}  // namespace

std::uint64_t usable_memory() {
#ifdef __linux__
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return 0;
    const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    std::uint64_t memory =
        (static_cast<std::uint64_t>(info.totalram) + static_cast<std::uint64_t>(info.totalswap)) *
        unit;
    for (const char* path :
         {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        const std::uint64_t limit = cgroup_limit(path);
        if (limit > 0 && limit < memory)
            memory = limit;
    }
    return memory;
#else
    return 0;
#endif
}

std::optional<std::string> raster_size_problem(std::int64_t nb_lig, std::int64_t nb_col,
                                               std::int64_t bytes_per_pixel, std::uint64_t memory,
                                               bool* too_large) {
    if (too_large != nullptr)
        *too_large = false;
    if (nb_lig <= 0 || nb_col <= 0)
        return "a raster needs at least one line and one column";
    if (nb_lig > kMaxSide || nb_col > kMaxSide)
        return "more than " + std::to_string(kMaxSide) + " lines or columns";
    if (nb_lig > kMaxCells / nb_col)
        return "too many cells for one grid (at most " + std::to_string(kMaxCells) + ")";
    // Up to kMaxCells times a few dozen bytes: beyond 64 bits.
    const auto needed = static_cast<unsigned __int128>(nb_lig * nb_col) *
                        static_cast<unsigned __int128>(bytes_per_pixel);
    if (memory > 0 && needed > memory) {
        if (too_large != nullptr)
            *too_large = true;
        constexpr std::uint64_t kMiB = 1024 * 1024;
        return "the grids of the run need " +
               std::to_string(static_cast<std::uint64_t>((needed + kMiB - 1) / kMiB)) +
               " MiB and this machine has " + std::to_string(memory / kMiB) + " MiB";
    }
    return std::nullopt;
}

}  // namespace ds
