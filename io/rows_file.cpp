#include "io/rows_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace ds {

RowsFile::RowsFile(const std::string& path, std::string shown) : shown_(std::move(shown)) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw FileError(shown_, "Cannot create file " + shown_ + ": " + std::strerror(errno));
}

RowsFile::~RowsFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

void RowsFile::fail(const char* what, int error) {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
    throw FileError(shown_, std::string("Cannot ") + what + " file " + shown_ + ": " +
                                (error != 0 ? std::strerror(error) : "nothing was written"));
}

void RowsFile::write_at(std::int64_t offset, std::span<const unsigned char> bytes) {
    if (fd_ < 0)
        throw FileError(shown_, "File " + shown_ + " is not open");
    std::size_t done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            fail("write", errno);
        done += static_cast<std::size_t>(n);
    }
}

void RowsFile::close() {
    if (fd_ < 0)
        return;
    if (::close(std::exchange(fd_, -1)) != 0)
        throw FileError(shown_, "Cannot close file " + shown_ + ": " + std::strerror(errno));
}

}  // namespace ds
