// Progress of an analysis run from Python: the caller's callback with the GIL held, and the way
// Ctrl-C stops the computation.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <cstdint>
#include <exception>

#include "analysis/progress.h"

namespace ds::python {

// Runs on the thread that called the analysis, which holds no GIL meanwhile. A Python exception,
// raised by the callback or by a signal handler (KeyboardInterrupt), is kept and stops the run;
// rethrow() raises it once the GIL is back.
class PythonProgress final : public Progress {
  public:
    // `callback`: None, or called as callback(stage, done, total). `run_signals`: the run is one
    // of run_job, whose own handlers note SIGINT and SIGTERM meanwhile.
    PythonProgress(pybind11::object callback, bool run_signals);
    ~PythonProgress() override;
    PythonProgress(const PythonProgress&) = delete;
    PythonProgress& operator=(const PythonProgress&) = delete;

    void begin(Stage stage, std::int64_t total) override;
    void line(int line, std::int64_t done) override;
    void step(int side, std::int64_t done) override;
    void end(Stage stage, std::int64_t items) override;
    void saving(Product) override {}
    bool stop_requested() override;

    // With the GIL held: raises the Python exception that stopped the run, if one did.
    void rethrow();

  private:
    void report(std::int64_t done);

    pybind11::object callback_;
    bool run_signals_;
    Stage stage_ = Stage::FirstPass;
    std::int64_t total_ = 0;
    std::exception_ptr error_;  // a pybind11::error_already_set
    std::chrono::steady_clock::time_point last_check_{};
};

}  // namespace ds::python
