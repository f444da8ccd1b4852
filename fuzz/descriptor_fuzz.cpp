// The river descriptor reader and the size check that follows it, on any text.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "io/formats.h"
#include "io/raster_limits.h"

namespace {

constexpr std::int64_t kBytesPerPixel = 37;
constexpr std::uint64_t kMemory = std::uint64_t{1} << 30;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ds::RiverDescriptor d = ds::parse_descriptor(text);
    const std::array<int, 6> values = {d.nb_lig, d.nb_col, d.val, d.mind, d.maxd, d.pix_size};
    FUZZ_CHECK(d.read >= 0 && d.read <= 6);
    for (int k = d.read; k < 6; ++k)
        FUZZ_CHECK(values[static_cast<std::size_t>(k)] == 0);

    // The values read, written one per line, read back the same.
    std::string again;
    for (int k = 0; k < d.read; ++k)
        again += std::to_string(values[static_cast<std::size_t>(k)]) + "\n";
    const ds::RiverDescriptor e = ds::parse_descriptor(again);
    FUZZ_CHECK(e.read == d.read);
    FUZZ_CHECK(e.nb_lig == d.nb_lig && e.nb_col == d.nb_col && e.val == d.val && e.mind == d.mind &&
               e.maxd == d.maxd && e.pix_size == d.pix_size);

    // Accepted sizes make grids that fit; refused ones are refused for a reason that holds.
    bool too_large = false;
    const auto problem =
        ds::raster_size_problem(d.nb_lig, d.nb_col, kBytesPerPixel, kMemory, &too_large);
    const bool positive = d.nb_lig > 0 && d.nb_col > 0;
    const bool counted = static_cast<std::int64_t>(d.nb_lig) * d.nb_col <= ds::kMaxCells;
    const auto bytes = static_cast<__int128>(d.nb_lig) * d.nb_col * kBytesPerPixel;
    if (!problem) {
        FUZZ_CHECK(positive && counted && bytes <= static_cast<__int128>(kMemory));
    } else {
        FUZZ_CHECK(!problem->empty());
        FUZZ_CHECK(!positive || !counted || bytes > static_cast<__int128>(kMemory));
        FUZZ_CHECK(!too_large || (positive && counted && bytes > static_cast<__int128>(kMemory)));
    }
    return 0;
}
