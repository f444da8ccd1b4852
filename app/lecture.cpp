#include "app/lecture.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "io/out_file.h"

namespace ds {

std::int64_t load_raster(std::FILE* f1, ByteGrid& tab) {
    std::int64_t bytes = 0;
    for (std::int64_t i = 0; i < tab.rows(); ++i) {
        const auto row = tab.row(i);
        bytes += static_cast<std::int64_t>(std::fread(row.data(), 1, row.size(), f1));
    }
    return bytes;
}

void mark_isolated(ByteGrid& tab) {
    for (std::int64_t i = 1; i + 1 < tab.rows(); ++i) {
        for (std::int64_t j = 1; j + 1 < tab.cols(); ++j) {
            if (tab(i, j) != 1)
                continue;
            int ico = 0;
            for (std::int64_t di = -1; di <= 1; ++di)
                for (std::int64_t dj = -1; dj <= 1; ++dj)
                    if ((di != 0 || dj != 0) && tab(i + di, j + dj) == 1)
                        ++ico;
            if (ico == 0)
                tab(i, j) = 255;
        }
    }
}

void lecture(RunState& s, std::ostream& err) {
    errno = 0;
    const std::int64_t bytes = load_raster(s.f1.get(), s.tab);
    if (std::ferror(s.f1.get()) != 0) {
        const std::string reason = errno != 0 ? std::strerror(errno) : "read error";
        throw FileError(s.river_raw, "Cannot read file " + s.river_raw + ": " + reason);
    }
    const std::int64_t expected = s.tab.size();
    char text[160];
    if (bytes < expected) {
        std::snprintf(text, sizeof text,
                      "\n\tWarning: the raster file holds only %ld of the %ld expected bytes\n",
                      static_cast<long>(bytes), static_cast<long>(expected));
        err << text;
        err.flush();
    } else if (std::fgetc(s.f1.get()) != EOF) {
        // Bytes beyond the raster are not part of it; more of them most often means a
        // descriptor that does not go with the file.
        std::snprintf(text, sizeof text,
                      "\n\tWarning: the raster file holds more than the %ld expected bytes; "
                      "the rest is ignored\n",
                      static_cast<long>(expected));
        err << text;
        err.flush();
    }
    mark_isolated(s.tab);
}

}  // namespace ds
