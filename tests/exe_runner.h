// Runs the real drainshape executable with answers on its standard input, in a temporary
// images root of its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace ds::test {

namespace fs = std::filesystem;

inline std::string read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void write_file(const fs::path& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary);
    f << bytes;
}

inline std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Number of non-overlapping occurrences of `needle` in `hay`.
inline int count_of(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (std::size_t p = hay.find(needle); p != std::string::npos;
         p = hay.find(needle, p + needle.size()))
        ++n;
    return n;
}

struct RunResult {
    int status = -1;  // 124: stopped by the time limit (see ImagesRoot::run_raw)
    std::string out;
    std::string err;
};

// Seconds that one run of the executable may take, sanitized builds included.
inline constexpr int kRunTimeLimit = 300;

// A fresh directory, removed again at the end of the test.
class TempDir {
  public:
    TempDir() {
        static std::atomic<int> counter{0};
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() /
                ("drainshape_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                 std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

// An images root with folder "F", in which rivers are laid down.
class ImagesRoot {
  public:
    ImagesRoot() : root_(tmp_.path() / "images"), folder_(root_ / "F") {
        fs::create_directories(folder_);
    }
    const fs::path& root() const { return root_; }
    const fs::path& folder() const { return folder_; }
    fs::path file(const std::string& name) const { return folder_ / name; }

    // A lines x columns raster of `bytes` (all zero when empty) and its descriptor text.
    void add_river(const std::string& name, int lines, int columns, const std::string& descriptor,
                   std::string bytes = {}) const {
        if (bytes.empty())
            bytes.assign(static_cast<std::size_t>(lines * columns), '\0');
        write_file(file(name + ".raw"), bytes);
        if (!descriptor.empty())
            write_file(file(name + ".txt"), descriptor);
    }
    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(folder_))
            names.insert(e.path().filename());
        return names;
    }

    // Runs drainshape --images ROOT with `answers` on stdin.
    RunResult run(const std::string& answers) const {
        return run_raw(answers, "", "--images " + quoted(root_.string()));
    }

    // Runs `env` drainshape `args` with `answers` on stdin; DRAINSHAPE_IMAGES is unset first.
    // A run longer than `seconds` is stopped: no input may make the dialog loop forever.
    RunResult run_raw(const std::string& answers, const std::string& env, const std::string& args,
                      int seconds = kRunTimeLimit) const {
        const fs::path in = tmp_.path() / "stdin.txt";
        const fs::path out = tmp_.path() / "stdout.txt";
        const fs::path err = tmp_.path() / "stderr.txt";
        write_file(in, answers);
        const std::string cmd = "env -u DRAINSHAPE_IMAGES " + env + " timeout -k 5 " +
                                std::to_string(seconds) + " " + quoted(DRAINSHAPE_EXE) + " " +
                                args + " < " + quoted(in.string()) + " > " + quoted(out.string()) +
                                " 2> " + quoted(err.string());
        RunResult r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = read_file(out);
        r.err = read_file(err);
        return r;
    }

    const fs::path& scratch() const { return tmp_.path(); }

  private:
    TempDir tmp_;
    fs::path root_;
    fs::path folder_;
};

// The six header lines of an output descriptor.
inline std::string header(int lines, int columns, int pix_size) {
    return std::to_string(lines) + "\n" + std::to_string(columns) + "\n1\n0\n255\n" +
           std::to_string(pix_size) + "\n";
}

inline std::string parameter_lines(int win_size, int slid_win, int MNC) {
    return "\n\t Window Size used for parameter calculation             = " +
           std::to_string(win_size) +
           " \n\t Window Size used to calculate the mean regional values = " +
           std::to_string(slid_win) +
           " \n\t Maximum number of confluents in a meandering structure = " + std::to_string(MNC) +
           " ";
}

}  // namespace ds::test
