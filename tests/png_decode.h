// Decoding a PNG into RGB pixels with libpng, for the checks of pictures and screenshots.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ds::test {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // 3 bytes a pixel, row after row
    std::string error;

    const unsigned char* at(int x, int y) const {
        return rgb.data() + 3 * (static_cast<std::size_t>(y) * width + x);
    }
    std::uint32_t colour(int x, int y) const {
        const unsigned char* p = at(x, y);
        return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    }
};

// Reads a PNG (any colour type; alpha composed over nothing and dropped). `error` is set when
// it cannot be read.
inline RgbImage decode_png(const void* bytes, std::size_t size) {
    RgbImage out;
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes, size)) {
        out.error = img.message;
        return out;
    }
    img.format = PNG_FORMAT_RGB;
    out.width = static_cast<int>(img.width);
    out.height = static_cast<int>(img.height);
    out.rgb.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, out.rgb.data(), 0, nullptr)) {
        out.error = img.message;
        out.rgb.clear();
    }
    png_image_free(&img);
    return out;
}

inline RgbImage decode_png(const std::string& bytes) {
    return decode_png(bytes.data(), bytes.size());
}

}  // namespace ds::test
