// `qorvcd build`: one disc image from a script, with the log as it comes.
#include <atomic>
#include <cstdio>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "imagetools/bincue.h"
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

// `-o NAME.cue` asks for the BIN and cue sheet alone; `--bin-cue` for them
// beside the image.
BuildOutputs OutputsOf(const BuildOptions& options) {
    if (ToLower(SplitPath(options.image).ext) == ".cue") return BuildOutputs::BinCueOnly;
    return options.binCue ? BuildOutputs::ImageAndBinCue : BuildOutputs::Image;
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
    request.outputs = OutputsOf(options);
    const int result = Build(request, &log, host);
    progress.BeforeLogLine();
    std::printf("Result: %d\n", result);
    if (result != 0) return 1;
    if (request.outputs != BuildOutputs::Image) {
        const std::string cue = CueSheetPathFor(options.image, request.outputs);
        std::printf("%s\n%s\n", BinPathForCue(cue).c_str(), cue.c_str());
    }
    return 0;
}

}  // namespace qorvcd::cli
