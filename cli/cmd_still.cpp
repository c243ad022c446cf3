// `qorvcd still PICTURE OUT.mps [--kind K] [--norm pal|ntsc] [--hires | --mode 2|3]`:
// the still-picture pipeline on its own, with a private work folder for its
// passes. PICTURE is a BMP, PNG, JPEG or any still picture FFmpeg reads.
#include <atomic>
#include <cctype>
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/disc_kind_option.h"
#include "cli/single_output.h"
#include "cli/terminal_progress.h"
#include "codec/encode_pipeline.h"
#include "codec/picture_facts.h"
#include "codec/still_format.h"
#include "core/build_context.h"
#include "platform/outputs.h"
#include "platform/paths.h"
#include "platform/terminal.h"

namespace qorvcd::cli {

namespace {

std::optional<codec::VideoStandard> NormFromName(std::string name) {
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (name == "pal") return codec::VideoStandard::Pal;
    if (name == "ntsc") return codec::VideoStandard::Ntsc;
    return std::nullopt;
}

}  // namespace

int RunStill(const StillOptions& options) {
    const std::optional<DiscKind> kind = DiscKindFromName(options.kind);
    if (!kind) {
        std::fprintf(stderr, "qorvcd still: unknown disc kind %s\n", options.kind.c_str());
        return 2;
    }
    if (options.mode != 0 && options.mode != kPictureModeNormal && options.mode != kPictureModeHigh) {
        std::fprintf(stderr, "qorvcd still: picture mode %d (2 or 3 expected)\n", options.mode);
        return 2;
    }
    if (options.hires && options.mode == kPictureModeNormal) {
        std::fprintf(stderr, "qorvcd still: --hires and --mode 2 ask for different resolutions\n");
        return 2;
    }
    std::optional<codec::VideoStandard> standard;
    if (!options.norm.empty()) {
        standard = NormFromName(options.norm);
        if (!standard) {
            std::fprintf(stderr, "qorvcd still: unknown norm %s (pal or ntsc)\n", options.norm.c_str());
            return 2;
        }
    }
    const std::string input = ResolvePath(options.input, "./");
    const std::string output = ResolvePath(options.output, "./");
    codec::PictureFacts facts;
    std::string reason;
    if (!codec::ReadPictureFacts(input, facts, &reason)) {
        std::fprintf(stderr, "qorvcd still: %s: %s\n", options.input.c_str(), reason.c_str());
        return 1;
    }
    int mode = options.mode;
    if (options.hires) mode = kPictureModeHigh;
    // Not asked: a standard-size bitmap stays normal, as it always was.
    if (mode == 0)
        mode = facts.standardBitmap ? kPictureModeNormal : codec::PictureModeForSize(*kind, facts.width, facts.height);
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
        const int result = EncodeStillPicture(ctx, input, temporaryPath, mode, standard);
        if (result == kOk && stopSignals.load() == 0) return true;
        std::fprintf(stderr, "qorvcd still: %s was not converted (result %d)\n", options.input.c_str(), result);
        return false;
    });
    progress.DestroyWindow();
    RemoveTree(*workFolder);
    return status;
}

}  // namespace qorvcd::cli
