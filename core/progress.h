// What a long step sees of a progress window: its message line, its bar and
// its Cancel button. The window itself (its percent rules, the host's side)
// belongs to the session; the steps below it know only this interface.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace qorvcd {

class Progress {
public:
    virtual ~Progress() = default;
    // Shows the window; false when it cannot be shown.
    virtual bool Open() = 0;
    virtual void DestroyWindow() = 0;
    // Moves the bar; returns the previous position.
    virtual int SetProgress(int position) = 0;
    // True (once) when Cancel was pressed since the last poll.
    virtual bool TakeCancelRequest() = 0;
    virtual void SetMessage(const std::string& text) = 0;
};

// Makes a progress window of its own, not yet open, for a step that shows one.
using ProgressWindowFactory = std::function<std::unique_ptr<Progress>()>;

}  // namespace qorvcd
