// drainshape-mpi: `drainshape run` shared by the ranks of an MPI job, each analysing one strip of
// rows of the river, with the same files as a single process.
#include <mpi.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>

#include "drainshape/drainshape.h"
#include "gis/geotiff.h"
#include "io/file_set.h"
#include "io/lecture.h"
#include "io/output_set.h"
#include "io/raster_limits.h"
#include "mpi/job.h"
#include "mpi/strip_files.h"
#include "mpi/team.h"
#include "network/summary.h"

namespace ds {

namespace {

constexpr const char* kProgram = "drainshape-mpi";

// Rank 0's stages, one line each, and the signals that stop a rank.
class RankProgress final : public Progress {
  public:
    using Clock = std::chrono::steady_clock;

    // `err` is null on every rank that shows nothing.
    RankProgress(std::ostream* err, int ranks) : err_(err), ranks_(ranks) {}

    void begin(Stage, std::int64_t) override { stage_start_ = Clock::now(); }
    void line(int, std::int64_t) override {}
    void step(int, std::int64_t) override {}
    void end(Stage stage, std::int64_t items) override {
        if (err_ == nullptr)
            return;
        const double seconds = std::chrono::duration<double>(Clock::now() - stage_start_).count();
        char text[160];
        if (stage == Stage::FirstPass)
            std::snprintf(text, sizeof text, "%s: %lld network pixels of rank 0 in %.1f s",
                          stage_name(stage), static_cast<long long>(items), seconds);
        else
            std::snprintf(text, sizeof text, "%s: rank 0 in %.1f s", stage_name(stage), seconds);
        *err_ << text << " (" << ranks_ << " ranks)\n";
        err_->flush();
    }
    void saving(Product) override {}
    bool stop_requested() override { return StopSignals::received() != 0; }

    double elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

  private:
    std::ostream* err_;
    int ranks_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point stage_start_ = start_;
};

// Ranks that share this rank's machine.
int ranks_on_this_machine() {
    MPI_Comm local;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &local);
    int n = 1;
    MPI_Comm_size(local, &n);
    MPI_Comm_free(&local);
    return n;
}

// Rank 0 checks the options as `drainshape run` does, with the memory of one rank, and sends
// the job to every rank. Returns 0, or the usage status on every rank.
int checked_job(Team& team, const RunOptions& o, RunJob& job) {
    const int local_ranks = ranks_on_this_machine();
    std::string packed;
    int status = 0;
    if (team.rank() == 0) {
        try {
            if (o.preview)
                throw UsageError(
                    "--preview is not available here: the pictures and the report need every "
                    "image whole in one process; run drainshape run --preview for them");
            if (o.segments)
                throw UsageError(
                    "--segments is not available here: the segments follow the network across "
                    "the whole raster in one process; run drainshape run --segments for them");
            job = check_run(o, [&](const RiverDescriptor& d, const AnalysisParameters& p) {
                return strips_problem(d, p, team.size(), local_ranks, usable_memory());
            });
            packed = pack_job(job);
        } catch (const UsageError& e) {
            std::cerr << kProgram << ": " << e.what() << "\n";
            status = kUsageStatus;
        }
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (status != 0)
        return status;
    job = unpack_job(team.broadcast(packed, 0));
    job.params.threads = rank_threads(job.params.threads, local_ranks);
    return 0;
}

// Reads rows of the river; `redundant` gets the redundant pixels of the rows of `own` that a read
// holds with both their neighbouring rows (the strip's rows are read with a halo).
RowReader river_reader(const RunJob& job, RowRange own, std::int64_t& redundant) {
    return [&job, own, &redundant](RowRange rows, ByteGrid& tab) {
        if (job.raw) {
            read_raster_rows(job.river_path, rows, tab);
        } else {
            try {
                read_network_rows(job.river_path, job.river.nb_lig, rows, tab);
            } catch (const RasterError& e) {
                throw FileError(job.river_path,
                                "Cannot read file " + job.river_path + ": " + e.what());
            }
        }
        const std::int64_t nb_lig = job.river.nb_lig;
        const RowRange checked = common_rows(own, {rows.begin == 0 ? 0 : rows.begin + 1,
                                                   rows.end == nb_lig ? nb_lig : rows.end - 1});
        redundant = count_redundant(tab, checked.from(rows.begin));
    };
}

// Analyses the job's river on every rank and puts the outputs in place. Returns the exit
// status, the same on every rank.
int run(Team& team, const RunJob& job, bool quiet, bool degrees) {
    const StopSignals signals;
    const bool root = team.rank() == 0;
    RankProgress progress(root && !quiet ? &std::cerr : nullptr, team.size());
    const RiverDescriptor& d = job.river;
    const StripPlan plan{d.nb_lig, d.nb_col, strip_rows(d.nb_lig, team.rank(), team.size())};
    try {
        std::unique_ptr<OutputSet> out;
        team.checked([&] {
            if (!root)
                return;
            out = std::make_unique<OutputSet>(job.output_base);
            if (const auto warning = degrees_warning(degrees))
                std::cerr << kProgram << ": " << *warning << "\n";
            if (job.raw)
                if (const auto warning = raster_length_warning(raster_file_bytes(job.river_path),
                                                               d.nb_lig * std::int64_t{d.nb_col}))
                    std::cerr << kProgram << ": " << *warning << "\n";
        });
        StripFiles files(team, out.get(), job);
        MpiExchange exchange(team, d.nb_lig, d.nb_col);
        std::int64_t counts[2] = {0, 0};  // processed and redundant pixels
        try {
            counts[0] = analyse_strip(plan, job.params, river_reader(job, plan.own, counts[1]),
                                      exchange, files, progress)
                            .processed;
        } catch (const TeamFailure&) {
            throw;
        } catch (...) {
            team.fail(std::current_exception());
        }
        team.checked([] {});
        team.checked([&] {
            if (root)
                files.join_layers();
        });
        team.sum_on_root(counts, 2);
        const std::int64_t processed = counts[0];
        if (root)
            if (const auto warning = thick_network_warning(counts[1]))
                std::cerr << kProgram << ": " << *warning << "\n";
        team.checked([&] {
            if (root)
                out->commit();
        });
        if (root && !quiet) {
            char text[160];
            std::snprintf(text, sizeof text, "%lld network pixels in %.1f s on %d ranks",
                          static_cast<long long>(processed), progress.elapsed(), team.size());
            std::cerr << kProgram << ": " << file_set_suffixes(job.params.both()).size() << " files"
                      << (job.geotiff ? " and their GeoTIFF images" : "")
                      << (job.layers ? ", " + std::to_string(layers_of(job.params.both()).size()) +
                                           " layers"
                                     : std::string())
                      << " written to " << job.output_base << "_*; " << text << "\n";
        }
        return 0;
    } catch (const TeamFailure& f) {
        if (root)
            std::cerr << kProgram << ": rank " << f.rank() << ": " << failure_message(f.failure())
                      << "\n";
        return f.failure().status;
    }
}

int main_of_rank(int argc, char** argv) {
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    std::ostringstream silent;
    std::ostream& out = rank == 0 ? std::cout : silent;
    std::ostream& err = rank == 0 ? std::cerr : silent;
    const RunLine line = parse_run_line(
        kProgram,
        "drainshape-mpi analyses a river network as 'drainshape run' does, shared by the ranks "
        "of an MPI job\n(mpirun -np N drainshape-mpi RIVER [options]): each rank reads and "
        "computes one strip of rows,\nand the files are byte for byte those of 'drainshape run'.",
        version_text() + "\nMPI: " +
            [] {
                char version[MPI_MAX_LIBRARY_VERSION_STRING];
                int n = 0;
                MPI_Get_library_version(version, &n);
                std::string text(version, static_cast<std::size_t>(n));
                return text.substr(0, text.find_first_of(",\n"));
            }(),
        argc, argv, out, err);
    if (!line.run)
        return line.status;
    Team team(MPI_COMM_WORLD, line.options.river);
    RunJob job;
    if (const int status = checked_job(team, line.options, job); status != 0)
        return status;
    const bool degrees = team.rank() == 0 && pixel_size_in_degrees(line.options, job);
    return run(team, job, line.options.quiet, degrees);
}

}  // namespace

}  // namespace ds

int main(int argc, char** argv) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    const int status = ds::main_of_rank(argc, argv);
    MPI_Finalize();
    return status;
}
