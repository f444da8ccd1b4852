// drainshape-mpi against drainshape run: the same files, byte for byte, whatever the number of
// ranks and wherever the strips start; a rank that cannot write stops every rank.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/layers.h"
#include "analysis/products.h"
#include "io/file_set.h"
#include "tests/exe_runner.h"
#include "tests/network_gen.h"
#include "tests/sample_crop.h"

#if DRAINSHAPE_WITH_GDAL
#include "tests/gdal_rasters.h"
#endif

namespace ds::test {
namespace {

#ifdef DRAINSHAPE_MPI_EXE

namespace fs = std::filesystem;

// `mpirun -np N drainshape-mpi` as this machine takes it: more ranks than cores, one thread each,
// and root allowed when the tests run as root. Open MPI's libraries keep state to the end of a
// process, which the leak checker of a sanitized build reports: it is off for the ranks.
std::string mpi_command(int ranks, const std::string& args) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::string cmd =
        "env ASAN_OPTIONS=" + quoted(std::string(asan != nullptr ? asan : "") + ":detect_leaks=0") +
        " " + quoted(DRAINSHAPE_MPIEXEC) + " --oversubscribe --bind-to none";
    if (::geteuid() == 0)
        cmd += " --allow-run-as-root";
    return cmd + " -np " + std::to_string(ranks) + " " + quoted(DRAINSHAPE_MPI_EXE) + " " + args +
           " --threads 1";
}

std::string run_command(const std::string& args) {
    return quoted(DRAINSHAPE_EXE) + " run " + args + " --threads 2";
}

RunResult shell(const TempDir& dir, const std::string& command) {
    const std::string out = dir.file("stdout.txt");
    const std::string err = dir.file("stderr.txt");
    const int raw = std::system(("timeout -k 5 " + std::to_string(kRunTimeLimit) + " " + command +
                                 " > " + quoted(out) + " 2> " + quoted(err))
                                    .c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(out), read_file(err)};
}

// One process's messages as drainshape-mpi words them.
std::string as_mpi_messages(std::string text) {
    const std::string from = "drainshape: ";
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += from.size() + 4)
        text.replace(at, from.size(), "drainshape-mpi: ");
    return text;
}

std::vector<std::string> suffixes(bool both) {
    return file_set_suffixes(both);
}

struct River {
    std::string name;
    int lines;
    int columns;
    std::string bytes;
};

River sample() {
    return {"sample", kSampleSide, kSampleSide,
            read_file(DRAINSHAPE_SOURCE_DIR "/examples/sample_river.raw")};
}

River generated(int lines, int columns, unsigned seed) {
    const ByteGrid g = gen::network(lines, columns, seed);
    return {"gen" + std::to_string(seed), lines, columns,
            std::string(g.data(), g.data() + g.size())};
}

struct Case {
    River river;
    int window;
    int regional;
    bool both;
    std::string extra;  // further options of both runs
};

// Runs `drainshape run` once and drainshape-mpi on 1 to 4 ranks, and compares every file.
void expect_same_files(const Case& c) {
    TempDir dir;
    const fs::path river = dir.path() / (c.river.name + ".raw");
    write_file(river, c.river.bytes);
    write_file(dir.path() / (c.river.name + ".txt"), header(c.river.lines, c.river.columns, 30));
    const auto options = [&](const std::string& out) {
        return quoted(river.string()) + " --out " + quoted(out) + " --window " +
               std::to_string(c.window) + " --regional " + std::to_string(c.regional) +
               " --treatment " + (c.both ? "both" : "taco") + " --quiet " + c.extra;
    };
    const std::string what = c.river.name + " " + std::to_string(c.window) + "/" +
                             std::to_string(c.regional) + " " + c.extra;
    fs::create_directories(dir.path() / "one");
    const RunResult one = shell(dir, run_command(options(dir.file("one"))));
    ASSERT_EQ(one.status, 0) << what << one.err;
    for (int ranks = 1; ranks <= 4; ++ranks) {
        const fs::path out = dir.path() / ("ranks" + std::to_string(ranks));
        fs::create_directories(out);
        const RunResult r = shell(dir, mpi_command(ranks, options(out.string())));
        ASSERT_EQ(r.status, 0) << what << " on " << ranks << " ranks: " << r.err;
        EXPECT_EQ(r.err, as_mpi_messages(one.err)) << what;  // quiet: the warnings alone
        for (const std::string& suffix : suffixes(c.both)) {
            const std::string name = c.river.name + suffix;
            EXPECT_EQ(read_file(out / name), read_file(dir.path() / "one" / name))
                << what << " on " << ranks << " ranks: " << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()),
                  static_cast<long>(suffixes(c.both).size()))
            << what;
    }
}

TEST(MpiRun, TheSampleNetworkGivesTheBytesOfOneProcessOnEveryNumberOfRanks) {
    expect_same_files({sample(), 13, 49, true, ""});
    // 4 strips of 100 rows, thinner than the regional half side of 120.
    expect_same_files({sample(), 37, 241, false, "--mnc 2"});
}

// 4 strips of 75 rows, thinner than the regional half side of 90.
TEST(MpiRun, AGeneratedNetworkGivesTheBytesOfOneProcessOnEveryNumberOfRanks) {
    expect_same_files({generated(300, 220, 7), 49, 181, true, ""});
}

// On 3 and 4 ranks, strips of 233 and 175 rows, thinner than the half sides of 330.
TEST(MpiRun, TheLargestWindowsGiveTheBytesOfOneProcessOnEveryNumberOfRanks) {
    expect_same_files({generated(700, 690, 3), 661, 661, true, ""});
}

TEST(MpiRun, TheReferenceEngineSharedByRanksWritesTheSameBytes) {
    expect_same_files({generated(90, 80, 5), 13, 37, true, "--engine reference"});
}

// Rank 1 may write no byte beyond the first 50000 of a file, and its rows start at 80000: its
// first image fails, and every rank stops with one line that names it and the file.
TEST(MpiRun, ARankThatCannotWriteStopsEveryRankAndLeavesTheEarlierResults) {
    TempDir dir;
    const River r = sample();
    const fs::path river = dir.path() / "sample.raw";
    write_file(river, r.bytes);
    write_file(dir.path() / "sample.txt", header(r.lines, r.columns, 30));
    const std::string options = quoted(river.string()) + " --regional 13 --quiet --window ";
    ASSERT_EQ(shell(dir, run_command(options + "13")).status, 0);
    std::vector<std::string> before;
    for (const std::string& suffix : suffixes(true))
        before.push_back(read_file(dir.path() / ("sample" + suffix)));

    const RunResult failed =
        shell(dir, mpi_command(1, options + "25") +
                       " : -np 1 prlimit --fsize=50000 sh -c 'trap \"\" XFSZ; exec \"$@\"' sh " +
                       quoted(DRAINSHAPE_MPI_EXE) + " " + options + "25 --threads 1");
    EXPECT_EQ(failed.status, 1) << failed.err;
    EXPECT_NE(failed.err.find("drainshape-mpi: rank 1: Cannot write file " +
                              (dir.path() / "sample_FDP_DN.raw").string() +
                              ": File too large; no output was written, earlier results are "
                              "unchanged\n"),
              std::string::npos)
        << failed.err;
    for (std::size_t k = 0; k < before.size(); ++k)
        EXPECT_EQ(read_file(dir.path() / ("sample" + suffixes(true)[k])), before[k])
            << suffixes(true)[k];
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string().rfind(".drainshape-", 0), 0u) << e.path();
}

#if DRAINSHAPE_WITH_GDAL
// A georeferenced river: the GeoTIFF images of 3 ranks have the pixels, the georeference and the
// metadata of those of one process, and their layers are the same files.
TEST(MpiRun, GeoTiffImagesOfRanksMatchThoseOfOneProcess) {
    TempDir dir;
    const River r = sample();
    const fs::path river = dir.path() / "geo.tif";
    make_tif(river, r.lines, r.columns, std::vector<double>(r.bytes.begin(), r.bytes.end()), {});
    for (const char* out : {"one", "three", "one_layers", "three_layers"})
        fs::create_directories(dir.path() / out);
    const auto options = [&](const char* out, const char* kind) {
        return quoted(river.string()) + " --out " + quoted(dir.file(out)) +
               " --window 25 --regional 61 --quiet " + kind;
    };
    ASSERT_EQ(shell(dir, run_command(options("one", "--geotiff"))).status, 0);
    const RunResult three = shell(dir, mpi_command(3, options("three", "--geotiff")));
    ASSERT_EQ(three.status, 0) << three.err;
    ASSERT_EQ(shell(dir, run_command(options("one_layers", "--layers"))).status, 0);
    const RunResult layers = shell(dir, mpi_command(3, options("three_layers", "--layers")));
    ASSERT_EQ(layers.status, 0) << layers.err;
    for (const ProductInfo* p : products_of(true, true)) {
        const std::string name = "geo" + std::string(p->suffix);
        EXPECT_EQ(read_file(dir.path() / "three" / (name + ".raw")),
                  read_file(dir.path() / "one" / (name + ".raw")));
        const Opened a(dir.path() / "one" / (name + ".tif"));
        const Opened b(dir.path() / "three" / (name + ".tif"));
        ASSERT_NE(b.ds, nullptr) << name;
        EXPECT_EQ(band_bytes(b.ds), band_bytes(a.ds)) << name;
        std::array<double, 6> ga{}, gb{};
        ASSERT_EQ(GDALGetGeoTransform(b.ds, gb.data()), CE_None);
        GDALGetGeoTransform(a.ds, ga.data());
        EXPECT_EQ(gb, ga);
        EXPECT_STREQ(GDALGetProjectionRef(b.ds), GDALGetProjectionRef(a.ds));
        const auto metadata = [](GDALDatasetH ds) {
            std::vector<std::string> items;
            for (char** m = GDALGetMetadata(ds, nullptr); m != nullptr && *m != nullptr; ++m)
                items.emplace_back(*m);
            return items;
        };
        EXPECT_EQ(metadata(b.ds), metadata(a.ds)) << name;
    }
    for (const LayerInfo* l : layers_of(true)) {
        const std::string name = "geo" + std::string(l->suffix) + ".tif";
        EXPECT_EQ(read_file(dir.path() / "three_layers" / name),
                  read_file(dir.path() / "one_layers" / name))
            << name;
    }
}
#endif

#else

TEST(MpiRun, NotBuilt) {
    GTEST_SKIP() << "built without MPI";
}

#endif

}  // namespace
}  // namespace ds::test
