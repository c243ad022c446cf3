#include <string>
#include <vector>

#include "core/results.h"
#include "session/qorvcd.h"
#include "session/qorvcd_c.h"

namespace {

using namespace qorvcd;

// Progress and cancel through the C callbacks.
class CallbackProgress : public ProgressSink {
public:
    explicit CallbackProgress(const qorvcd_build_options& o) : options_(o) {}
    void SetBarPosition(int position) override {
        position_ = position;
        Report();
    }
    void SetMessage(const std::string& text) override {
        message_ = text;
        Report();
    }
    bool PumpPendingMessages() override {
        if (!options_.cancel) return false;
        // The host sets the flag from its own thread while the build runs:
        // read and cleared in one atomic step, a request is taken once and
        // one made meanwhile is never lost.
        return __atomic_exchange_n(options_.cancel, 0, __ATOMIC_ACQ_REL) != 0;
    }

private:
    void Report() {
        if (options_.progress) options_.progress(options_.user, position_, message_.c_str());
    }
    const qorvcd_build_options& options_;
    int position_ = 0;
    std::string message_;
};

std::vector<char> MutableCopy(const char* text) {
    std::string s = text ? text : "";
    std::vector<char> buffer(s.begin(), s.end());
    buffer.push_back('\0');
    return buffer;
}

}  // namespace

extern "C" int qorvcd_build(const qorvcd_build_options* options) { return qorvcd_build_flags(options, 0); }

extern "C" int qorvcd_build_flags(const qorvcd_build_options* options, unsigned flags) {
    if (!options || !options->image_path || !options->script_path) return kStepFailed;
    constexpr unsigned kKnownFlags = QORVCD_BUILD_STANDARD | QORVCD_BUILD_BIN_CUE | QORVCD_BUILD_BIN_CUE_ONLY;
    if (flags & ~kKnownFlags) return kStepFailed;
    try {
        CallbackProgress progress(*options);
        LogList log;
        if (options->log) log.SetListener([options](const std::string& line) { options->log(options->user, line.c_str()); });
        BuildHost host;
        host.progress = &progress;
        if (options->work_dir) host.systemFolder = options->work_dir;
        if (options->settings_dir) host.settingsFolder = options->settings_dir;
        std::vector<char> image = MutableCopy(options->image_path);
        std::vector<char> script = MutableCopy(options->script_path);
        BuildRequest request;
        request.imagePath = image.data();
        request.scriptPath = script.data();
        request.fallbackKind = options->fallback_vcd30 ? DiscKind::Vcd30 : DiscKind::Svcd;
        request.standard = (flags & QORVCD_BUILD_STANDARD) != 0;
        if (flags & QORVCD_BUILD_BIN_CUE) request.outputs = BuildOutputs::ImageAndBinCue;
        if (flags & QORVCD_BUILD_BIN_CUE_ONLY) request.outputs = BuildOutputs::BinCueOnly;
        return Build(request, &log, host);
    } catch (...) {
        return kStepFailed;
    }
}
