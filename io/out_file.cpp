#include "io/out_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <utility>

namespace ds {

OutFile::OutFile(std::string path, Mode mode, std::string shown)
    : path_(std::move(path)), shown_(shown.empty() ? path_ : std::move(shown)) {
    file_ = std::fopen(path_.c_str(), mode == Mode::Binary ? "wb" : "w");
    if (file_ == nullptr)
        throw FileError(shown_, "Cannot create file " + shown_);
}

OutFile::OutFile(OutFile&& o) noexcept
    : path_(std::move(o.path_)),
      shown_(std::move(o.shown_)),
      file_(std::exchange(o.file_, nullptr)),
      failed_(std::exchange(o.failed_, false)) {}

OutFile& OutFile::operator=(OutFile&& o) noexcept {
    if (this != &o) {
        if (file_ != nullptr)
            std::fclose(file_);
        path_ = std::move(o.path_);
        shown_ = std::move(o.shown_);
        file_ = std::exchange(o.file_, nullptr);
        failed_ = std::exchange(o.failed_, false);
    }
    return *this;
}

OutFile::~OutFile() {
    if (file_ != nullptr)
        std::fclose(file_);
}

void OutFile::fail(const char* what) {
    const std::string reason = errno != 0 ? std::strerror(errno) : "unknown error";
    failed_ = true;
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    throw FileError(shown_, std::string("Cannot ") + what + " file " + shown_ + ": " + reason);
}

void OutFile::print(const char* format, ...) {
    if (file_ == nullptr)
        throw FileError(shown_, "File " + shown_ + " is not open");
    std::va_list args;
    va_start(args, format);
    errno = 0;
    const int n = std::vfprintf(file_, format, args);
    va_end(args);
    if (n < 0)
        fail("write");
}

void OutFile::write(std::span<const unsigned char> bytes) {
    if (file_ == nullptr)
        throw FileError(shown_, "File " + shown_ + " is not open");
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        fail("write");
}

void OutFile::close() {
    if (file_ == nullptr)
        return;
    errno = 0;
    const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    if (!flushed)
        fail("write");
    std::FILE* f = std::exchange(file_, nullptr);
    if (std::fclose(f) != 0) {
        const std::string reason = std::strerror(errno);
        failed_ = true;
        throw FileError(shown_, "Cannot close file " + shown_ + ": " + reason);
    }
}

}  // namespace ds
