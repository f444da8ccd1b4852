// The ranks of a run as one team: every communication starts with an agreement in which each
// rank says whether it has failed, so that a rank that cannot read, allocate or write stops
// every rank at the next agreement instead of leaving them waiting for it.
#pragma once

#include <mpi.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "analysis/strip.h"
#include "drainshape/run.h"
#include "lib/values.h"

namespace ds {

// A failure that every rank has learnt of: the lowest failing rank and what stopped it.
class TeamFailure : public std::exception {
  public:
    TeamFailure(int rank, RunFailure failure) : rank_(rank), failure_(std::move(failure)) {}
    const char* what() const noexcept override { return failure_.cause.c_str(); }
    int rank() const { return rank_; }
    const RunFailure& failure() const { return failure_; }

  private:
    int rank_;
    RunFailure failure_;
};

// Rows of `row_bytes` bytes per message: at most 1 GiB, which every transport takes at once.
std::int64_t rows_per_message(std::int64_t row_bytes);

// What a rank that threw `failure` tells the others.
RunFailure failure_of(const std::exception_ptr& failure, const std::string& river);

class Team {
  public:
    // `river` names the raster in the messages about its grids.
    Team(MPI_Comm comm, std::string river);

    int rank() const { return rank_; }
    int size() const { return size_; }
    MPI_Comm comm() const { return comm_; }

    // Runs `work` (on every rank; it may do nothing on some), then agrees: when `work` threw on
    // any rank, every rank throws the TeamFailure of the lowest one. Otherwise returns every
    // rank's `need`, in rank order.
    std::vector<RowRange> checked(const std::function<void()>& work, RowRange need = {});
    // Agrees after a failure of this rank outside `checked`. Throws TeamFailure.
    [[noreturn]] void fail(const std::exception_ptr& failure);

    // `text` of rank `root`, on every rank.
    std::string broadcast(std::string text, int root);
    // Sums of `values` over the ranks, on rank 0 (the others keep theirs).
    void sum_on_root(std::int64_t* values, int n);
    // Each rank's `n` values, rank after rank, on rank 0 (empty elsewhere).
    std::vector<double> gather_on_root(const double* values, int n);

  private:
    std::vector<RowRange> agree(const RunFailure* failure, RowRange need);

    MPI_Comm comm_;
    int rank_ = 0;
    int size_ = 1;
    std::string river_;
};

// The strips of the ranks: rank k holds strip k of `team.size()`; halo rows go straight from
// their owner to every rank that reads them, however many strips lie between.
class MpiExchange final : public StripExchange {
  public:
    MpiExchange(Team& team, std::int64_t nb_lig, std::int64_t nb_col);
    ~MpiExchange() override;
    MpiExchange(const MpiExchange&) = delete;
    MpiExchange& operator=(const MpiExchange&) = delete;

    void share_rows(RealGrid& g, std::int64_t first, RowRange need) override;
    std::vector<RowPiece> share_packed(
        const std::function<std::vector<unsigned char>(RowRange)>& pack, RowRange need) override;
    double largest(double value) override;

  private:
    RowRange own(int rank) const;

    Team& team_;
    std::int64_t nb_lig_;
    MPI_Datatype row_type_;  // one row of cells, doubles or packed integers, sent as their bits
};

}  // namespace ds
