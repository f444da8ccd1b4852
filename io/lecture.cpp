#include "io/lecture.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "io/out_file.h"

namespace ds {

std::int64_t load_raster(std::FILE* f1, ByteGrid& tab) {
    // The rows lie one after another: one read, which stdio passes straight to the system.
    return static_cast<std::int64_t>(
        std::fread(tab.data(), 1, static_cast<std::size_t>(tab.size()), f1));
}

std::optional<std::string> lecture(const std::string& river_raw, ByteGrid& tab) {
    const auto fail = [&river_raw](const char* fallback) {
        const std::string reason = errno != 0 ? std::strerror(errno) : fallback;
        return FileError(river_raw, "Cannot read file " + river_raw + ": " + reason);
    };
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f1(std::fopen(river_raw.c_str(), "rb"),
                                                             &std::fclose);
    if (!f1)
        throw fail("cannot open it");
    const std::int64_t bytes = load_raster(f1.get(), tab);
    if (std::ferror(f1.get()) != 0)
        throw fail("read error");
    const std::int64_t expected = tab.size();
    char text[160];
    if (bytes < expected) {
        std::snprintf(text, sizeof text,
                      "Warning: the raster file holds only %lld of the %lld expected bytes",
                      static_cast<long long>(bytes), static_cast<long long>(expected));
        return text;
    }
    if (std::fgetc(f1.get()) != EOF) {
        // Bytes beyond the raster are not part of it; more of them most often means a
        // descriptor that does not go with the file.
        std::snprintf(text, sizeof text,
                      "Warning: the raster file holds more than the %lld expected bytes; "
                      "the rest is ignored",
                      static_cast<long long>(expected));
        return text;
    }
    return std::nullopt;
}

}  // namespace ds
