// `qorvcd build`: one disc image from a script, with the log as it comes.
#include <atomic>
#include <cstdio>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "imagetools/bincue.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/terminal.h"
#include "session/qorvcd.h"

namespace qorvcd::cli {

namespace {

std::vector<char> MutableCopy(const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return buffer;
}

// NAME.img -> NAME.cue beside it.
std::string CueBeside(const std::string& image) {
    const PathParts parts = SplitPath(image);
    return parts.drive + parts.folder + parts.name + ".cue";
}

// The BIN/CUE of a good image. A failure keeps the image (the build itself
// succeeded) and says why; a stop signal removes the image this command just
// made, so that a stopped command leaves nothing.
int ExportAfterBuild(const BuildOptions& options, TerminalProgress& progress) {
    ExportOptions exportOptions;
    exportOptions.image = options.image;
    exportOptions.cue = CueBeside(options.image);
    const ExportOutcome outcome = ExportImage(exportOptions, progress);
    if (outcome.ok) {
        std::printf("%s\n%s\n", BinPathForCue(exportOptions.cue).c_str(), exportOptions.cue.c_str());
        return 0;
    }
    progress.BeforeLogLine();
    if (outcome.cancelled) {
        File::Remove(ResolvePath(options.image, ""));
        std::printf("BIN/CUE export stopped by a signal: no BIN or cue sheet was written, and the image %s "
                    "made by this build is removed\n>>> Fail <<<\n", options.image.c_str());
    } else {
        std::printf("Error: BIN/CUE export failed: %s\nThe image %s is kept (it is complete); no BIN or cue sheet "
                    "was written\n>>> Fail <<<\n", outcome.error.c_str(), options.image.c_str());
    }
    return 1;
}

}  // namespace

int RunBuild(const BuildOptions& options) {
    static std::atomic<int> stopSignals{0};
    InstallStopSignalCounter(&stopSignals);
    TerminalProgress progress(&stopSignals, options.quiet);

    LogList log;
    PrintLogLines(log, progress, options.quiet);

    BuildHost host;
    host.progress = &progress;
    host.systemFolder = options.workDir;
    host.settingsFolder = options.settingsDir;
    if (options.binCue) {
        const std::string cue = CueBeside(options.image);
        host.otherOutputs = {{"the BIN", BinPathForCue(cue)}, {"the cue sheet", cue}};
    }
    host.capacityMinutes = options.capacityMinutes;
    DiagnosticTally tally;
    // Problems of the script are printed on stderr with their place in it
    // (warnings too, unless --quiet); the session log on stdout stays as it is.
    host.diagnostics = [&tally, quiet = options.quiet,
                        print = PrintDiagnostics(tally, [&] { progress.BeforeLogLine(); })](const Diagnostic& d) {
        if (d.severity == Severity::Error || !quiet) print(d);
    };
    host.showMessage = [&](const std::string& text) {
        // A message of the script was printed with its place just before.
        if (text == tally.lastText) return;
        progress.BeforeLogLine();
        std::fprintf(stderr, "qorvcd: %s\n", text.c_str());
    };

    std::vector<char> image = MutableCopy(options.image);
    std::vector<char> script = MutableCopy(options.script);
    BuildRequest request;
    request.imagePath = image.data();
    request.scriptPath = script.data();
    request.fallbackKind = options.vcd30 ? DiscKind::Vcd30 : DiscKind::Svcd;
    request.standard = options.standard;
    const int result = Build(request, &log, host);
    progress.BeforeLogLine();
    std::printf("Result: %d\n", result);
    if (result != 0) return 1;
    return options.binCue ? ExportAfterBuild(options, progress) : 0;
}

}  // namespace qorvcd::cli
