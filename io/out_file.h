// An output file whose every write, flush and close is checked.
//
// A failure throws FileError naming the file, so that no run reports success after losing data.
#pragma once

#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>

namespace ds {

class FileError : public std::runtime_error {
  public:
    FileError(std::string path, const std::string& message)
        : std::runtime_error(message), path_(std::move(path)) {}
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

class OutFile {
  public:
    enum class Mode { Binary, Text };

    OutFile() = default;
    // Creates (or replaces) `path`. Throws FileError("Cannot create file ..."). Messages name
    // the file `shown` when given: the final name of a file written under a temporary one.
    OutFile(std::string path, Mode mode, std::string shown = {});
    OutFile(OutFile&& o) noexcept;
    OutFile& operator=(OutFile&& o) noexcept;
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    ~OutFile();

    // The file as messages name it.
    const std::string& path() const { return shown_; }
    bool is_open() const { return file_ != nullptr; }
    // Open, or closed by a failed write or close: its content is not the whole of it.
    bool incomplete() const { return file_ != nullptr || failed_; }

    // printf-style text. Throws FileError on a failed write.
    [[gnu::format(printf, 2, 3)]] void print(const char* format, ...);
    void write(std::span<const unsigned char> bytes);
    // Flushes and closes; throws FileError when either fails. Closing twice is harmless.
    void close();

  private:
    [[noreturn]] void fail(const char* what);

    std::string path_;
    std::string shown_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

}  // namespace ds
