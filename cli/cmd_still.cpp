// `qorvcd still IN.bmp OUT.mps [--kind K] [--mode 2|3]`: the still-picture
// pipeline on its own, with a private work folder for its passes.
#include <atomic>
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/disc_kind_option.h"
#include "cli/single_output.h"
#include "cli/terminal_progress.h"
#include "codec/encode_pipeline.h"
#include "core/build_context.h"
#include "platform/outputs.h"
#include "platform/paths.h"
#include "platform/terminal.h"

namespace qorvcd::cli {

int RunStill(const StillOptions& options) {
    const std::optional<DiscKind> kind = DiscKindFromName(options.kind);
    if (!kind) {
        std::fprintf(stderr, "qorvcd still: unknown disc kind %s\n", options.kind.c_str());
        return 2;
    }
    if (options.mode != kPictureModeNormal && options.mode != kPictureModeHigh) {
        std::fprintf(stderr, "qorvcd still: picture mode %d (2 or 3 expected)\n", options.mode);
        return 2;
    }
    const std::string input = ResolvePath(options.input, "./");
    const std::string output = ResolvePath(options.output, "./");
    const std::string temp = AbsolutePath(TempFolder());
    const std::optional<std::string> workFolder = MakeUniqueDirectory(temp, "qorvcd-still-");
    if (!workFolder) {
        std::fprintf(stderr, "qorvcd still: cannot create a work folder in %s\n", temp.c_str());
        return 1;
    }

    static std::atomic<int> stopSignals{0};
    InstallStopSignalCounter(&stopSignals);
    TerminalProgress sink(&stopSignals, /*quiet=*/true);
    ProgressWindow progress(&sink);
    LogList log;
    log.SetListener([](const std::string& line) { std::printf("%s\n", line.c_str()); });

    BuildContext ctx;
    ctx.log = &log;
    ctx.showMessage = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    ctx.progress = &progress;
    ctx.kind = *kind;
    ctx.workFolder = *workFolder;
    if (ctx.workFolder.back() != '/') ctx.workFolder += '/';

    progress.Open();
    const int status = WriteSingleOutput("still", input, output, [&](const std::string& temporaryPath) {
        const int result = EncodeStillPicture(ctx, input, temporaryPath, options.mode);
        if (result == kOk && stopSignals.load() == 0) return true;
        std::fprintf(stderr, "qorvcd still: %s was not converted (result %d)\n", options.input.c_str(), result);
        return false;
    });
    progress.DestroyWindow();
    RemoveTree(*workFolder);
    return status;
}

}  // namespace qorvcd::cli
