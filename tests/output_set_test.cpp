// The checks of output names before a run: names that stay in the river's folder, and outputs
// that would replace the river's own files, whatever links lie in the folder; and the output set
// that puts a run's files in place together.
#include "io/output_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
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

TEST(OutputSet, FilesAppearOnlyWhenCommittedAndNeverBesideAFolder) {
    const test::TempDir dir;
    const std::string base = dir.file("R");
    test::write_file(base + "_A.txt", "earlier");
    const auto listing = [&] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path()))
            names.insert(e.path().filename());
        return names;
    };
    const auto write = [](OutputSet& out, const char* suffix, const char* text) {
        OutFile f = out.create(suffix, OutFile::Mode::Text);
        f.print("%s", text);
        f.close();
    };
    {
        OutputSet dropped(base);
        write(dropped, "_A.txt", "new");
    }  // never committed: nothing changes
    EXPECT_EQ(listing(), (std::set<std::string>{"R_A.txt"}));
    EXPECT_EQ(test::read_file(base + "_A.txt"), "earlier");

    OutputSet out(base);
    write(out, "_A.txt", "new");
    write(out, "_B.txt", "b");
    EXPECT_EQ(listing().size(), 3u);  // the earlier file and two temporary ones
    out.commit();
    EXPECT_EQ(listing(), (std::set<std::string>{"R_A.txt", "R_B.txt"}));
    EXPECT_EQ(test::read_file(base + "_A.txt"), "new");

    // A folder where a file should go is found before anything is renamed.
    fs::create_directory(base + "_D.txt");
    OutputSet blocked(base);
    write(blocked, "_A.txt", "newer");
    write(blocked, "_D.txt", "d");
    EXPECT_THROW(blocked.commit(), FileError);
    EXPECT_EQ(test::read_file(base + "_A.txt"), "new");
    EXPECT_EQ(listing(), (std::set<std::string>{"R_A.txt", "R_B.txt", "R_D.txt"}));
}

}  // namespace
}  // namespace ds
