// Quick-look pictures of the output images: a colour map for each measure, written as PNG.
//
// FDP images (dimension x 100) use a perceptual sequential map (viridis) stretched over the
// image's own smallest to largest non-zero value. TACO images use a two-sided map on the fixed
// range 1 to 200: blues for meanders (1 to 99, darker the more tortuous), oranges to dark red
// for dendritic structures (100 to 200, darker the more dendritic); values 201 to 255 (the low
// bytes of the negative values of crowded windows) are dark grey. Value 0 is no data: white in
// the network images, so that the network is drawn over a white background, and light grey in
// the regional images.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "analysis/field_summaries.h"
#include "analysis/products.h"
#include "lib/grid.h"

namespace ds {

struct Rgb {
    unsigned char r = 0;
    unsigned char g = 0;
    unsigned char b = 0;
    bool operator==(const Rgb&) const = default;
};

using Palette = std::array<Rgb, 256>;

inline constexpr Rgb kNetworkBackground{255, 255, 255};
inline constexpr Rgb kRegionalNoData{217, 217, 217};
inline constexpr Rgb kTacoOutside{64, 64, 64};

// The perceptual sequential map at t in [0, 1].
Rgb viridis(double t);
// The two-sided TACO map at a value of 1 to 200.
Rgb taco_colour(int v);

// The colours of the 256 image values. `lo` and `hi` are the values at the ends of a stretched
// scale (ignored for the two-sided one); `network`: a network image (0 white) or a regional one
// (0 grey).
Palette make_palette(ColourScale scale, bool network, int lo, int hi);

// The picture of one output image.
struct QuickLook {
    const ProductInfo* info = nullptr;
    int lo = 0;  // the image values at the ends of the scale
    int hi = 0;
    // The parameter's real extremes, which the scale then spans and labels (FDP as dimensions,
    // TACO with its negative values); without them the scale is labelled by the image values.
    std::optional<ValueRange> values;
    Palette palette{};
    std::vector<unsigned char> png;  // the PNG file's bytes
    std::int64_t rows = 0;
    std::int64_t cols = 0;
};

// The image through `palette` as an indexed PNG. Throws std::runtime_error.
std::vector<unsigned char> encode_png(const ByteGrid& image, const Palette& palette);

// An RGB picture of `rows` x `cols` pixels, row by row, as PNG. Throws std::runtime_error.
std::vector<unsigned char> encode_png(std::int64_t rows, std::int64_t cols,
                                      const std::vector<Rgb>& pixels);

// The picture of the image of `info`: its scale chosen (a stretched scale over the image's own
// non-zero values), encoded as PNG, with the real extremes `values` for the scale's labels.
// Throws std::runtime_error.
QuickLook quick_look(const ProductInfo& info, const ByteGrid& image,
                     std::optional<ValueRange> values = std::nullopt);

}  // namespace ds
