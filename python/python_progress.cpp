#include "python_progress.h"

#include "drainshape/drainshape.h"

namespace py = pybind11;

namespace ds::python {

namespace {

// How often the signal handlers of Python are given a chance: often enough for Ctrl-C to stop a
// run at once, seldom enough that taking the GIL costs nothing.
constexpr std::chrono::milliseconds kSignalCheck{50};

}  // namespace

PythonProgress::PythonProgress(py::object callback, bool run_signals)
    : callback_(std::move(callback)), run_signals_(run_signals) {}

PythonProgress::~PythonProgress() {
    // The kept exception and the callback are Python objects.
    py::gil_scoped_acquire gil;
    error_ = nullptr;
    callback_ = py::object();
}

void PythonProgress::begin(Stage stage, std::int64_t total) {
    stage_ = stage;
    total_ = total;
    report(0);
}

void PythonProgress::line(int, std::int64_t done) {
    report(done);
}

void PythonProgress::step(int, std::int64_t done) {
    report(done);
}

void PythonProgress::end(Stage, std::int64_t) {
    report(total_);
}

void PythonProgress::report(std::int64_t done) {
    if (callback_.is_none())
        return;
    py::gil_scoped_acquire gil;
    try {
        callback_(stage_name(stage_), done, total_);
    } catch (py::error_already_set&) {
        error_ = std::current_exception();
        throw RunStopped();
    }
}

bool PythonProgress::stop_requested() {
    if (error_)
        return true;
    if (run_signals_)
        return StopSignals::received() != 0;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_check_ < kSignalCheck)
        return false;
    last_check_ = now;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0)
        return false;
    error_ = std::make_exception_ptr(py::error_already_set());
    return true;
}

void PythonProgress::rethrow() {
    if (error_) {
        const std::exception_ptr e = error_;
        error_ = nullptr;
        std::rethrow_exception(e);
    }
}

}  // namespace ds::python
