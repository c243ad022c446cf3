// `qorvcd export IMAGE -o NAME.cue [--iso FILE]`: the image as BIN/CUE for any
// burning program, and optionally track 1 as a plain ISO 9660 image.
#include <atomic>
#include <cstdio>

#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "imagetools/bincue.h"
#include "platform/file.h"
#include "platform/terminal.h"

namespace qorvcd::cli {

ExportOutcome ExportImage(const ExportOptions& options, TerminalProgress& progress) {
    BinCueRequest request;
    request.imagePath = options.image;
    request.cuePath = options.cue;
    request.isoPath = options.isoPath;
    bool cancelled = false;
    request.cancelRequested = [&] { return cancelled = cancelled || progress.PumpPendingMessages(); };
    // The first report comes once the image has been read and the outputs made.
    bool writing = false;
    request.progress = [&](int percent) {
        if (!writing) progress.SetMessage("Writing " + BinPathForCue(options.cue) + "...");
        writing = true;
        progress.SetBarPosition(percent);
    };
    progress.Show("");
    ExportOutcome outcome;
    outcome.ok = ExportBinCue(request, &outcome.error);
    outcome.cancelled = cancelled;
    progress.Hide();
    return outcome;
}

int RunExport(const ExportOptions& options) {
    static std::atomic<int> stopSignals{0};
    InstallStopSignalCounter(&stopSignals);
    TerminalProgress progress(&stopSignals, /*quiet=*/false);
    const ExportOutcome outcome = ExportImage(options, progress);
    if (!outcome.ok) {
        std::fprintf(stderr, "qorvcd export: %s\n", outcome.error.c_str());
        return 1;
    }
    std::printf("%s\n%s\n", BinPathForCue(options.cue).c_str(), options.cue.c_str());
    if (!options.isoPath.empty()) std::printf("%s\n", options.isoPath.c_str());
    return 0;
}

}  // namespace qorvcd::cli
