// `qorvcd pack INPUT OUT.mps [--kind K] [--norm pal|ntsc]`: a video into the
// sector-mode form that track and segment files take on the disc. A program
// stream that already fits the kind is packed as it is; any other video is
// first transcoded into a private work folder.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/disc_kind_option.h"
#include "cli/single_output.h"
#include "cli/terminal_progress.h"
#include "codec/track_file.h"
#include "codec/transcode.h"
#include "core/results.h"
#include "mpeg/packet_reader.h"
#include "platform/outputs.h"
#include "platform/paths.h"
#include "platform/terminal.h"

namespace qorvcd::cli {

namespace {

std::string Clock(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

// Shows the transcoding as a bar with the time left on a terminal, and as a
// plain line every tenth of the way otherwise.
class TranscodeProgress {
public:
    explicit TranscodeProgress(std::atomic<int>* stopSignals)
        : sink_(stopSignals, false), terminal_(StderrIsTerminal()), start_(std::chrono::steady_clock::now()) {
        sink_.Show("Transcoding");
    }
    ~TranscodeProgress() { sink_.Hide(); }

    void Update(double done, double total) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const int percent = total > 0 ? int(std::min(100.0, 100.0 * done / total)) : 0;
        if (!terminal_ && percent / 10 == lastTenth_) return;
        if (terminal_ && elapsed - lastDrawn_ < 0.25) return;
        lastTenth_ = percent / 10;
        lastDrawn_ = elapsed;
        std::string text = "transcoding " + Clock(done);
        if (total > 0) {
            text += " of " + Clock(total);
            if (done > 0.5 && elapsed > 1.0) text += ", " + Clock(elapsed * (total - done) / done) + " left";
        }
        sink_.SetMessage(text);
        sink_.SetBarPosition(percent);
    }

private:
    TerminalProgress sink_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    double lastDrawn_ = -1;
    int lastTenth_ = -1;
};

// Removes the work folder whatever happened.
struct WorkFolder {
    std::optional<std::string> path;
    ~WorkFolder() {
        if (path) RemoveTree(*path);
    }
};

}  // namespace

int RunPack(const PackOptions& options) {
    const std::optional<DiscKind> kind = DiscKindFromName(options.kind);
    if (!kind) {
        std::fprintf(stderr, "qorvcd pack: unknown disc kind %s\n", options.kind.c_str());
        return 2;
    }
    std::optional<VideoStandard> norm;
    if (const std::string name = ToLower(options.norm); name == "pal") {
        norm = VideoStandard::Pal;
    } else if (name == "ntsc") {
        norm = VideoStandard::Ntsc;
    } else if (!name.empty()) {
        std::fprintf(stderr, "qorvcd pack: unknown norm %s (pal or ntsc)\n", options.norm.c_str());
        return 2;
    }
    static std::atomic<int> stopSignals{0};
    InstallStopSignalCounter(&stopSignals);
    const auto stopped = [] { return stopSignals.load() > 0; };
    const std::string input = ResolvePath(options.input, "./");
    const std::string output = ResolvePath(options.output, "./");
    const MessageHandler show = [](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
    };

    return WriteSingleOutput("pack", input, output, [&](const std::string& temporaryPath) {
        WorkFolder work;
        const std::string temp = AbsolutePath(TempFolder());
        work.path = MakeUniqueDirectory(temp, "qorvcd-pack-");
        if (!work.path) {
            std::fprintf(stderr, "qorvcd pack: cannot create a work folder in %s\n", temp.c_str());
            return false;
        }
        codec::TrackFileRequest request;
        request.inputPath = input;
        request.outputPath = temporaryPath;
        request.workFolder = *work.path + "/";
        request.kind = *kind;
        request.norm = norm;
        request.showMessage = show;
        request.cancelRequested = stopped;
        codec::TrackFileOutcome outcome;
        {
            TranscodeProgress progress(&stopSignals);
            request.progress = [&](double done, double total) { progress.Update(done, total); };
            outcome = codec::MakeTrackFile(request);
        }
        if (outcome.result == kCancelled || stopped()) {
            std::fprintf(stderr, "qorvcd pack: cancelled\n");
            return false;
        }
        if (outcome.result != kOk) {
            std::fprintf(stderr, "qorvcd pack: %s failed: %s\n", options.input.c_str(), outcome.error.c_str());
            return false;
        }
        if (outcome.transcoded) {
            const codec::DiscFrame frame = codec::FrameOf(*kind, outcome.norm);
            std::printf("%s transcoded to %s %dx%d %s\n", options.input.c_str(), frame.mpeg2 ? "MPEG-2" : "MPEG-1",
                        frame.width, frame.height, outcome.norm == VideoStandard::Pal ? "PAL" : "NTSC");
        }
        return true;
    });
}

}  // namespace qorvcd::cli
