#include "io/staged_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "io/out_file.h"

namespace ds {

StagedFile::StagedFile(std::string path) : path_(std::move(path)) {
    static std::atomic<int> counter{0};
    const std::filesystem::path p(path_);
    for (int attempt = 0;; ++attempt) {
        // Hidden, beside the file, so that the rename stays within one file system. Created
        // with the usual permissions (not mkstemp's 0600), since it becomes the file itself.
        std::string name = ".";
        name += p.filename().string();
        name += ".partial-";
        name += std::to_string(::getpid());
        name += '-';
        name += std::to_string(counter++);
        temporary_ = (p.parent_path() / name).string();
        const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            ::close(fd);
            return;
        }
        if (errno != EEXIST || attempt > 100)
            throw FileError(path_, "Cannot create file " + path_ + ": " + std::strerror(errno));
    }
}

StagedFile::~StagedFile() {
    if (!committed_)
        std::remove(temporary_.c_str());
}

void StagedFile::commit() {
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0)
        throw FileError(path_, "Cannot write file " + path_ + ": " + std::strerror(errno));
    committed_ = true;
}

}  // namespace ds
