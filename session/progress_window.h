// The progress window of a build: message line, bar with percent text and a
// Cancel button. The window itself is drawn by the host through a
// ProgressSink; this class keeps the bar's range, the percent rules, the
// cancel flag and the owner (the host's main window) disabled while it lives.
#pragma once

#include <limits>
#include <string>

#include "core/progress.h"

namespace qorvcd {

// What a host provides to show a progress window. Every method has a no-op
// default so a host shows only what it can.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // The window appears with its caption; false if it cannot be shown.
    virtual bool Show(const std::string& caption) { (void)caption; return true; }
    virtual void Hide() {}
    virtual void SetBarRange(int lower, int upper) { (void)lower; (void)upper; }
    virtual void SetBarPosition(int position) { (void)position; }
    virtual void SetPercentText(const std::string& text) { (void)text; }
    virtual void SetMessage(const std::string& text) { (void)text; }
    // Handles what is waiting for the host (repaints, key presses). Returns
    // true once for every Cancel pressed since the last call.
    virtual bool PumpPendingMessages() { return false; }
    // The host's main window, disabled while a progress window exists.
    virtual bool IsOwnerEnabled() const { return true; }
    virtual void EnableOwner(bool enable) { (void)enable; }
};

class ProgressWindow : public Progress {
public:
    // captionId 0 takes the default caption string. `cancelLeftOver`, when
    // given, is set if the window dies with a Cancel nobody polled, so that
    // the owner of the build still sees it.
    explicit ProgressWindow(ProgressSink* sink, unsigned captionId = 0, bool* cancelLeftOver = nullptr);
    ~ProgressWindow() override;
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    bool Open() override;
    // Moves the bar; returns the previous position.
    int SetProgress(int position) override;
    // True (once) when Cancel was pressed since the last poll.
    bool TakeCancelRequest() override;
    void SetMessage(const std::string& text) override;
    void DestroyWindow() override;

    // The template's Cancel button and Escape key.
    void OnCancel() { cancelRequested_ = true; }
    // Enter does nothing: the window cannot be closed from the keyboard.
    void OnOK() {}
    // A Cancel pressed and not yet polled (no look at the host).
    bool CancelPending() const { return cancelRequested_; }

    const std::string& PercentText() const { return percentText_; }
    bool IsOpen() const { return open_; }
    unsigned CaptionId() const { return captionId_; }

private:
    void PumpPendingMessages();
    void ShowPercent(int position);

    ProgressSink* sink_;
    unsigned captionId_;
    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
    bool cancelRequested_ = false;
    bool ownerDisabled_ = false;
    bool* cancelLeftOver_;
    bool open_ = false;
    std::string percentText_;
    int percentShown_ = std::numeric_limits<int>::min();  // the number percentText_ was made from
};

}  // namespace qorvcd
