#include "io/lecture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (bytes == expected && std::fgetc(f1.get()) != EOF)
        return raster_length_warning(bytes + 1, expected);
    return raster_length_warning(bytes, expected);
}

std::optional<std::string> raster_length_warning(std::int64_t file_bytes, std::int64_t expected) {
    char text[160];
    if (file_bytes < expected) {
        std::snprintf(text, sizeof text,
                      "Warning: the raster file holds only %lld of the %lld expected bytes",
                      static_cast<long long>(file_bytes), static_cast<long long>(expected));
        return text;
    }
    if (file_bytes > expected) {
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

void read_raster_rows(const std::string& river_raw, RowRange rows, ByteGrid& tab) {
    const auto fail = [&river_raw](int error) {
        return FileError(river_raw, "Cannot read file " + river_raw + ": " +
                                        (error != 0 ? std::strerror(error) : "cannot open it"));
    };
    errno = 0;
    const int fd = ::open(river_raw.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw fail(errno);
    const std::int64_t cols = tab.cols();
    const auto bytes = static_cast<std::size_t>(rows.size() * cols);
    unsigned char* into = tab.data();
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n =
            ::pread(fd, into + done, bytes - done,
                    static_cast<off_t>(rows.begin * cols + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw fail(error);
        }
        if (n == 0)
            break;  // the file ends before the raster
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

std::int64_t raster_file_bytes(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw FileError(path, "Cannot read file " + path + ": " + std::strerror(errno));
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace ds
