// SIGINT and SIGTERM during a run: the handlers only note the signal; the run sees it between
// rows and steps (through its Progress), stops, removes its temporary files and exits with the
// status shells expect (128 + the signal's number).
#pragma once

namespace ds {

class StopSignals {
  public:
    // Installs the handlers; the previous ones come back when the object goes.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal received since the handlers were installed, or 0.
    static int received();
};

// "SIGINT", "SIGTERM", or "signal N".
const char* signal_name(int sig);

}  // namespace ds
