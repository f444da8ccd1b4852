#include "app/run_guard.h"

#include <new>
#include <string>
#include <string_view>

#include "app/console.h"
#include "io/out_file.h"
#include "lib/grid.h"

namespace ds {

namespace {

class Reporter {
  public:
    Reporter(std::ostream& err, MessageStyle style) : err_(err), style_(style) {}

    void message(const std::string& text) {
        err_ << (style_ == MessageStyle::Dialog ? "\n\t" : "drainshape: ") << text << "\n";
    }
    void incomplete(const FileSet& fs) {
        for (const std::string& path : fs.unfinished())
            err_ << (style_ == MessageStyle::Dialog ? "\t" : "drainshape: ")
                 << "incomplete: " << path << "\n";
        err_.flush();
    }

  private:
    std::ostream& err_;
    MessageStyle style_;
};

}  // namespace

void close_all(FileSet& fs) {
    for (OutFile* f : {&fs.f2,  &fs.f2d, &fs.f2x, &fs.f3,  &fs.f3d,  &fs.f3x, &fs.f4,
                       &fs.f4d, &fs.f4x, &fs.f5,  &fs.f5d, &fs.f5x,  &fs.f6,  &fs.f6d,
                       &fs.f6x, &fs.f7,  &fs.f7d, &fs.f7x, &fs.f_0x, &fs.f_1x})
        f->close();
}

int run_guarded(RunState& s, std::ostream& err, MessageStyle style,
                const std::function<void()>& body) {
    Reporter report(err, style);
    try {
        body();
        close_all(s.files);
        return 0;
    } catch (const RunExit& e) {
        if (e.status() != 0)
            report.incomplete(s.files);
        return e.status();
    } catch (const FileError& e) {
        report.message(e.what());
    } catch (const GridAllocError& e) {
        if (e.lines() > 0 && e.columns() > 0 && std::string_view(e.what()) == "not enough memory")
            report.message("Not enough memory for a " + std::to_string(e.lines()) + " x " +
                           std::to_string(e.columns()) + " grid");
        else
            report.message("Cannot allocate a " + std::to_string(e.lines()) + " x " +
                           std::to_string(e.columns()) + " grid for the raster of " + s.river_txt +
                           ": " + e.what());
    } catch (const std::bad_alloc&) {
        report.message("Not enough memory");
    }
    report.incomplete(s.files);
    return kFailureStatus;
}

}  // namespace ds
