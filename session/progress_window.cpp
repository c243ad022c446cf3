#include "session/progress_window.h"

#include "platform/log_list.h"
#include "resources/progress_dialog.h"

namespace qorvcd {

ProgressWindow::ProgressWindow(ProgressSink* sink, unsigned captionId, bool* cancelLeftOver)
    : sink_(sink), captionId_(captionId ? captionId : resources::kProgressCaptionId),
      cancelLeftOver_(cancelLeftOver), percentText_(resources::kInitialPercentText) {}

ProgressWindow::~ProgressWindow() {
    if (cancelRequested_ && cancelLeftOver_) *cancelLeftOver_ = true;
    DestroyWindow();
}

bool ProgressWindow::Open() {
    if (sink_ && sink_->IsOwnerEnabled()) {
        sink_->EnableOwner(false);
        ownerDisabled_ = true;
    }
    if (sink_ && !sink_->Show(resources::kProgressCaption)) {
        DestroyWindow();
        return false;
    }
    open_ = true;
    if (sink_) {
        sink_->SetBarRange(lower_, upper_);
        sink_->SetBarPosition(lower_);
        sink_->SetPercentText(percentText_);
    }
    position_ = lower_;
    return true;
}

void ProgressWindow::DestroyWindow() {
    if (ownerDisabled_ && sink_) sink_->EnableOwner(true);
    ownerDisabled_ = false;
    if (open_ && sink_) sink_->Hide();
    open_ = false;
}

void ProgressWindow::PumpPendingMessages() {
    if (sink_ && sink_->PumpPendingMessages()) OnCancel();
}

int ProgressWindow::SetProgress(int position) {
    PumpPendingMessages();
    const int previous = position_;
    position_ = position;
    if (sink_) sink_->SetBarPosition(position);
    ShowPercent(position);
    return previous & 0xFFFF;
}

bool ProgressWindow::TakeCancelRequest() {
    PumpPendingMessages();
    const bool requested = cancelRequested_;
    cancelRequested_ = false;
    return requested;
}

void ProgressWindow::SetMessage(const std::string& text) {
    if (sink_) sink_->SetMessage(text);
}

void ProgressWindow::ShowPercent(int position) {
    int percent = (position - lower_) * 100 / (upper_ - lower_);
    // The bar wraps past its upper bound and the text with it; exactly 100 stays.
    if (percent != 100) percent %= 100;
    // Called for every unit copied: the text is made only when the number moves.
    if (percent == percentShown_) return;
    percentShown_ = percent;
    const std::string text = Format("%d%c", percent, '%');
    if (text == percentText_) return;
    percentText_ = text;
    if (sink_) sink_->SetPercentText(text);
}

}  // namespace qorvcd
