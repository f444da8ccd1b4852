#include "mpi/job.h"

#include <sched.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "analysis/strip.h"
#include "io/raster_limits.h"

namespace ds {

namespace {

class Writer {
  public:
    template <class T>
    void put(const T& v) {
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    void put(const std::string& s) {
        put(static_cast<std::uint64_t>(s.size()));
        bytes += s;
    }
    std::string bytes;
};

class Reader {
  public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    template <class T>
    void get(T& v) {
        need(sizeof v);
        std::memcpy(&v, bytes_.data() + at_, sizeof v);
        at_ += sizeof v;
    }
    void get(std::string& s) {
        std::uint64_t n = 0;
        get(n);
        need(n);
        s.assign(bytes_, at_, n);
        at_ += n;
    }

  private:
    void need(std::size_t n) const {
        if (bytes_.size() - at_ < n)
            throw std::invalid_argument("a job packed short");
    }
    const std::string& bytes_;
    std::size_t at_ = 0;
};

// Every field of a job, in one order for both directions.
template <class Io>
void fields(Io& io, RunJob& job) {
    io(job.river_path);
    io(job.raw);
    RiverDescriptor& d = job.river;
    for (int* v : {&d.nb_lig, &d.nb_col, &d.val, &d.mind, &d.maxd, &d.pix_size, &d.read})
        io(*v);
    bool georeferenced = job.geo.transform.has_value();
    io(georeferenced);
    if (georeferenced) {
        if (!job.geo.transform)
            job.geo.transform.emplace();
        for (double& v : *job.geo.transform)
            io(v);
    }
    io(job.geo.projection);
    io(job.output_base);
    io(job.name);
    AnalysisParameters& p = job.params;
    for (int* v : {&p.window, &p.regional, &p.mnc, &p.threads})
        io(*v);
    io(p.engine);
    io(p.treatment);
    io(p.fields);
    io(p.regional_fields);
    io(job.geotiff);
    io(job.preview);
    io(job.layers);
}

}  // namespace

std::string pack_job(const RunJob& job) {
    Writer w;
    RunJob copy = job;
    auto io = [&w](auto& v) { w.put(v); };
    fields(io, copy);
    return w.bytes;
}

RunJob unpack_job(const std::string& bytes) {
    Reader r(bytes);
    RunJob job;
    auto io = [&r](auto& v) { r.get(v); };
    fields(io, job);
    return job;
}

std::optional<std::string> strips_problem(const RiverDescriptor& river, const AnalysisParameters& p,
                                          int ranks, int local_ranks, std::uint64_t memory) {
    if (auto problem = raster_size_problem(river.nb_lig, river.nb_col, 1, 0))
        return problem;
    if (river.nb_lig < ranks)
        return "each of the " + std::to_string(ranks) +
               " ranks needs one line at least; run with at most " + std::to_string(river.nb_lig) +
               " ranks";
    std::int64_t most = 0;
    for (int k = 0; k < ranks; ++k)
        most = std::max(
            most,
            strip_grid_bytes({river.nb_lig, river.nb_col, strip_rows(river.nb_lig, k, ranks)}, p));
    const auto needed = static_cast<std::uint64_t>(most) * static_cast<std::uint64_t>(local_ranks);
    if (memory > 0 && needed > memory) {
        constexpr std::uint64_t kMiB = 1024 * 1024;
        return "the grids of one rank need " +
               std::to_string((static_cast<std::uint64_t>(most) + kMiB - 1) / kMiB) + " MiB, " +
               std::to_string(local_ranks) + " ranks on this machine " +
               std::to_string((needed + kMiB - 1) / kMiB) + " MiB, and it has " +
               std::to_string(memory / kMiB) + " MiB";
    }
    return std::nullopt;
}

int rank_threads(int requested, int local_ranks) {
    if (requested > 0)
        return requested;
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) < cores)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1, cores / std::max(1, local_ranks));
}

}  // namespace ds
