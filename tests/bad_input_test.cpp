// Bad river descriptors and rasters, driven through the real executable: each case with the
// status, message and files it must give.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "io/raster_limits.h"
#include "tests/exe_runner.h"
#include "tests/small_network.h"

namespace ds {
namespace {

using test::ImagesRoot;
using test::read_file;
using test::small_network;
using test::small_network_descriptor;

// Generic name, TACO only, windows of 13, one confluent.
constexpr const char* kAnswers = "F\nR\n0\n0\n0\n0\n1\n";
const std::set<std::string> kRiverOnly = {"R.raw", "R.txt"};
const std::set<std::string> kTacoRun = {"R.raw",        "R.txt",        "R_TAC_DN.raw",
                                        "R_TAC_DN.txt", "R_TAC_DN.xls", "R_TAC_RI.raw",
                                        "R_TAC_RI.txt", "R_TAC_RI.xls"};

enum class Raster { Network, Shorter, Longer, Empty, Directory };

struct BadInput {
    const char* name;
    std::optional<std::string> descriptor;  // nothing: a directory stands in its place
    Raster raster;
    int status;
    std::string message;  // a part of stderr, with "{raw}"/"{txt}" for the river's paths
    std::set<std::string> files;
};

std::string with_paths(std::string text, const ImagesRoot& images) {
    for (const auto& [key, file] : {std::pair{"{raw}", "R.raw"}, std::pair{"{txt}", "R.txt"}}) {
        const std::size_t p = text.find(key);
        if (p != std::string::npos)
            text.replace(p, std::string(key).size(), images.file(file).string());
    }
    return text;
}

// 46340 x 46340 is the largest square within the cell limit; its grids take 74 GiB.
bool holds_the_largest_raster() {
    return usable_memory() >= std::uint64_t{46340} * 46340 * 37;
}

const std::string kNoLines = "a raster needs at least one line and one column";

const std::vector<BadInput> kBadInputs = {
    {"Letters", "lines columns 1 0 255 30", Raster::Network, 1,
     "\n\tThe descriptor {txt} gives 0 lines and 0 columns: " + kNoLines + "\n", kRiverOnly},
    {"NegativeLines", "-30 32 1 0 255 30", Raster::Network, 1,
     "\n\tThe descriptor {txt} gives -30 lines and 32 columns: " + kNoLines + "\n", kRiverOnly},
    {"ProductOverflows", "2000000000 2000000000 1 0 255 30", Raster::Network, 1,
     "\n\tThe descriptor {txt} gives 2000000000 lines and 2000000000 columns: too many cells "
     "for one grid (at most 1152921504606846975)\n",
     kRiverOnly},
    {"ExceedsTheMemory", "46340 46340 1 0 255 30", Raster::Network, 1,
     "\n\tNot enough memory for a 46340 x 46340 grid\n\tthe grids of the run need 34815 MiB and "
     "this machine has ",
     kRiverOnly},
    {"DescriptorIsADirectory", std::nullopt, Raster::Network, 1,
     "\n\tThe descriptor {txt} gives 0 lines and 0 columns: " + kNoLines + "\n", kRiverOnly},
    {"ShorterRaster", small_network_descriptor(), Raster::Shorter, 0,
     "\n\tWarning: the raster file holds only 500 of the 960 expected bytes\n", kTacoRun},
    {"EmptyRaster", small_network_descriptor(), Raster::Empty, 0,
     "\n\tWarning: the raster file holds only 0 of the 960 expected bytes\n", kTacoRun},
    {"LongerRaster", small_network_descriptor(), Raster::Longer, 0,
     "\n\tWarning: the raster file holds more than the 960 expected bytes; the rest is "
     "ignored\n",
     kTacoRun},
    {"RasterIsADirectory", small_network_descriptor(), Raster::Directory, 1,
     "\n\tCannot read file {raw}: Is a directory; no output was written, earlier results are "
     "unchanged\n",
     kRiverOnly},
};

void PrintTo(const BadInput& c, std::ostream* os) {
    *os << c.name;
}

class BadInputTest : public ::testing::TestWithParam<BadInput> {};

void lay_down(const ImagesRoot& images, const BadInput& c) {
    switch (c.raster) {
        case Raster::Network:
            test::write_file(images.file("R.raw"), small_network());
            break;
        case Raster::Shorter:
            test::write_file(images.file("R.raw"), small_network().substr(0, 500));
            break;
        case Raster::Longer:
            test::write_file(images.file("R.raw"), small_network() + std::string(77, '\1'));
            break;
        case Raster::Empty:
            test::write_file(images.file("R.raw"), "");
            break;
        case Raster::Directory:
            std::filesystem::create_directory(images.file("R.raw"));
            break;
    }
    if (c.descriptor)
        test::write_file(images.file("R.txt"), *c.descriptor);
    else
        std::filesystem::create_directory(images.file("R.txt"));
}

TEST_P(BadInputTest, GivesItsMessageStatusAndFiles) {
    const BadInput& c = GetParam();
    if (c.message.find("Not enough memory") != std::string::npos && holds_the_largest_raster())
        GTEST_SKIP() << "this machine has the memory for the largest raster";
    ImagesRoot images;
    lay_down(images, c);
    const auto r = images.run(kAnswers);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(with_paths(c.message, images)), std::string::npos) << r.err;
    EXPECT_EQ(images.files(), c.files);
    if (c.status != 0) {
        // Whatever failed, the river's own files are untouched.
        if (c.raster == Raster::Network) {
            EXPECT_EQ(read_file(images.file("R.raw")), small_network());
        }
        if (c.descriptor) {
            EXPECT_EQ(read_file(images.file("R.txt")), *c.descriptor);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BadInputTest, ::testing::ValuesIn(kBadInputs),
                         [](const auto& info) { return std::string(info.param.name); });

// Sizes typed for a missing descriptor are checked before the descriptor is created, so that a
// wrong answer leaves no descriptor that fails every later run.
TEST(BadInput, TypedSizesThatCannotMakeARasterCreateNoDescriptor) {
    struct Typed {
        std::string answers;
        std::string message;
    };
    for (const Typed& t : std::vector<Typed>{
             {"30\n-1\n30\n", "\n\tThe answers give 30 lines and -1 columns: " + kNoLines + "\n"},
             {"2147483647\n2147483647\n30\n",
              "\n\tThe answers give 2147483647 lines and 2147483647 columns: too many cells for "
              "one grid (at most 1152921504606846975)\n"},
         }) {
        ImagesRoot images;
        test::write_file(images.file("R.raw"), small_network());
        const auto r = images.run("F\nR\n" + t.answers + "0\n0\n0\n0\n1\n");
        EXPECT_EQ(r.status, 1) << t.answers << r.err;
        EXPECT_NE(r.err.find(t.message), std::string::npos) << t.answers << r.err;
        EXPECT_EQ(images.files(), std::set<std::string>{"R.raw"}) << t.answers;
    }
}

}  // namespace
}  // namespace ds
