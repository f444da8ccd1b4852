// Raster loading with the isolated-pixel pass. The input is a descriptor line, a line break and
// the bytes of the raster file; the sizes are bounded so that each run stays quick.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "analysis/isolated_pixels.h"
#include "fuzz/fuzz_check.h"
#include "io/formats.h"
#include "io/lecture.h"
#include "io/raster_limits.h"
#include "lib/grid.h"

namespace {

constexpr std::uint64_t kMaxCells = 1 << 16;

// The value a cell must hold after the pass, from the loaded raster alone: a network pixel off
// the border without any network neighbour becomes 255.
unsigned char expected_cell(const ds::ByteGrid& loaded, std::int64_t i, std::int64_t j) {
    const unsigned char v = loaded(i, j);
    if (v != 1 || i == 0 || j == 0 || i + 1 == loaded.rows() || j + 1 == loaded.cols())
        return v;
    for (std::int64_t di = -1; di <= 1; ++di)
        for (std::int64_t dj = -1; dj <= 1; ++dj)
            if ((di != 0 || dj != 0) && loaded(i + di, j + dj) == 1)
                return v;
    return 255;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t eol = input.find('\n');
    if (eol == std::string_view::npos)
        return 0;
    const ds::RiverDescriptor d = ds::parse_descriptor(input.substr(0, eol));
    if (ds::raster_size_problem(d.nb_lig, d.nb_col, 1, kMaxCells))
        return 0;
    std::string raw(input.substr(eol + 1));

    ds::ByteGrid tab(d.nb_lig, d.nb_col);
    std::FILE* f1 = fmemopen(raw.data(), raw.size(), "rb");
    FUZZ_CHECK(f1 != nullptr);
    const std::int64_t bytes = ds::load_raster(f1, tab);
    std::fclose(f1);
    ds::mark_isolated(tab);

    const auto expected = static_cast<std::size_t>(tab.size());
    ds::ByteGrid loaded(d.nb_lig, d.nb_col);
    for (std::size_t k = 0; k < expected && k < raw.size(); ++k)
        loaded.data()[k] = static_cast<unsigned char>(raw[k]);
    for (std::int64_t i = 0; i < tab.rows(); ++i)
        for (std::int64_t j = 0; j < tab.cols(); ++j)
            FUZZ_CHECK(tab(i, j) == expected_cell(loaded, i, j));
    FUZZ_CHECK(static_cast<std::size_t>(bytes) == std::min(raw.size(), expected));
    return 0;
}
