// The checks of output names before a run: names that stay in the river's folder, and outputs
// that would replace the river's own files, whatever links lie in the folder.
#include "io/output_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "io/file_set.h"
#include "tests/exe_runner.h"

namespace ds {
namespace {

namespace fs = std::filesystem;

TEST(OutputName, NamesStayInTheRiverFolderAndFitAFileName) {
    const std::string longest(243, 'n');
    for (const std::string& name :
         {std::string("Rivière_été"), std::string(".."), std::string("...x"), longest})
        EXPECT_EQ(output_name_problem(name), std::nullopt) << name.substr(0, 20);
    for (const std::string& name :
         {std::string("a\\b"), std::string("../escaped"), std::string("/tmp/abs"),
          std::string("./here"), std::string("bell\a"), std::string(""), longest + "n",
          std::string(5000, 'x')})
        EXPECT_NE(output_name_problem(name), std::nullopt) << name.substr(0, 20);
}

TEST(ReplacedRiverFile, OutputsLinkedToTheRiverOfEveryKindAreFound) {
    struct Link {
        const char* output;  // an output of the name "Out"
        const char* river;   // the river file it leads to
        bool hard;
    };
    const test::TempDir dir;
    test::write_file(dir.file("R.raw"), "raster");
    test::write_file(dir.file("R.txt"), "descriptor");
    const std::vector<std::string> river = {dir.file("R.raw"), dir.file("R.txt")};
    const std::string base = dir.file("Out");
    EXPECT_EQ(replaced_river_file(base, file_set_suffixes(true), river), std::nullopt);
    // Outputs of every kind, as symbolic and as hard links.
    for (const Link& l :
         {Link{"Out_TAC_DN.raw", "R.raw", false}, Link{"Out_TAC_RI.txt", "R.txt", true},
          Link{"Out_TAC_DN.xls", "R.raw", false}, Link{"Out_FDP_ER1.xls", "R.txt", false},
          Link{"Out_FDP_RI2.xls", "R.raw", true}, Link{"Out_FDP_DN2.raw", "R.txt", true}}) {
        if (l.hard)
            fs::create_hard_link(dir.file(l.river), dir.file(l.output));
        else
            fs::create_symlink(l.river, dir.file(l.output));
        EXPECT_EQ(replaced_river_file(base, file_set_suffixes(true), river),
                  std::make_pair(dir.file(l.output), dir.file(l.river)))
            << l.output;
        fs::remove(dir.file(l.output));
    }
    // The river itself may be the link: its target counts, whatever its name.
    test::write_file(dir.file("X_TAC_RI.raw"), "raster");
    fs::create_symlink("X_TAC_RI.raw", dir.file("L.raw"));
    EXPECT_EQ(replaced_river_file(dir.file("X"), file_set_suffixes(false), {dir.file("L.raw")}),
              std::make_pair(dir.file("X_TAC_RI.raw"), dir.file("L.raw")));
}

}  // namespace
}  // namespace ds
