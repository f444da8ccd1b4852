#include "mpi/team.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace ds {

std::int64_t rows_per_message(std::int64_t row_bytes) {
    return std::max<std::int64_t>(1,
                                  (std::int64_t{1} << 30) / std::max<std::int64_t>(row_bytes, 1));
}

RunFailure failure_of(const std::exception_ptr& failure, const std::string& river) {
    try {
        return run_failure(failure, river);
    } catch (const std::exception& e) {
        return {RunFailure::Kind::File, kFailureStatus, e.what()};
    } catch (...) {
        return {RunFailure::Kind::File, kFailureStatus, "unknown failure"};
    }
}

Team::Team(MPI_Comm comm, std::string river) : comm_(comm), river_(std::move(river)) {
    MPI_Comm_rank(comm_, &rank_);
    MPI_Comm_size(comm_, &size_);
}

std::vector<RowRange> Team::agree(const RunFailure* failure, RowRange need) {
    // Per rank: its exit status (0: no failure), the kind of failure, the rows it needs.
    const std::int64_t mine[4] = {failure != nullptr ? failure->status : 0,
                                  failure != nullptr ? static_cast<std::int64_t>(failure->kind) : 0,
                                  need.begin, need.end};
    std::vector<std::int64_t> all(static_cast<std::size_t>(4 * size_));
    MPI_Allgather(mine, 4, MPI_INT64_T, all.data(), 4, MPI_INT64_T, comm_);
    std::vector<RowRange> needs;
    for (int q = 0; q < size_; ++q) {
        const std::int64_t* r = all.data() + 4 * q;
        if (r[0] != 0)
            throw TeamFailure(q, {static_cast<RunFailure::Kind>(r[1]), static_cast<int>(r[0]),
                                  broadcast(failure != nullptr ? failure->cause : "", q)});
        needs.push_back({r[2], r[3]});
    }
    return needs;
}

std::vector<RowRange> Team::checked(const std::function<void()>& work, RowRange need) {
    try {
        work();
    } catch (...) {
        fail(std::current_exception());
    }
    return agree(nullptr, need);
}

void Team::fail(const std::exception_ptr& failure) {
    RunFailure f = failure_of(failure, river_);
    if (f.status == 0)
        f.status = kFailureStatus;
    agree(&f, {});
    throw std::logic_error("a failure went unnoticed");
}

std::string Team::broadcast(std::string text, int root) {
    std::int64_t n = static_cast<std::int64_t>(text.size());
    MPI_Bcast(&n, 1, MPI_INT64_T, root, comm_);
    text.resize(static_cast<std::size_t>(n));
    MPI_Bcast(text.data(), static_cast<int>(n), MPI_CHAR, root, comm_);
    return text;
}

void Team::sum_on_root(std::int64_t* values, int n) {
    if (rank_ == 0)
        MPI_Reduce(MPI_IN_PLACE, values, n, MPI_INT64_T, MPI_SUM, 0, comm_);
    else
        MPI_Reduce(values, nullptr, n, MPI_INT64_T, MPI_SUM, 0, comm_);
}

std::vector<double> Team::gather_on_root(const double* values, int n) {
    std::vector<double> all(rank_ == 0 ? static_cast<std::size_t>(n * size_) : 0);
    MPI_Gather(values, n, MPI_DOUBLE, all.data(), n, MPI_DOUBLE, 0, comm_);
    return all;
}

MpiExchange::MpiExchange(Team& team, std::int64_t nb_lig, std::int64_t nb_col)
    : team_(team), nb_lig_(nb_lig) {
    if (nb_col > INT_MAX)
        throw std::invalid_argument("rows too wide to exchange");
    MPI_Type_contiguous(static_cast<int>(nb_col), MPI_UINT64_T, &row_type_);
    MPI_Type_commit(&row_type_);
}

MpiExchange::~MpiExchange() {
    MPI_Type_free(&row_type_);
}

RowRange MpiExchange::own(int rank) const {
    return strip_rows(nb_lig_, rank, team_.size());
}

void MpiExchange::share_rows(RealGrid& g, std::int64_t first, RowRange need) {
    const std::vector<RowRange> needs = team_.checked([] {}, need);
    const int me = team_.rank();
    const RowRange mine = own(me);
    const std::int64_t chunk =
        rows_per_message(g.cols() * static_cast<std::int64_t>(sizeof(double)));
    std::vector<MPI_Request> requests;
    // Pieces of `rows` in order: a rank's messages to another arrive in the order sent.
    const auto post = [&](RowRange rows, int q, bool receive) {
        for (std::int64_t r = rows.begin; r < rows.end; r += chunk) {
            const int n = static_cast<int>(std::min(chunk, rows.end - r));
            double* at = g.row(r - first).data();
            requests.emplace_back();
            if (receive)
                MPI_Irecv(at, n, row_type_, q, 0, team_.comm(), &requests.back());
            else
                MPI_Isend(at, n, row_type_, q, 0, team_.comm(), &requests.back());
        }
    };
    for (int q = 0; q < team_.size(); ++q) {
        if (q == me)
            continue;
        post(common_rows(need, own(q)), q, true);
        post(common_rows(needs[static_cast<std::size_t>(q)], mine), q, false);
    }
    MPI_Waitall(static_cast<int>(requests.size()), requests.data(), MPI_STATUSES_IGNORE);
}

std::vector<RowPiece> MpiExchange::share_packed(
    const std::function<std::vector<unsigned char>(RowRange)>& pack, RowRange need) {
    const int me = team_.rank();
    const auto n = static_cast<std::size_t>(team_.size());
    const RowRange mine = own(me);
    const std::vector<RowRange> needs = team_.checked([] {}, need);

    // What goes to each rank, and how much of it.
    std::vector<std::vector<unsigned char>> out(n);
    std::vector<std::int64_t> out_bytes(n, 0), in_bytes(n, 0);
    team_.checked([&] {
        for (std::size_t q = 0; q < n; ++q) {
            const RowRange rows = common_rows(needs[q], mine);
            if (static_cast<int>(q) != me && !rows.empty()) {
                out[q] = pack(rows);
                out_bytes[q] = static_cast<std::int64_t>(out[q].size());
                if (out_bytes[q] > INT_MAX)
                    throw std::length_error("a piece of rows too large to send");
            }
        }
    });
    MPI_Alltoall(out_bytes.data(), 1, MPI_INT64_T, in_bytes.data(), 1, MPI_INT64_T, team_.comm());

    std::vector<RowPiece> pieces;
    team_.checked([&] {
        for (std::size_t q = 0; q < n; ++q) {
            const RowRange rows = common_rows(need, own(static_cast<int>(q)));
            if (static_cast<int>(q) != me && !rows.empty())
                pieces.push_back(
                    {rows, std::vector<unsigned char>(static_cast<std::size_t>(in_bytes[q]))});
        }
    });
    std::vector<MPI_Request> requests;
    std::size_t k = 0;
    for (std::size_t q = 0; q < n; ++q) {
        if (static_cast<int>(q) == me)
            continue;
        if (!common_rows(need, own(static_cast<int>(q))).empty()) {
            RowPiece& piece = pieces[k++];
            requests.emplace_back();
            MPI_Irecv(piece.bytes.data(), static_cast<int>(piece.bytes.size()), MPI_BYTE,
                      static_cast<int>(q), 1, team_.comm(), &requests.back());
        }
        if (!out[q].empty() || !common_rows(needs[q], mine).empty()) {
            requests.emplace_back();
            MPI_Isend(out[q].data(), static_cast<int>(out[q].size()), MPI_BYTE, static_cast<int>(q),
                      1, team_.comm(), &requests.back());
        }
    }
    MPI_Waitall(static_cast<int>(requests.size()), requests.data(), MPI_STATUSES_IGNORE);
    return pieces;
}

double MpiExchange::largest(double value) {
    team_.checked([] {});
    double all = 0.0;
    MPI_Allreduce(&value, &all, 1, MPI_DOUBLE, MPI_MAX, team_.comm());
    return all;
}

}  // namespace ds
