// A progress window for the tests below the session: it keeps the message
// lines and answers the Cancel polls by a script, latching a Cancel pressed
// at a bar update until the next poll, as the build's own window does.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/progress.h"

namespace qorvcd::test {

class ScriptedProgress : public Progress {
public:
    // `pressAt(n)` tells whether Cancel is pressed at the n-th look at the
    // window (1 = the first; bar updates and polls both look).
    explicit ScriptedProgress(std::function<bool(int)> pressAt = {}) : pressAt_(std::move(pressAt)) {}

    bool Open() override { return true; }
    void DestroyWindow() override {}
    int SetProgress(int position) override {
        Look();
        return std::exchange(position_, position);
    }
    bool TakeCancelRequest() override {
        Look();
        return std::exchange(cancelRequested_, false);
    }
    void SetMessage(const std::string& text) override { messages.push_back(text); }

    std::vector<std::string> messages;
    int looks = 0;

private:
    void Look() {
        ++looks;
        if (pressAt_ && pressAt_(looks)) cancelRequested_ = true;
    }

    std::function<bool(int)> pressAt_;
    int position_ = 0;
    bool cancelRequested_ = false;
};

inline bool Always(int) { return true; }

}  // namespace qorvcd::test
