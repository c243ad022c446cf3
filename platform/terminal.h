// Terminal services for the command-line host: whether stderr is a terminal,
// and Ctrl-C turned into a Cancel request (a second Ctrl-C ends the program).
#pragma once

#include <atomic>

namespace qorvcd {

bool StderrIsTerminal();
// Counts interrupts into `counter`; the second interrupt exits with status 130.
// The counter must outlive the program's use of it.
void InstallInterruptCounter(std::atomic<int>* counter);

}  // namespace qorvcd
