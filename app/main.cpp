// drainshape: the console dialog and the four stages of a run.
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

#include "app/console.h"
#include "app/lecture.h"
#include "app/opening.h"
#include "app/out_file.h"
#include "app/parameters.h"
#include "app/run_state.h"
#include "app/treatment.h"
#include "lib/grid.h"

namespace {

constexpr int kFailureStatus = 1;
constexpr int kUsageStatus = 2;

struct CommandLine {
    std::optional<std::string> images;  // --images DIR
};

std::optional<CommandLine> parse_command_line(int argc, char** argv) {
    CommandLine cl;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--images" && k + 1 < argc && !cl.images) {
            cl.images = argv[++k];
        } else {
            return std::nullopt;
        }
    }
    return cl;
}

// The files left open by the stages (the regional FDP images among them) are closed last, each
// close checked so that a lost write does not end as a success.
void close_all(ds::FileSet& fs) {
    for (ds::OutFile* f : {&fs.f2,  &fs.f2d, &fs.f2x, &fs.f3,  &fs.f3d,  &fs.f3x, &fs.f4,
                           &fs.f4d, &fs.f4x, &fs.f5,  &fs.f5d, &fs.f5x,  &fs.f6,  &fs.f6d,
                           &fs.f6x, &fs.f7,  &fs.f7d, &fs.f7x, &fs.f_0x, &fs.f_1x})
        f->close();
}

void report_incomplete(const ds::FileSet& fs) {
    for (const std::string& path : fs.unfinished())
        std::cerr << "\tincomplete: " << path << "\n";
}

int run_dialog(const CommandLine& cl) {
    ds::RunState s;
    s.images_root = ds::choose_images_root(cl.images ? cl.images->c_str() : nullptr,
                                           std::getenv("DRAINSHAPE_IMAGES"), std::getenv("HOME"));
    ds::Console con(std::cin, std::cout, std::cerr, isatty(STDIN_FILENO) == 1);
    try {
        ds::opening(s, con);
        ds::parameters(s, con);
        ds::lecture(s, std::cerr);
        ds::treatment(s, std::cout);
        close_all(s.files);
        std::cout.flush();
        return 0;
    } catch (const ds::RunExit& e) {
        if (e.status() != 0)
            report_incomplete(s.files);
        return e.status();
    } catch (const ds::FileError& e) {
        std::cerr << "\n\t" << e.what() << "\n";
        report_incomplete(s.files);
    } catch (const ds::GridAllocError& e) {
        if (e.lines() > 0 && e.columns() > 0 && std::string_view(e.what()) == "not enough memory")
            std::cerr << "\n\tNot enough memory for a " << e.lines() << " x " << e.columns()
                      << " grid\n";
        else
            std::cerr << "\n\tCannot allocate a " << e.lines() << " x " << e.columns()
                      << " grid for the raster of " << s.river_txt << ": " << e.what() << "\n";
        report_incomplete(s.files);
    } catch (const std::bad_alloc&) {
        std::cerr << "\n\tNot enough memory\n";
        report_incomplete(s.files);
    }
    return kFailureStatus;
}

}  // namespace

int main(int argc, char** argv) {
    const auto cl = parse_command_line(argc, argv);
    if (!cl) {
        std::cerr << "usage: drainshape [--images DIR]\n";
        return kUsageStatus;
    }
    return run_dialog(*cl);
}
