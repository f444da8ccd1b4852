// The computing stages on small rasters: the first calculation pass, the FDP and TACO images,
// the regional means and the progressive smoothing, with every property that holds whatever
// the network. Input: a parameter byte (bit 0: window of 13 or 25, bits 2 to 4: MNC + 3, bit 5:
// both treatments), the lines, the columns, then the cells (bit 0 of each byte: network).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>

#include "analysis/first_pass.h"
#include "analysis/isolated_pixels.h"
#include "fractal/fdp_products.h"
#include "fuzz/fuzz_check.h"
#include "lib/grid.h"
#include "lib/window.h"
#include "taco/smoothing.h"
#include "taco/taco_products.h"

namespace {

constexpr int kMaxSide = 40;

long total(const ds::Histogram& h) {
    return std::accumulate(h.begin(), h.end(), 0L);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const int win_fract = data[0] & 1;  // windows of 13 and 25
    const int regional = 0;             // a regional window of 13: larger ones only slow each run
    const int MNC = ((data[0] >> 2) & 7) - 3;  // -3 to 4; 4 is never asked for
    const bool fdp = ((data[0] >> 5) & 1) != 0;
    const int lines = 1 + data[1] % kMaxSide;
    const int columns = 1 + data[2] % kMaxSide;
    if (MNC > 3)
        return 0;

    ds::ByteGrid tab(lines, columns);
    for (std::size_t k = 3; k < size && k - 3 < static_cast<std::size_t>(tab.size()); ++k)
        tab.data()[k - 3] = data[k] & 1;
    ds::mark_isolated(tab);

    ds::RealGrid dtab(lines, columns);
    ds::RealGrid dtab_v2(lines, columns);
    ds::RealGrid dtab2(lines, columns);
    ds::RealGrid dtab3(lines, columns);
    const ds::PassStats st =
        ds::first_pass({tab, ds::kWindowSides[static_cast<std::size_t>(win_fract)], MNC, fdp},
                       {dtab, dtab_v2, dtab2}, {});

    // Values exist only at the eligible network pixels; TACO values stay below 200.
    const int half_win = ds::half_side(ds::kWindowSides[static_cast<std::size_t>(win_fract)]);
    long eligible = 0;
    for (std::int64_t i = 0; i < lines; ++i)
        for (std::int64_t j = 0; j < columns; ++j) {
            const bool inside = i >= half_win && i < lines - half_win && j >= half_win &&
                                j < columns - half_win && tab(i, j) == 1;
            eligible += inside;
            FUZZ_CHECK(!std::isnan(dtab2(i, j)) && dtab2(i, j) <= 200.0);
            FUZZ_CHECK(inside || (dtab(i, j) == 0.0 && dtab_v2(i, j) == 0.0 && dtab2(i, j) == 0.0));
            if (!fdp)
                FUZZ_CHECK(dtab(i, j) == 0.0 && dtab_v2(i, j) == 0.0);
            else if (inside)
                FUZZ_CHECK(std::isfinite(dtab(i, j)) && std::isfinite(dtab_v2(i, j)));
        }
    FUZZ_CHECK(st.processed == eligible);
    if (fdp) {
        // Every processed pixel has its two R² classes.
        FUZZ_CHECK(std::accumulate(st.tab_Er0.begin(), st.tab_Er0.end(), 0L) == eligible);
        FUZZ_CHECK(std::accumulate(st.tab_Er1.begin(), st.tab_Er1.end(), 0L) == eligible);
        FUZZ_CHECK(total(st.val_DF) <= eligible && total(st.val_DF_V2) <= eligible);
    }

    const int slid_win = ds::kWindowSides[static_cast<std::size_t>(regional)];
    const int bord = ds::half_side(slid_win);
    ds::ByteGrid image(lines, columns);
    if (fdp) {
        ds::fdp_network_image(dtab, image);
        const ds::Histogram h = ds::fdp_regional_image(dtab, bord, image, {});
        FUZZ_CHECK(total(h) <= static_cast<long>(tab.size()));
    }
    const ds::TacoExtremes e = ds::taco_extremes(dtab2, bord);
    FUZZ_CHECK(e.max <= 200.0);
    const ds::Histogram network = ds::taco_network_image(dtab2, image);
    FUZZ_CHECK(total(network) <= eligible);
    ds::progressive_smoothing(dtab2, dtab3, slid_win, {});
    for (std::int64_t k = 0; k < dtab3.size(); ++k)
        FUZZ_CHECK(dtab3.data()[k] == dtab2.data()[k] && dtab3.data()[k] <= 200.0);
    const ds::Histogram smoothed = ds::taco_regional_image(dtab3, bord, image);
    FUZZ_CHECK(total(smoothed) <= static_cast<long>(tab.size()));
    return 0;
}
