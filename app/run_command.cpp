#include "app/run_command.h"

#include <cstdio>

#include "app/console.h"
#include "app/progress.h"
#include "analysis/layers.h"
#include "io/file_set.h"
#include "network/summary.h"

namespace ds {

namespace {

std::string summary(const RunOptions& o, const RunJob& job, const RunProgress& progress) {
    const std::size_t images = products_of(o.both, true).size();
    std::string written = std::to_string(file_set_suffixes(o.both).size()) + " files";
    if (o.geotiff)
        written += ", " + std::to_string(images) + " GeoTIFF";
    if (o.preview)
        written += ", " + std::to_string(images) + " PNG and a report";
    if (o.layers)
        written += ", " + std::to_string(layers_of(o.both).size()) + " layers";
    if (o.segments)
        written += ", a GeoPackage of segments";
    char buf[128];
    std::snprintf(buf, sizeof buf, "%lld network pixels in %.1f s",
                  static_cast<long long>(progress.pixels()), progress.elapsed());
    return "drainshape: " + written + " written to " + job.output_base + "_*; " + buf + "\n";
}

}  // namespace

int run_guarded(std::ostream& err, MessageStyle style, const std::string& river,
                const std::function<void()>& body) {
    try {
        body();
        return 0;
    } catch (const RunExit& e) {
        return e.status();
    } catch (...) {
        const RunFailure f = run_failure(std::current_exception(), river);
        err << (style == MessageStyle::Dialog ? "\n\t" : "drainshape: ") << failure_message(f)
            << "\n";
        err.flush();
        return f.status;
    }
}

int run_command(const RunOptions& o, std::ostream& err, bool err_is_terminal) {
    RunJob job;
    try {
        job = check_run(o);
    } catch (const UsageError& e) {
        err << "drainshape: " << e.what() << "\n";
        return kUsageStatus;
    }

    const auto style = o.quiet                 ? RunProgress::Style::Quiet
                       : o.progress == "json"  ? RunProgress::Style::Json
                       : o.progress == "lines" ? RunProgress::Style::Lines
                       : o.progress == "bar" || (o.progress.empty() && err_is_terminal)
                           ? RunProgress::Style::Bar
                           : RunProgress::Style::Lines;
    RunProgress progress(err, style);
    const bool degrees = pixel_size_in_degrees(o, job);
    job.loaded = [&err, degrees](const ByteGrid& tab) {
        for (const auto& warning :
             {thick_network_warning(count_redundant(tab)), degrees_warning(degrees)})
            if (warning)
                err << "drainshape: " << *warning << "\n";
    };
    const int status = run_guarded(err, MessageStyle::Command, job.river_path, [&] {
        run_job(job, progress,
                [&err](const std::string& warning) { err << "drainshape: " << warning << "\n"; });
    });
    if (status == 0 && !o.quiet)
        err << summary(o, job, progress);
    return status;
}

}  // namespace ds
