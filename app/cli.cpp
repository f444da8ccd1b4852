#include "app/cli.h"

#include <CLI/CLI.hpp>

#include <string_view>

#include "analysis/analysis.h"
#include "gis/module.h"

namespace ds {

namespace {

// The value of an option as CLI11 passes it to a check, as a whole number.
std::optional<int> whole(const std::string& text) {
    int v = 0;
    if (!CLI::detail::lexical_cast(text, v))
        return std::nullopt;
    return v;
}

// A CLI11 check that refuses what `problem` finds wrong.
CLI::Validator check_of(std::optional<std::string> (*problem)(const std::string&)) {
    return CLI::Validator(
        [problem](std::string& text) -> std::string { return problem(text).value_or(""); }, "");
}

std::optional<std::string> range_problem(const std::string& text, int lo, int hi,
                                         const char* what) {
    const auto v = whole(text);
    if (v && *v >= lo && *v <= hi)
        return std::nullopt;
    return text + " is not " + what;
}

std::optional<std::string> word_problem(const std::string& text, const char* a, const char* b,
                                        const char* what) {
    if (text == a || text == b)
        return std::nullopt;
    return "'" + text + "' is not " + what + "; use " + a + " or " + b;
}

void add_engine_options(CLI::App& app, std::string& engine, int& threads) {
    app.add_option("--engine", engine,
                   "fast (the default) or reference (the literal algorithms, much slower); both "
                   "write the same files")
        ->type_name("ENGINE")
        ->check(check_of(engine_problem));
    app.add_option("--threads", threads,
                   "worker threads of the fast engine (default 0: every core)")
        ->type_name("N")
        ->check(check_of(threads_problem));
}

}  // namespace

std::optional<std::string> side_problem(const std::string& text) {
    const auto v = whole(text);
    if (!v)
        return text + " is not a window side; the sides are " + menu_sides();
    return window_side_problem(*v);
}

std::optional<std::string> mnc_problem(const std::string& text) {
    return range_problem(text, 0, 3, "a number of confluents from 0 to 3");
}

std::optional<std::string> threads_problem(const std::string& text) {
    return range_problem(text, 0, 4096, "a number of threads (0 for every core, up to 4096)");
}

std::optional<std::string> treatment_problem(const std::string& text) {
    return word_problem(text, "taco", "both", "a treatment");
}

std::optional<std::string> engine_problem(const std::string& text) {
    return word_problem(text, "fast", "reference", "an engine");
}

Engine engine_of(const std::string& name) {
    return name == "reference" ? Engine::Reference : Engine::Fast;
}

namespace {

// The options of `drainshape run`, declared once for every command line that takes them, and
// the values CLI11 parses them into.
struct RunArgs {
    RunOptions r;
    std::string treatment = "both";
    std::string engine = "fast";
    std::string name;
    std::string out_dir;
    int pixel_size = 0;

    // The options as parsed on `cmd`.
    RunOptions options(const CLI::App& cmd) const {
        RunOptions o = r;
        o.both = treatment == "both";
        o.engine = engine_of(engine);
        if (cmd.count("--name") > 0)
            o.name = name;
        if (cmd.count("--out") > 0)
            o.out = out_dir;
        if (cmd.count("--pixel-size") > 0)
            o.pixel_size = pixel_size;
        return o;
    }
};

void add_run_options(CLI::App& run, RunArgs& a) {
    RunOptions& r = a.r;
    run.add_option("RIVER", r.river,
                   "R.raw with its descriptor R.txt beside it, or a GeoTIFF (any raster GDAL "
                   "reads: band 1, 1 = network)")
        ->required();
    run.add_option("--window", r.window, "side of the analysis window: " + menu_sides())
        ->type_name("SIDE")
        ->check(check_of(side_problem))
        ->default_str("13");
    run.add_option("--regional", r.regional, "side of the regional window, from the same sides")
        ->type_name("SIDE")
        ->check(check_of(side_problem))
        ->default_str("49");
    run.add_option("--mnc", r.mnc, "maximum number of confluents in a meander, 0 to 3")
        ->type_name("N")
        ->check(check_of(mnc_problem))
        ->default_str("1");
    run.add_option("--treatment", a.treatment, "taco (TACO alone, 6 files) or both (20 files)")
        ->type_name("taco|both")
        ->check(check_of(treatment_problem))
        ->default_str("both");
    run.add_option("--name", a.name, "generic output name (default: the river's name)")
        ->type_name("NAME");
    run.add_option("--out", a.out_dir, "output folder (default: the river's folder)")
        ->type_name("DIR");
    run.add_option("--pixel-size", a.pixel_size,
                   "pixel size written into the descriptors (default: the river's)")
        ->type_name("N")
        ->check(check_of([](const std::string& text) {
            return range_problem(text, 0, 2147483647, "a pixel size (a whole number from 0)");
        }));
    add_engine_options(run, a.engine, r.threads);
    run.add_flag("--geotiff", r.geotiff, "also write every image as <name><suffix>.tif");
    run.add_flag("--preview", r.preview, "also write a PNG of every image and <name>_report.html");
    run.add_flag("--quiet", r.quiet, "show no progress");
    run.add_option("--progress", r.progress,
                   "how to show the progress: bar, lines, or json (one object a line on the "
                   "error stream; default: a bar on a terminal, lines otherwise)")
        ->type_name("bar|lines|json")
        ->check(CLI::IsMember({"bar", "lines", "json"}));
}

// Parses `argv` with `app`; false, with the status in `cl`, after help, the version or an error
// (one line on `err` that starts with the program's name).
bool parsed(CLI::App& app, int argc, const char* const* argv, std::ostream& out, std::ostream& err,
            CommandLine& cl) {
    try {
        app.parse(argc, argv);
        return true;
    } catch (const CLI::Success& e) {
        cl.status = app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        if (dynamic_cast<const CLI::ValidationError*>(&e) == nullptr)
            message += " (see " + app.get_name() + " --help for the usage)";
        err << app.get_name() << ": " << message << "\n";
        cl.status = kUsageStatus;
    }
    return false;
}

}  // namespace

CommandLine parse_run_line(const std::string& program, const std::string& description,
                           const std::string& version, int argc, const char* const* argv,
                           std::ostream& out, std::ostream& err) {
    CLI::App app{description, program};
    app.set_version_flag("--version", version, "show the version");
    RunArgs run_args;
    add_run_options(app, run_args);
    CommandLine cl;
    if (!parsed(app, argc, argv, out, err, cl))
        return cl;
    cl.kind = CommandLine::Kind::Run;
    cl.run = run_args.options(app);
    return cl;
}

std::string version_text() {
    std::string text = "drainshape " DRAINSHAPE_VERSION;
    if (!have_gdal())
        text += "\nGeoTIFF input and output: not built in (built without GDAL)";
    else if (const std::string module = gis_module_path(); module.empty())
        text += "\nGeoTIFF input and output: GDAL " + gdal_release() + ", but its module " +
                kGisModuleFile + " is missing";
    else
        text += "\nGeoTIFF input and output: GDAL " + gdal_release() + ", loaded when used from " +
                module;
    return text;
}

CommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out,
                               std::ostream& err) {
    CLI::App app{
        "drainshape measures the shape of a river drainage network, pixel by pixel.\n"
        "Without a command it runs the console dialog; 'drainshape run RIVER' runs without it.",
        "drainshape"};
    app.set_version_flag("--version", version_text(),
                         "show the version and whether GDAL is built in");

    std::string images;
    std::string dialog_engine = "fast";
    int dialog_threads = 0;
    app.add_option("--images", images, "the directory under which the dialog's folders lie")
        ->type_name("DIR");
    add_engine_options(app, dialog_engine, dialog_threads);

    RunArgs run_args;
    CLI::App* run = app.add_subcommand("run", "analyse RIVER with the options given, no dialog");
    add_run_options(*run, run_args);
    CheckOptions check_options;
    CLI::App* check = add_check_subcommand(app, check_options);
    PrepareOptions prepare_options;
    CLI::App* prepare = add_prepare_subcommand(app, prepare_options);
    app.require_subcommand(0, 1);

    CommandLine cl;
    if (!parsed(app, argc, argv, out, err, cl))
        return cl;

    if (CLI::App* command = app.get_subcommands().empty() ? nullptr : app.get_subcommands()[0]) {
        for (const char* dialog_only : {"--images", "--engine", "--threads"}) {
            if (app.count(dialog_only) > 0) {
                err << "drainshape: " << dialog_only << " before '" << command->get_name()
                    << "' is an option of the dialog; give the " << command->get_name()
                    << "'s options after '" << command->get_name() << "'\n";
                cl.status = kUsageStatus;
                return cl;
            }
        }
    }
    if (check->parsed()) {
        cl.kind = CommandLine::Kind::Check;
        cl.check = std::move(check_options);
        return cl;
    }
    if (prepare->parsed()) {
        cl.kind = CommandLine::Kind::Prepare;
        cl.prepare = std::move(prepare_options);
        return cl;
    }
    if (run->parsed()) {
        cl.kind = CommandLine::Kind::Run;
        cl.run = run_args.options(*run);
        return cl;
    }
    cl.kind = CommandLine::Kind::Dialog;
    if (app.count("--images") > 0)
        cl.dialog.images = images;
    cl.dialog.engine = engine_of(dialog_engine);
    cl.dialog.threads = dialog_threads;
    return cl;
}

}  // namespace ds
