#include <gtest/gtest.h>

#include "session/progress_window.h"

namespace qorvcd {
namespace {

// A scripted host window: records what is shown, presses Cancel on demand.
struct FakeSink : ProgressSink {
    bool ownerEnabled = true;
    int cancelPresses = 0;
    bool showOk = true;
    std::string percent;
    bool Show(const std::string&) override { return showOk; }
    void SetPercentText(const std::string& t) override { percent = t; }
    bool PumpPendingMessages() override {
        if (cancelPresses == 0) return false;
        --cancelPresses;
        return true;
    }
    bool IsOwnerEnabled() const override { return ownerEnabled; }
    void EnableOwner(bool e) override { ownerEnabled = e; }
};

TEST(ProgressWindow, PercentTextFollowsTheWrapRule) {
    FakeSink sink;
    ProgressWindow w(&sink);
    ASSERT_TRUE(w.Open());
    EXPECT_EQ(w.PercentText(), " 0 %");  // the template's text until the first update
    w.SetProgress(37);
    EXPECT_EQ(sink.percent, "37%");
    w.SetProgress(100);
    EXPECT_EQ(sink.percent, "100%");
    w.SetProgress(150);
    EXPECT_EQ(sink.percent, "50%");
    w.SetProgress(200);
    EXPECT_EQ(sink.percent, "0%");
    EXPECT_EQ(w.SetProgress(5), 200);  // the previous position
}

TEST(ProgressWindow, CancelIsTakenOnce) {
    FakeSink sink;
    ProgressWindow w(&sink);
    ASSERT_TRUE(w.Open());
    sink.cancelPresses = 1;
    w.OnCancel();  // pressed twice before the poll
    EXPECT_TRUE(w.TakeCancelRequest());
    EXPECT_FALSE(w.TakeCancelRequest());
    w.OnOK();  // Enter does nothing
    EXPECT_TRUE(w.IsOpen());
}

TEST(ProgressWindow, OwnerIsEnabledAgainOnlyIfItWasDisabledByIt) {
    FakeSink sink;
    {
        ProgressWindow w(&sink);
        ASSERT_TRUE(w.Open());
        EXPECT_FALSE(sink.ownerEnabled);
    }
    EXPECT_TRUE(sink.ownerEnabled);

    sink.ownerEnabled = false;  // disabled by someone else
    {
        ProgressWindow w(&sink);
        ASSERT_TRUE(w.Open());
    }
    EXPECT_FALSE(sink.ownerEnabled);

    sink.ownerEnabled = true;
    sink.showOk = false;  // the window cannot be made
    ProgressWindow failed(&sink);
    EXPECT_FALSE(failed.Open());
    EXPECT_TRUE(sink.ownerEnabled);
}

}  // namespace
}  // namespace qorvcd
