#include "platform/terminal.h"

#include <signal.h>
#include <unistd.h>

namespace qorvcd {

namespace {
// A signal handler can reach nothing else: the host's one counter.
std::atomic<int>* gStopSignals = nullptr;

void OnStopSignal(int) {
    if (gStopSignals) gStopSignals->fetch_add(1);
}
}  // namespace

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void InstallStopSignalCounter(std::atomic<int>* counter) {
    gStopSignals = counter;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace qorvcd
