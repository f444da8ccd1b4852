// Runs that stop part way (a full disk, SIGTERM): one line on the error stream, a failure status,
// the results of an earlier run left byte for byte, and no temporary file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/exe_runner.h"
#include "tests/small_network.h"

extern char** environ;

namespace ds {
namespace {

using test::ImagesRoot;
using test::read_file;

namespace fs = std::filesystem;

std::map<std::string, std::string> contents(const ImagesRoot& images) {
    std::map<std::string, std::string> out;
    for (const std::string& f : images.files())
        out[f] = read_file(images.file(f));
    return out;
}

const std::string kUnchanged = "; no output was written, earlier results are unchanged\n";

TEST(InterruptedRun, AFullDiskLeavesTheEarlierResults) {
    ImagesRoot images;
    images.add_river("R", test::kNetLines, test::kNetColumns, test::small_network_descriptor(),
                     test::small_network());
    ASSERT_EQ(images.run("F\nR\n0\n1\n0\n0\n1\n").status, 0);
    const auto before = contents(images);
    ASSERT_EQ(before.size(), 22u);

    // Files may grow to 512 bytes; the images take 960.
    const auto r = images.run_raw("F\nR\n0\n1\n1\n1\n2\n",
                                  "sh -c 'trap \"\" XFSZ; ulimit -f 1; exec \"$@\"' sh",
                                  "--images " + test::quoted(images.root().string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n\tCannot write file " + images.file("R_FDP_DN.raw").string() +
                         ": File too large" + kUnchanged);
    EXPECT_EQ(contents(images), before);
}

TEST(InterruptedRun, SigtermLeavesTheEarlierResults) {
    ImagesRoot images;
    const fs::path river = images.file("S.raw");
    fs::copy_file(fs::path(DRAINSHAPE_SOURCE_DIR) / "examples/sample_river.raw", river);
    fs::copy_file(fs::path(DRAINSHAPE_SOURCE_DIR) / "examples/sample_river.txt",
                  images.file("S.txt"));
    ASSERT_EQ(images.run_raw("", "", "run " + test::quoted(river.string()) + " --quiet").status, 0);
    const auto before = contents(images);
    ASSERT_EQ(before.size(), 22u);

    // The reference engine smooths for seconds: the signal comes in the middle of it.
    const fs::path err = images.scratch() / "err.txt";
    const std::string exe = DRAINSHAPE_EXE;
    const std::string river_arg = river.string();
    std::vector<const char*> argv = {
        exe.c_str(), "run", river_arg.c_str(), "--engine", "reference", "--window", "25", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(
        posix_spawn(&pid, exe.c_str(), &actions, nullptr, const_cast<char**>(argv.data()), environ),
        0);
    posix_spawn_file_actions_destroy(&actions);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (read_file(err).find("FDP regional means (2)") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 128 + SIGTERM);
    const std::string text = read_file(err);
    EXPECT_NE(text.find("FDP regional means (2)"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1),
              "drainshape: stopped by SIGTERM" + kUnchanged);
    EXPECT_EQ(contents(images), before);
}

}  // namespace
}  // namespace ds
