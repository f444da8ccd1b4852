// drainshape: the console dialog, or `drainshape run`.
#include <cstdlib>
#include <iostream>

#include <unistd.h>

#include "app/cli.h"
#include "app/console.h"
#include "app/opening.h"
#include "app/parameters.h"
#include "app/progress.h"
#include "app/run_command.h"
#include "app/run_state.h"

namespace {

int run_dialog(const ds::DialogOptions& o) {
    ds::RunState s;
    s.params.engine = o.engine;
    s.params.threads = o.threads;
    s.images_root = ds::choose_images_root(o.images ? o.images->c_str() : nullptr,
                                           std::getenv("DRAINSHAPE_IMAGES"), std::getenv("HOME"));
    ds::Console con(std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) == 1);
    ds::DialogProgress progress(std::cout);
    return ds::run_guarded(std::cerr, ds::MessageStyle::Dialog, s.river_txt, [&] {
        ds::opening(s, con);
        ds::parameters(s, con);
        ds::RunJob job;
        job.river_path = s.river_raw;
        job.river = s.river;
        job.output_base = s.output_base;
        job.name = s.nomfic1;
        job.params = s.params;
        ds::run_job(job, progress, [](const std::string& warning) {
            std::cerr << "\n\t" << warning << "\n";
            std::cerr.flush();
        });
        std::cout.flush();
    });
}

}  // namespace

int main(int argc, char** argv) {
    const ds::CommandLine cl = ds::parse_command_line(argc, argv, std::cout, std::cerr);
    switch (cl.kind) {
        case ds::CommandLine::Kind::Dialog:
            return run_dialog(cl.dialog);
        case ds::CommandLine::Kind::Run:
            return ds::run_command(cl.run, std::cerr, isatty(STDERR_FILENO) == 1);
        case ds::CommandLine::Kind::Check:
            return ds::check_command(cl.check, std::cout, std::cerr);
        case ds::CommandLine::Kind::Prepare:
            return ds::prepare_command(cl.prepare, std::cout, std::cerr);
        case ds::CommandLine::Kind::Done:
            break;
    }
    return cl.status;
}
