// Progress of the long stages of an analysis, and the way to stop one.
//
// The analysis reports each stage as it goes, always from the thread that called it, and asks
// stop_requested() between rows and between smoothing steps; when it says yes, the analysis
// throws RunStopped at once, leaving nothing handed out for the products not yet made.
#pragma once

#include <cstdint>
#include <exception>

namespace ds {

// Thrown by an analysis whose progress asked it to stop.
class RunStopped : public std::exception {
  public:
    const char* what() const noexcept override { return "the run was stopped"; }
};

class Progress {
  public:
    enum class Stage { FirstPass, FdpRegional1, FdpRegional2, Smoothing };
    enum class Product { Fdp, Taco };

    virtual ~Progress() = default;

    // A stage starts; it runs through `total` rows (passes) or steps (smoothing).
    virtual void begin(Stage stage, std::int64_t total) = 0;
    // Passes: row `line` - 1 starts (reported every 50 rows); `done` rows are finished.
    virtual void line(int line, std::int64_t done) = 0;
    // Smoothing: the step of window side `side` starts; `done` steps are finished.
    virtual void step(int side, std::int64_t done) = 0;
    // A stage is over. `items`: network pixels visited (first pass), pixels computed (regional
    // passes), steps run (smoothing).
    virtual void end(Stage stage, std::int64_t items) = 0;
    // The images and tables of a parameter are being made.
    virtual void saving(Product product) = 0;
    // Whether the run should stop now; asked after every row and every step.
    virtual bool stop_requested() { return false; }
};

// Reports nothing and never stops.
class NoProgress final : public Progress {
  public:
    void begin(Stage, std::int64_t) override {}
    void line(int, std::int64_t) override {}
    void step(int, std::int64_t) override {}
    void end(Stage, std::int64_t) override {}
    void saving(Product) override {}
};

}  // namespace ds
