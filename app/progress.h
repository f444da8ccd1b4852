// How the front ends show the progress of a run.
//
// The dialog shows its fixed lines (DialogProgress); the command line shows a bar on a
// terminal, a line per stage otherwise, or nothing (RunProgress).
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

#include "analysis/progress.h"

namespace ds {

// The dialog's console lines, each flushed as it is written.
class DialogProgress final : public Progress {
  public:
    explicit DialogProgress(std::ostream& console) : console_(console) {}
    void begin(Stage stage, std::int64_t total) override;
    void line(int line, std::int64_t done) override;
    void step(int side, std::int64_t done) override;
    void end(Stage, std::int64_t) override {}
    void saving(Product product) override;
    bool stop_requested() override;

  private:
    void show(const char* text);
    std::ostream& console_;
};

// Progress of `drainshape run` on the error stream. Calls may come from several threads.
// Json: one object a line for programs that drive drainshape, e.g.
// {"stage":"first_pass","name":"first pass","done":50,"total":400}; the line that ends a stage
// adds "end":true and "items" (what end() counts).
class RunProgress final : public Progress {
  public:
    enum class Style { Bar, Lines, Json, Quiet };
    using Clock = std::chrono::steady_clock;

    RunProgress(std::ostream& err, Style style);
    void begin(Stage stage, std::int64_t total) override;
    void line(int line, std::int64_t done) override;
    void step(int side, std::int64_t done) override;
    void end(Stage stage, std::int64_t items) override;
    void saving(Product) override {}
    bool stop_requested() override;

    // Network pixels visited by the first pass.
    std::int64_t pixels() const { return pixels_; }
    // Seconds since construction.
    double elapsed() const;

    // One JSON line; `items` < 0 for a line that does not end the stage.
    static std::string json_line(Stage stage, std::int64_t done, std::int64_t total,
                                 std::int64_t items);
    // "[#####-----]  42%  0:12 elapsed  0:16 left" for `done` of `total` after `seconds`.
    static std::string bar_text(std::int64_t done, std::int64_t total, double seconds, int width);
    // m:ss, or h:mm:ss from one hour on.
    static std::string clock_text(double seconds);

  private:
    void advance(std::int64_t done);
    void draw(bool force, bool final);

    std::ostream& err_;
    Style style_;
    std::mutex mutex_;
    Clock::time_point start_;
    Clock::time_point stage_start_;
    Clock::time_point last_draw_;
    Stage stage_ = Stage::FirstPass;
    std::int64_t total_ = 0;
    std::int64_t done_ = 0;
    std::int64_t pixels_ = 0;
};

}  // namespace ds
