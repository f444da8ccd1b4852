// A file written under a temporary name in its own folder and renamed into place only when it
// is complete, so that nothing half-written ever stands under its name, and an earlier file of
// that name stays as it was until the new one replaces it whole.
#pragma once

#include <string>

namespace ds {

class StagedFile {
  public:
    // Reserves a fresh temporary name beside `path`. Throws FileError when the folder cannot be
    // written.
    explicit StagedFile(std::string path);
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    // Removes the temporary file unless it was committed.
    ~StagedFile();

    const std::string& path() const { return path_; }
    // Where to write the content.
    const std::string& temporary() const { return temporary_; }
    // Puts the temporary file in place under path(). Throws FileError.
    void commit();

  private:
    std::string path_;
    std::string temporary_;
    bool committed_ = false;
};

}  // namespace ds
