#include "app/run_job.h"

#include <new>
#include <optional>
#include <string_view>

#include "app/console.h"
#include "app/stop_signals.h"
#include "io/file_set.h"
#include "io/geotiff_writer.h"
#include "io/lecture.h"
#include "io/output_set.h"
#include "io/preview_writer.h"

namespace ds {

namespace {

// Hands every product to each receiver in turn.
class Receivers final : public ProductReceiver {
  public:
    void add(ProductReceiver& r) { all_.push_back(&r); }
    void image(const ImageProduct& p) override {
        for (ProductReceiver* r : all_)
            r->image(p);
    }
    void r2_table(const R2Product& p) override {
        for (ProductReceiver* r : all_)
            r->r2_table(p);
    }
    void taco_field(const RealGrid& dtab2) override {
        for (ProductReceiver* r : all_)
            r->taco_field(dtab2);
    }
    void fdp_fields(const SparseField& dtab, const SparseField& dtab_v2) override {
        for (ProductReceiver* r : all_)
            r->fdp_fields(dtab, dtab_v2);
    }

  private:
    std::vector<ProductReceiver*> all_;
};

ByteGrid load(const RunJob& job, const std::function<void(const std::string&)>& warn) {
    ByteGrid tab(job.river.river.nb_lig, job.river.river.nb_col);
    if (job.raw) {
        if (const auto warning = lecture(job.river_path, tab))
            warn(*warning);
        return tab;
    }
    try {
        read_network(job.river_path, tab);
    } catch (const RasterError& e) {
        throw FileError(job.river_path, "Cannot read file " + job.river_path + ": " + e.what());
    }
    return tab;
}

std::vector<std::pair<std::string, std::string>> report_parameters(const RunJob& job) {
    const RiverDescriptor& r = job.river.river;
    const AnalysisParameters& p = job.params;
    return {
        {"Program", program_version()},
        {"River", job.river_path},
        {"Lines x columns", std::to_string(r.nb_lig) + " x " + std::to_string(r.nb_col)},
        {"Pixel size", std::to_string(r.pix_size)},
        {"Treatment", p.both() ? "FD and TACO" : "TACO only"},
        {"Analysis window side", std::to_string(p.window)},
        {"Regional window side", std::to_string(p.regional)},
        {"Maximum number of confluents in a meander", std::to_string(p.mnc)},
        {"Engine", engine_name(p.engine)},
        {"Outputs", job.output_base + "_*"},
    };
}

}  // namespace

std::vector<std::string> job_suffixes(bool both, bool geotiff, bool preview) {
    std::vector<std::string> out = file_set_suffixes(both);
    if (geotiff)
        for (std::string& s : geotiff_suffixes(both))
            out.push_back(std::move(s));
    if (preview)
        for (std::string& s : preview_suffixes(both))
            out.push_back(std::move(s));
    return out;
}

AnalysisSummary run_job(const RunJob& job, Progress& progress,
                        const std::function<void(const std::string&)>& warn) {
    // Declared first, so that the temporary files are gone before a second signal can end the
    // process.
    const StopSignals signals;
    ByteGrid tab = load(job, warn);
    if (job.loaded)
        job.loaded(tab);
    OutputSet out(job.output_base);
    Receivers receivers;
    FileSetWriter files(out, job.river.river, job.params);
    GeoTiffWriter geotiffs(out, job.river, job.params);
    PreviewWriter previews(out);
    receivers.add(files);
    if (job.geotiff)
        receivers.add(geotiffs);
    if (job.preview)
        receivers.add(previews);
    if (job.also != nullptr)
        receivers.add(*job.also);
    const AnalysisSummary summary = analyse(tab, job.params, receivers, progress);
    if (job.preview)
        previews.write_report(job.name, report_parameters(job));
    if (progress.stop_requested())
        throw RunStopped();
    out.commit();
    return summary;
}

RunFailure run_failure(std::exception_ptr failure, const std::string& river) {
    using Kind = RunFailure::Kind;
    try {
        std::rethrow_exception(failure);
    } catch (const RunStopped&) {
        const int sig = StopSignals::received();
        return {Kind::Stopped, sig != 0 ? 128 + sig : kFailureStatus,
                std::string("stopped by ") + (sig != 0 ? signal_name(sig) : "request")};
    } catch (const FileError& e) {
        return {Kind::File, kFailureStatus, e.what()};
    } catch (const GridAllocError& e) {
        const std::string size = std::to_string(e.lines()) + " x " + std::to_string(e.columns());
        if (e.lines() > 0 && e.columns() > 0 && std::string_view(e.what()) == "not enough memory")
            return {Kind::Memory, kFailureStatus, "Not enough memory for a " + size + " grid"};
        return {Kind::Memory, kFailureStatus,
                "Cannot allocate a " + size + " grid for the raster of " + river + ": " + e.what()};
    } catch (const std::bad_alloc&) {
        return {Kind::Memory, kFailureStatus, "Not enough memory"};
    }
}

std::string failure_message(const RunFailure& f) {
    return f.cause + "; no output was written, earlier results are unchanged";
}

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

}  // namespace ds
