#include "cli/terminal_progress.h"

#include <cstdio>

#include "platform/terminal.h"

namespace qorvcd::cli {

namespace {
constexpr int kBarWidth = 30;
constexpr size_t kMessageWidth = 44;
}  // namespace

TerminalProgress::TerminalProgress(std::atomic<int>* interrupts, bool quiet)
    : interrupts_(interrupts), terminal_(StderrIsTerminal()), quiet_(quiet) {}

bool TerminalProgress::Show(const std::string&) {
    shown_ = true;
    position_ = 0;
    return true;
}

void TerminalProgress::Hide() {
    Clear();
    shown_ = false;
}

void TerminalProgress::SetBarPosition(int position) {
    if (position == position_) return;
    position_ = position;
    Draw();
}

void TerminalProgress::SetMessage(const std::string& text) {
    message_ = text;
    while (!message_.empty() && (message_.back() == '\n' || message_.back() == '\r')) message_.pop_back();
    if (!terminal_ && !quiet_ && message_ != lastPlainMessage_) {
        // Without a terminal each new action is one plain line.
        lastPlainMessage_ = message_;
        std::fprintf(stderr, "... %s\n", message_.c_str());
        return;
    }
    Draw();
}

bool TerminalProgress::PumpPendingMessages() {
    const int now = interrupts_ ? interrupts_->load() : 0;
    if (now == seenInterrupts_) return false;
    seenInterrupts_ = now;
    BeforeLogLine();
    std::fprintf(stderr, "Cancel requested: stopping at the next unit of work and cleaning up\n");
    return true;
}

void TerminalProgress::BeforeLogLine() { Clear(); }

void TerminalProgress::Draw() {
    if (!terminal_ || !shown_ || quiet_) return;
    int percent = position_ % 101;
    if (percent < 0) percent = 0;
    const int filled = percent * kBarWidth / 100;
    std::string bar(size_t(filled), '#');
    bar.resize(kBarWidth, '.');
    std::string message = message_;
    if (message.size() > kMessageWidth) message = message.substr(0, kMessageWidth - 3) + "...";
    std::fprintf(stderr, "\r\033[K[%s] %3d%% %s", bar.c_str(), percent, message.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::Clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

void PrintLogLines(LogList& log, TerminalProgress& progress, bool quiet) {
    log.SetListener([&progress, quiet](const std::string& line) {
        if (quiet) return;
        progress.BeforeLogLine();
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
}

}  // namespace qorvcd::cli
