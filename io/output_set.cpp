#include "io/output_set.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace ds {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

bool same_file(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

// The permissions a file created with fopen gets: 0666 less the process's umask.
mode_t created_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A new empty file in `folder` whose name starts with ".drainshape-" and ends with `suffix`.
std::string make_temporary(const fs::path& folder, const std::string& suffix,
                           const std::string& shown) {
    std::string path = (folder / (".drainshape-XXXXXX" + suffix)).string();
    errno = 0;
    const int fd = ::mkstemps(path.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        throw FileError(shown, "Cannot create file " + shown + ": " + std::strerror(errno));
    ::fchmod(fd, created_mode());
    ::close(fd);
    return path;
}

// Holds back the signals that stop a run while the files are renamed.
class HeldSignals {
  public:
    HeldSignals() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&set, s);
        ::sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~HeldSignals() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

  private:
    sigset_t old_;
};

}  // namespace

std::optional<std::string> output_name_problem(std::string_view name) {
    // File names of at most 255 bytes are what the common file systems take.
    constexpr std::size_t kLongestName = 255 - std::string_view("_FDP_DN2.raw").size();
    if (name.empty())
        return std::string("a name holds at least one character");
    if (name.size() > kLongestName)
        return "a name has at most " + std::to_string(kLongestName) + " characters";
    for (const char c : name) {
        if (c == '/' || c == '\\' || c == kPathSeparator)
            return std::string(
                "the results must stay in the folder of the river, so a name holds "
                "no '/' or '\\'");
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::string("a name holds no control characters");
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, std::string>> replaced_river_file(
    const std::string& base, const std::vector<std::string>& suffixes,
    const std::vector<std::string>& river_files) {
    for (const std::string& suffix : suffixes) {
        std::string out = base + suffix;
        for (const std::string& river : river_files)
            if (same_file(out, river))
                return std::make_pair(std::move(out), river);
    }
    return std::nullopt;
}

std::optional<std::string> folder_in_the_way(const std::string& base,
                                             const std::vector<std::string>& suffixes) {
    for (const std::string& suffix : suffixes) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(base + suffix, ec)))
            return base + suffix;
    }
    return std::nullopt;
}

std::optional<std::string> folder_problem(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return std::string("does not exist");
    std::string probe = (fs::path(folder) / ".drainshape-XXXXXX").string();
    errno = 0;
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return std::string("cannot be written: ") + std::strerror(errno);
    ::close(fd);
    ::unlink(probe.c_str());
    return std::nullopt;
}

OutputSet::OutputSet(std::string base)
    : base_(std::move(base)), folder_(fs::path(base_).parent_path()) {}

OutputSet::~OutputSet() {
    discard();
}

std::string OutputSet::reserve(const std::string& suffix) {
    const std::string final = base_ + suffix;
    entries_.push_back({make_temporary(folder_, suffix, final), final});
    return entries_.back().temp;
}

std::string OutputSet::scratch(const std::string& suffix) {
    entries_.push_back({make_temporary(folder_, suffix, base_ + suffix), {}});
    return entries_.back().temp;
}

void OutputSet::remove(const std::string& path) {
    const auto at = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& e) { return e.final.empty() && e.temp == path; });
    if (at == entries_.end())
        return;
    ::unlink(at->temp.c_str());
    entries_.erase(at);
}

OutFile OutputSet::create(const std::string& suffix, OutFile::Mode mode) {
    const std::string temp = reserve(suffix);
    return OutFile(temp, mode, entries_.back().final);
}

void OutputSet::commit() {
    std::erase_if(entries_, [](const Entry& e) {
        if (e.final.empty())
            ::unlink(e.temp.c_str());
        return e.final.empty();
    });
    for (const Entry& e : entries_) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(e.final, ec))) {
            const std::string final = e.final;
            discard();
            throw FileError(final, "Cannot write file " + final + ": Is a directory");
        }
    }
    const HeldSignals held;
    for (std::size_t k = 0; k < entries_.size(); ++k) {
        if (std::rename(entries_[k].temp.c_str(), entries_[k].final.c_str()) != 0) {
            const std::string reason = std::strerror(errno);
            const std::string final = entries_[k].final;
            entries_.erase(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(k));
            discard();
            throw FileError(final, "Cannot write file " + final + ": " + reason);
        }
    }
    entries_.clear();
}

void OutputSet::discard() {
    for (const Entry& e : entries_)
        ::unlink(e.temp.c_str());
    entries_.clear();
}

std::vector<std::string> OutputSet::final_paths() const {
    std::vector<std::string> out;
    for (const Entry& e : entries_)
        if (!e.final.empty())
            out.push_back(e.final);
    return out;
}

}  // namespace ds
