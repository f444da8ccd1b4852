#include "app/cli.h"

#include <CLI/CLI.hpp>

#include <string_view>

namespace ds {

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
    if (!parse_or_status(app, argc, argv, out, err, cl.status))
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
