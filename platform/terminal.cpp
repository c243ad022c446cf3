#include "platform/terminal.h"

#include <signal.h>
#include <unistd.h>

namespace qorvcd {

namespace {
// A signal handler can reach nothing else: the host's one counter.
std::atomic<int>* gInterrupts = nullptr;

void OnInterrupt(int) {
    if (gInterrupts && gInterrupts->fetch_add(1) >= 1) _exit(130);
}
}  // namespace

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void InstallInterruptCounter(std::atomic<int>* counter) {
    gInterrupts = counter;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace qorvcd
