#include "drainshape/stop_signals.h"

#include <signal.h>

#include <csignal>

namespace ds {

namespace {

volatile std::sig_atomic_t g_received = 0;
struct sigaction g_old_int;
struct sigaction g_old_term;

extern "C" void note_signal(int sig) {
    if (g_received == 0)
        g_received = sig;
}

}  // namespace

StopSignals::StopSignals() {
    g_received = 0;
    struct sigaction sa {};
    sa.sa_handler = note_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, &g_old_int);
    sigaction(SIGTERM, &sa, &g_old_term);
}

StopSignals::~StopSignals() {
    sigaction(SIGINT, &g_old_int, nullptr);
    sigaction(SIGTERM, &g_old_term, nullptr);
}

int StopSignals::received() {
    return g_received;
}

const char* signal_name(int sig) {
    switch (sig) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "a signal";
    }
}

}  // namespace ds
