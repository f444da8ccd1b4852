// The command line: options of the dialog and of `drainshape run`, parsed in process.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "gis/geotiff.h"

namespace ds {
namespace {

struct Parsed {
    CommandLine cl;
    std::string out;
    std::string err;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "drainshape");
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    std::ostringstream out, err;
    Parsed p{parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err), "", ""};
    p.out = out.str();
    p.err = err.str();
    return p;
}

// One line on the error stream, status 2, nothing to run.
void expect_usage_error(const Parsed& p, const std::string& fragment) {
    EXPECT_EQ(p.cl.kind, CommandLine::Kind::Done);
    EXPECT_EQ(p.cl.status, kUsageStatus);
    EXPECT_EQ(p.out, "");
    ASSERT_FALSE(p.err.empty());
    EXPECT_EQ(p.err.find('\n'), p.err.size() - 1) << p.err;
    EXPECT_EQ(p.err.rfind("drainshape: ", 0), 0u) << p.err;
    EXPECT_NE(p.err.find(fragment), std::string::npos) << p.err;
}

TEST(CommandLine, NoArgumentsIsTheDialogWithTheFastEngine) {
    const Parsed p = parse({});
    ASSERT_EQ(p.cl.kind, CommandLine::Kind::Dialog);
    EXPECT_FALSE(p.cl.dialog.images);
    EXPECT_EQ(p.cl.dialog.engine, Engine::Fast);
    EXPECT_EQ(p.cl.dialog.threads, 0);
}

TEST(CommandLine, DialogTakesImagesEngineAndThreads) {
    const Parsed p = parse({"--images", "/data/img", "--engine", "reference", "--threads", "3"});
    ASSERT_EQ(p.cl.kind, CommandLine::Kind::Dialog) << p.err;
    EXPECT_EQ(p.cl.dialog.images, "/data/img");
    EXPECT_EQ(p.cl.dialog.engine, Engine::Reference);
    EXPECT_EQ(p.cl.dialog.threads, 3);
}

TEST(CommandLine, RunDefaults) {
    const Parsed p = parse({"run", "x/R.raw"});
    ASSERT_EQ(p.cl.kind, CommandLine::Kind::Run) << p.err;
    const RunOptions& r = p.cl.run;
    EXPECT_EQ(r.river, "x/R.raw");
    EXPECT_EQ(r.window, 13);
    EXPECT_EQ(r.regional, 49);
    EXPECT_EQ(r.mnc, 1);
    EXPECT_TRUE(r.both);
    EXPECT_FALSE(r.name);
    EXPECT_FALSE(r.out);
    EXPECT_FALSE(r.pixel_size);
    EXPECT_EQ(r.engine, Engine::Fast);
    EXPECT_EQ(r.threads, 0);
    EXPECT_FALSE(r.geotiff || r.preview || r.quiet);
}

TEST(CommandLine, RunTakesEveryOption) {
    const Parsed p = parse({"run",     "R.tif",        "--window",  "661",         "--regional",
                            "13",      "--mnc",        "0",         "--treatment", "taco",
                            "--name",  "Out",          "--out",     "/o",          "--threads",
                            "2",       "--engine",     "reference", "--geotiff",   "--preview",
                            "--quiet", "--pixel-size", "30"});
    ASSERT_EQ(p.cl.kind, CommandLine::Kind::Run) << p.err;
    const RunOptions& r = p.cl.run;
    EXPECT_EQ(r.window, 661);
    EXPECT_EQ(r.regional, 13);
    EXPECT_EQ(r.mnc, 0);
    EXPECT_FALSE(r.both);
    EXPECT_EQ(r.name, "Out");
    EXPECT_EQ(r.out, "/o");
    EXPECT_EQ(r.pixel_size, 30);
    EXPECT_EQ(r.threads, 2);
    EXPECT_EQ(r.engine, Engine::Reference);
    EXPECT_TRUE(r.geotiff && r.preview && r.quiet);
}

TEST(CommandLine, SidesOutsideTheMenuNameTheAllowedOnes) {
    for (const char* option : {"--window", "--regional"}) {
        for (const char* side : {"15", "0", "-13", "abc", "13.0"}) {
            const Parsed p = parse({"run", "R.raw", option, side});
            SCOPED_TRACE(std::string(option) + " " + side);
            expect_usage_error(p, std::string(option) + ": " + side + " is not a window side");
            EXPECT_NE(p.err.find("13, 25, 37, 49, 61, 73, 101, 121, 181, 211, 241 or 661"),
                      std::string::npos);
        }
    }
    for (int side : {13, 25, 37, 49, 61, 73, 101, 121, 181, 211, 241, 661})
        EXPECT_EQ(parse({"run", "R.raw", "--regional", std::to_string(side)}).cl.run.regional,
                  side);
}

TEST(CommandLine, BadValuesAreOneLineAndStatusTwo) {
    expect_usage_error(parse({"run", "R.raw", "--mnc", "4"}), "--mnc: 4 is not");
    expect_usage_error(parse({"run", "R.raw", "--mnc", "-1"}), "--mnc: -1 is not");
    expect_usage_error(parse({"run", "R.raw", "--treatment", "fdp"}),
                       "--treatment: 'fdp' is not a treatment; use taco or both");
    expect_usage_error(parse({"run", "R.raw", "--engine", "turbo"}), "'turbo' is not an engine");
    expect_usage_error(parse({"--engine", "turbo"}), "'turbo' is not an engine");
    expect_usage_error(parse({"run", "R.raw", "--threads", "-2"}), "--threads: -2 is not");
    expect_usage_error(parse({"run"}), "RIVER is required");
    expect_usage_error(parse({"run", "R.raw", "S.raw"}), "S.raw");
    expect_usage_error(parse({"run", "R.raw", "--bogus"}), "--bogus");
    expect_usage_error(parse({"bogus"}), "bogus");
    expect_usage_error(parse({"--images"}), "--images");
}

TEST(CommandLine, DialogOptionsBeforeRunAreRefused) {
    expect_usage_error(parse({"--images", "/i", "run", "R.raw"}),
                       "--images before 'run' is an option of the dialog");
    expect_usage_error(parse({"--threads", "2", "run", "R.raw"}), "--threads before 'run'");
}

TEST(CommandLine, HelpAndVersionGoToStandardOutputWithStatusZero) {
    const Parsed help = parse({"--help"});
    EXPECT_EQ(help.cl.kind, CommandLine::Kind::Done);
    EXPECT_EQ(help.cl.status, 0);
    EXPECT_NE(help.out.find("--images"), std::string::npos);
    EXPECT_NE(help.out.find("run"), std::string::npos);

    const Parsed run_help = parse({"run", "--help"});
    EXPECT_EQ(run_help.cl.status, 0);
    for (const char* option :
         {"RIVER", "--window", "--regional", "--mnc", "--treatment", "--name", "--out", "--threads",
          "--engine", "--geotiff", "--preview", "--quiet"})
        EXPECT_NE(run_help.out.find(option), std::string::npos) << option;

    const Parsed version = parse({"--version"});
    EXPECT_EQ(version.cl.status, 0);
    EXPECT_EQ(version.out, version_text() + "\n");
    EXPECT_EQ(version.err, "");
}

TEST(CommandLine, VersionSaysWhetherGdalIsBuiltIn) {
    const std::string v = version_text();
    EXPECT_EQ(v.rfind("drainshape " DRAINSHAPE_VERSION "\n", 0), 0u) << v;
#if DRAINSHAPE_WITH_GDAL
    EXPECT_TRUE(have_gdal());
    EXPECT_NE(v.find("GDAL " + gdal_release()), std::string::npos) << v;
#else
    EXPECT_FALSE(have_gdal());
    EXPECT_NE(v.find("built without GDAL"), std::string::npos) << v;
#endif
}

}  // namespace
}  // namespace ds
