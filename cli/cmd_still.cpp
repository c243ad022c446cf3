// `qorvcd still IN.bmp OUT.mps [--kind K] [--mode 2|3]`: the still-picture
// pipeline on its own, with a private work folder for its passes.
#include <atomic>
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/disc_kind_option.h"
#include "cli/terminal_progress.h"
#include "mpeg/encode_pipeline.h"
#include "platform/paths.h"
#include "platform/terminal.h"
#include "session/build_context.h"

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
    if (input == output) {
        std::fprintf(stderr, "qorvcd still: the output would overwrite the input %s\n", input.c_str());
        return 2;
    }
    const std::optional<std::string> workFolder = MakeUniqueDirectory(TempFolder(), "qorvcd-still-");
    if (!workFolder) {
        std::fprintf(stderr, "qorvcd still: cannot create a work folder in %s\n", TempFolder().c_str());
        return 1;
    }

    std::atomic<int> interrupts{0};
    InstallInterruptCounter(&interrupts);
    TerminalProgress sink(&interrupts, /*quiet=*/true);
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
    const int result = EncodeStillPicture(ctx, input, output, options.mode);
    progress.DestroyWindow();
    RemoveTree(*workFolder);

    if (result != kStillOk) {
        std::fprintf(stderr, "qorvcd still: %s was not converted (result %d)\n", options.input.c_str(), result);
        return 1;
    }
    std::printf("%s written\n", output.c_str());
    return 0;
}

}  // namespace qorvcd::cli
