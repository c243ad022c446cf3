// The command line's progress window: a one-line bar with the message line on
// a terminal (plain lines otherwise), and the stop signals (Ctrl-C, SIGTERM,
// SIGHUP) as the Cancel button.
#pragma once

#include <atomic>
#include <string>

#include "platform/log_list.h"
#include "session/progress_window.h"

namespace qorvcd::cli {

class TerminalProgress : public ProgressSink {
public:
    // `interrupts` counts stop signals (see InstallStopSignalCounter).
    TerminalProgress(std::atomic<int>* interrupts, bool quiet);

    bool Show(const std::string& caption) override;
    void Hide() override;
    void SetBarPosition(int position) override;
    void SetMessage(const std::string& text) override;
    bool PumpPendingMessages() override;
    bool IsOwnerEnabled() const override { return ownerEnabled_; }
    void EnableOwner(bool enable) override { ownerEnabled_ = enable; }

    // Log lines must not be drawn over the bar: the bar is cleared first.
    void BeforeLogLine();

private:
    void Draw();
    void Clear();

    std::atomic<int>* interrupts_;
    int seenInterrupts_ = 0;
    bool terminal_;
    bool quiet_;
    bool shown_ = false;
    bool drawn_ = false;
    bool ownerEnabled_ = true;
    int position_ = 0;
    std::string message_;
    std::string lastPlainMessage_;
};

// Prints the session log's lines on stdout as they come (none when `quiet`),
// clearing the bar first.
void PrintLogLines(LogList& log, TerminalProgress& progress, bool quiet);

}  // namespace qorvcd::cli
