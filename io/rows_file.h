// An output file that several processes write at once, each its own rows at their place.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "io/out_file.h"

namespace ds {

class RowsFile {
  public:
    // Opens the existing file `path` for writing in place (nothing is truncated); messages name
    // the file `shown`. Throws FileError.
    RowsFile(const std::string& path, std::string shown);
    RowsFile(const RowsFile&) = delete;
    RowsFile& operator=(const RowsFile&) = delete;
    ~RowsFile();

    // Writes `bytes` from byte `offset` on. Throws FileError.
    void write_at(std::int64_t offset, std::span<const unsigned char> bytes);
    // Closes the file; throws FileError when that fails. Closing twice is harmless.
    void close();

  private:
    [[noreturn]] void fail(const char* what, int error);

    std::string shown_;
    int fd_ = -1;
};

}  // namespace ds
