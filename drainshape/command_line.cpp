#include "drainshape/command_line.h"

#include <CLI/CLI.hpp>

#include "drainshape/options.h"

namespace ds {

namespace {

// A CLI11 check that refuses what `problem` finds wrong.
CLI::Validator check_of(std::optional<std::string> (*problem)(const std::string&)) {
    return CLI::Validator(
        [problem](std::string& text) -> std::string { return problem(text).value_or(""); }, "");
}

}  // namespace

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

RunOptions RunArgs::options(const CLI::App& cmd) const {
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
        ->check(check_of(pixel_size_problem));
    add_engine_options(run, a.engine, r.threads);
    run.add_flag("--geotiff", r.geotiff, "also write every image as <name><suffix>.tif");
    run.add_flag("--preview", r.preview, "also write a PNG of every image and <name>_report.html");
    run.add_flag(
        "--layers", r.layers,
        "also write the real-valued layers as Cloud-Optimized GeoTIFF, <name>_<LAYER>.tif");
    run.add_flag("--segments", r.segments,
                 "also write the network as segments and drainage systems, <name>_network.gpkg");
    run.add_option("--directions", r.directions,
                   "D8 flow directions on the river's grid (ESRI codes, as prepare --from-dem "
                   "--keep-intermediate writes them) that orient the segments")
        ->type_name("D8.tif");
    run.add_flag("--quiet", r.quiet, "show no progress");
    run.add_option("--progress", r.progress,
                   "how to show the progress: bar, lines, or json (one object a line on the "
                   "error stream; default: a bar on a terminal, lines otherwise)")
        ->type_name("bar|lines|json")
        ->check(CLI::IsMember({"bar", "lines", "json"}));
}

bool parse_or_status(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                     std::ostream& err, int& status) {
    try {
        app.parse(argc, argv);
        return true;
    } catch (const CLI::Success& e) {
        status = app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        if (dynamic_cast<const CLI::ValidationError*>(&e) == nullptr)
            message += " (see " + app.get_name() + " --help for the usage)";
        err << app.get_name() << ": " << message << "\n";
        status = kUsageStatus;
    }
    return false;
}

RunLine parse_run_line(const std::string& program, const std::string& description,
                       const std::string& version, int argc, const char* const* argv,
                       std::ostream& out, std::ostream& err) {
    CLI::App app{description, program};
    app.set_version_flag("--version", version, "show the version");
    RunArgs run_args;
    add_run_options(app, run_args);
    RunLine line;
    if (!parse_or_status(app, argc, argv, out, err, line.status))
        return line;
    line.run = true;
    line.options = run_args.options(app);
    return line;
}

}  // namespace ds
