// Terminal services for the command-line host: whether stderr is a terminal,
// and the stop signals turned into a Cancel request.
#pragma once

#include <atomic>

namespace qorvcd {

bool StderrIsTerminal();
// Counts SIGINT, SIGTERM and SIGHUP into `counter`. The program goes on: its
// work polls the counter, cancels at the next unit and cleans up after
// itself, so that no partial output or work folder is left behind. The
// counter must outlive the program's use of it.
void InstallStopSignalCounter(std::atomic<int>* counter);

}  // namespace qorvcd
