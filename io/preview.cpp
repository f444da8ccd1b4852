#include "io/preview.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <tuple>

namespace ds {

namespace {

// viridis at ten even steps.
constexpr std::array<Rgb, 10> kViridis = {{{0x44, 0x01, 0x54},
                                           {0x48, 0x28, 0x78},
                                           {0x3e, 0x4a, 0x89},
                                           {0x31, 0x68, 0x8e},
                                           {0x26, 0x82, 0x8e},
                                           {0x1f, 0x9e, 0x89},
                                           {0x35, 0xb7, 0x79},
                                           {0x6d, 0xcd, 0x59},
                                           {0xb4, 0xde, 0x2c},
                                           {0xfd, 0xe7, 0x25}}};

// Meanders, from the most tortuous (dark blue) to the nearly straight (light blue).
constexpr std::array<Rgb, 7> kMeanders = {{{0x08, 0x30, 0x6b},
                                           {0x08, 0x51, 0x9c},
                                           {0x21, 0x71, 0xb5},
                                           {0x42, 0x92, 0xc6},
                                           {0x6b, 0xae, 0xd6},
                                           {0x9e, 0xca, 0xe1},
                                           {0xc6, 0xdb, 0xef}}};

// Dendritic structures, from the least (light orange) to the most (dark red).
constexpr std::array<Rgb, 7> kDendritic = {{{0xfd, 0xd0, 0xa2},
                                            {0xfd, 0xae, 0x6b},
                                            {0xfd, 0x8d, 0x3c},
                                            {0xf1, 0x69, 0x13},
                                            {0xd9, 0x48, 0x01},
                                            {0xa6, 0x36, 0x03},
                                            {0x7f, 0x27, 0x04}}};

unsigned char mix(unsigned char a, unsigned char b, double f) {
    return static_cast<unsigned char>(std::lround(a + (b - a) * f));
}

// Piecewise-linear through evenly spaced `anchors`, t in [0, 1].
template <std::size_t N>
Rgb along(const std::array<Rgb, N>& anchors, double t) {
    const double x = std::clamp(t, 0.0, 1.0) * (N - 1);
    const std::size_t k = std::min(static_cast<std::size_t>(x), N - 2);
    const double f = x - static_cast<double>(k);
    const Rgb& a = anchors[k];
    const Rgb& b = anchors[k + 1];
    return {mix(a.r, b.r, f), mix(a.g, b.g, f), mix(a.b, b.b, f)};
}

// The smallest and largest non-zero value of `image`; 0 and 0 when it has none.
std::pair<int, int> nonzero_range(const ByteGrid& image) {
    int lo = 256;
    int hi = 0;
    const unsigned char* p = image.data();
    for (std::int64_t k = 0; k < image.size(); ++k) {
        const int v = p[k];
        if (v == 0)
            continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    return hi == 0 ? std::pair{0, 0} : std::pair{lo, hi};
}

}  // namespace

Rgb viridis(double t) {
    return along(kViridis, t);
}

Rgb taco_colour(int v) {
    if (v < 100)
        return along(kMeanders, (v - 1) / 98.0);
    return along(kDendritic, (v - 100) / 100.0);
}

Palette make_palette(ColourScale scale, bool network, int lo, int hi) {
    Palette p{};
    p[0] = network ? kNetworkBackground : kRegionalNoData;
    for (int v = 1; v < 256; ++v) {
        Rgb& c = p[static_cast<std::size_t>(v)];
        if (scale == ColourScale::TwoSided)
            c = v <= 200 ? taco_colour(v) : kTacoOutside;
        else
            c = viridis(hi > lo ? static_cast<double>(v - lo) / (hi - lo) : 0.5);
    }
    return p;
}

std::vector<unsigned char> encode_png(const ByteGrid& image, const Palette& palette) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.cols());
    png.height = static_cast<png_uint_32>(image.rows());
    png.format = PNG_FORMAT_RGB_COLORMAP;
    png.colormap_entries = 256;
    std::array<unsigned char, 3 * 256> colormap{};
    for (std::size_t v = 0; v < palette.size(); ++v) {
        colormap[3 * v] = palette[v].r;
        colormap[3 * v + 1] = palette[v].g;
        colormap[3 * v + 2] = palette[v].b;
    }
    png_alloc_size_t size = 0;
    const auto stride = static_cast<png_int_32>(image.cols());
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.data(), stride, colormap.data()))
        throw std::runtime_error(std::string("PNG encoding failed: ") + png.message);
    std::vector<unsigned char> bytes(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, image.data(), stride,
                                   colormap.data()))
        throw std::runtime_error(std::string("PNG encoding failed: ") + png.message);
    bytes.resize(size);
    return bytes;
}

std::vector<unsigned char> encode_png(std::int64_t rows, std::int64_t cols,
                                      const std::vector<Rgb>& pixels) {
    if (static_cast<std::int64_t>(pixels.size()) != rows * cols)
        throw std::runtime_error("PNG encoding failed: the picture is not of its size");
    std::vector<unsigned char> rgb;
    rgb.reserve(3 * pixels.size());
    for (const Rgb& c : pixels) {
        rgb.push_back(c.r);
        rgb.push_back(c.g);
        rgb.push_back(c.b);
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(cols);
    png.height = static_cast<png_uint_32>(rows);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    // Three components a pixel.
    const auto stride = static_cast<png_int_32>(3 * cols);
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, rgb.data(), stride, nullptr))
        throw std::runtime_error(std::string("PNG encoding failed: ") + png.message);
    std::vector<unsigned char> bytes(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, rgb.data(), stride, nullptr))
        throw std::runtime_error(std::string("PNG encoding failed: ") + png.message);
    bytes.resize(size);
    return bytes;
}

QuickLook quick_look(const ProductInfo& info, const ByteGrid& image,
                     std::optional<ValueRange> values) {
    QuickLook q;
    q.info = &info;
    q.values = values;
    if (info.scale == ColourScale::Stretched) {
        std::tie(q.lo, q.hi) = nonzero_range(image);
    } else {
        q.lo = 1;
        q.hi = 200;
    }
    q.palette = make_palette(info.scale, info.kind == ProductKind::Network, q.lo, q.hi);
    q.rows = image.rows();
    q.cols = image.cols();
    q.png = encode_png(image, q.palette);
    return q;
}

}  // namespace ds
