#include "app/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "drainshape/options.h"
#include "drainshape/stop_signals.h"

namespace ds {

void DialogProgress::show(const char* text) {
    console_ << text << std::flush;
}

void DialogProgress::begin(Stage stage, std::int64_t) {
    switch (stage) {
        case Stage::FirstPass:
            show("\n\tFirst Calculation\n\n");
            break;
        case Stage::FdpRegional1:
            show("\n\tRegional calculation of first type\n");
            break;
        case Stage::FdpRegional2:
            show("\n\n\tRegional calculation of second type \n");
            break;
        case Stage::Smoothing:
            show("n");
            break;
    }
}

void DialogProgress::line(int line, std::int64_t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "\t\tline %d               \r ", line);
    show(buf);
}

void DialogProgress::step(int side, std::int64_t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "\t\tStep = %d           \r", side);
    show(buf);
}

bool DialogProgress::stop_requested() {
    return StopSignals::received() != 0;
}

bool RunProgress::stop_requested() {
    return StopSignals::received() != 0;
}

void DialogProgress::saving(Product product) {
    show(product == Product::Fdp ? "\n\n\tSaving Fractal Dimension\n"
                                 : "\n\n\tSaving TACO Parameter\n");
}

namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

double seconds_between(RunProgress::Clock::time_point a, RunProgress::Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

}  // namespace

RunProgress::RunProgress(std::ostream& err, Style style)
    : err_(err), style_(style), start_(Clock::now()), stage_start_(start_), last_draw_(start_) {}

double RunProgress::elapsed() const {
    return seconds_between(start_, Clock::now());
}

std::string RunProgress::json_line(Stage stage, std::int64_t done, std::int64_t total,
                                   std::int64_t items) {
    char buf[192];
    std::snprintf(buf, sizeof buf, "{\"stage\":\"%s\",\"name\":\"%s\",\"done\":%lld,\"total\":%lld",
                  ds::stage_key(stage), ds::stage_name(stage), static_cast<long long>(done),
                  static_cast<long long>(total));
    std::string text = buf;
    if (items >= 0)
        text += ",\"end\":true,\"items\":" + std::to_string(items);
    return text + "}\n";
}

std::string RunProgress::clock_text(double seconds) {
    const long s = std::lround(std::max(0.0, seconds));
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

std::string RunProgress::bar_text(std::int64_t done, std::int64_t total, double seconds,
                                  int width) {
    const double fraction =
        total > 0 ? std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0)
                  : 1.0;
    const int filled = static_cast<int>(fraction * width);
    std::string text(1, '[');
    text.append(static_cast<std::size_t>(filled), '#');
    text.append(static_cast<std::size_t>(width - filled), '-');
    text += ']';
    char buf[96];
    std::snprintf(buf, sizeof buf, " %3d%%  %s elapsed", static_cast<int>(fraction * 100),
                  clock_text(seconds).c_str());
    text += buf;
    if (fraction >= 1.0)
        text += "  done";
    else if (done > 0)
        text += "  " + clock_text(seconds * (1.0 - fraction) / fraction) + " left";
    else
        text += "  -:-- left";
    return text;
}

void RunProgress::draw(bool force, bool final) {
    const auto now = Clock::now();
    if (!force && now - last_draw_ < kRedrawInterval)
        return;
    last_draw_ = now;
    if (style_ == Style::Json) {
        err_ << json_line(stage_, done_, total_, -1);
        err_.flush();
        return;
    }
    char label[32];
    std::snprintf(label, sizeof label, "%-24s", stage_name(stage_));
    err_ << '\r' << label << bar_text(done_, total_, seconds_between(stage_start_, now), kBarWidth)
         << "   ";
    if (final)
        err_ << '\n';
    err_.flush();
}

void RunProgress::begin(Stage stage, std::int64_t total) {
    const std::lock_guard lock(mutex_);
    stage_ = stage;
    total_ = std::max<std::int64_t>(total, 0);
    done_ = 0;
    stage_start_ = Clock::now();
    if (style_ == Style::Bar || style_ == Style::Json)
        draw(true, false);
}

void RunProgress::advance(std::int64_t done) {
    const std::lock_guard lock(mutex_);
    // Workers may report out of order: the bar only moves forward.
    done_ = std::clamp(std::max(done_, done), std::int64_t{0}, total_);
    if (style_ == Style::Bar || style_ == Style::Json)
        draw(false, false);
}

void RunProgress::line(int, std::int64_t done) {
    advance(done);
}

void RunProgress::step(int, std::int64_t done) {
    advance(done);
}

void RunProgress::end(Stage stage, std::int64_t items) {
    const std::lock_guard lock(mutex_);
    stage_ = stage;
    done_ = total_;
    if (stage == Stage::FirstPass)
        pixels_ = items;
    const double seconds = seconds_between(stage_start_, Clock::now());
    if (style_ == Style::Bar) {
        draw(true, true);
    } else if (style_ == Style::Json) {
        err_ << json_line(stage, done_, total_, items);
        err_.flush();
    } else if (style_ == Style::Lines) {
        const char* unit = stage == Stage::FirstPass   ? "network pixels"
                           : stage == Stage::Smoothing ? "steps"
                                                       : "pixels";
        char buf[128];
        std::snprintf(buf, sizeof buf, "%s: %lld %s in %.1f s\n", stage_name(stage),
                      static_cast<long long>(items), unit, seconds);
        err_ << buf;
        err_.flush();
    }
}

}  // namespace ds
