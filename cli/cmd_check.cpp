// `qorvcd check`: the build's own steps run on the script up to the layout,
// into a private folder that is removed afterwards, so whatever the build
// would say about the script is said, and nothing is written.
#include <atomic>
#include <cstdio>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal_progress.h"
#include "platform/paths.h"
#include "platform/terminal.h"
#include "session/qorvcd.h"

namespace qorvcd::cli {

DiagnosticSink PrintDiagnostics(DiagnosticTally& tally, std::function<void()> beforePrint) {
    return [&tally, beforePrint = std::move(beforePrint)](const Diagnostic& d) {
        if (d.severity == Severity::Error) ++tally.errors;
        else ++tally.warnings;
        tally.lastText = d.text;
        if (beforePrint) beforePrint();
        std::fprintf(stderr, "%s\n", FormatDiagnostic(d).c_str());
        std::fflush(stderr);
    };
}

namespace {

// The log's last line before ">>> Fail <<<": the reason of a failure that
// came with no diagnostic of its own.
std::string FailureReason(const LogList& log) {
    const std::vector<std::string>& lines = log.Lines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (*it != ">>> Fail <<<" && !it->empty() && *it != " ") return *it;
    return "the build failed";
}

}  // namespace

int RunCheck(const CheckOptions& options) {
    const std::optional<std::string> folder = MakeUniqueDirectory(AbsolutePath(TempFolder()), "qorvcd-check-");
    if (!folder) {
        std::fprintf(stderr, "qorvcd: can't create a private folder in %s\n", TempFolder().c_str());
        return 2;
    }
    // A stop signal cancels the dry run like a build, so the folder goes too.
    static std::atomic<int> stopSignals{0};
    InstallStopSignalCounter(&stopSignals);
    LogList log;
    TerminalProgress progress(&stopSignals, true);
    DiagnosticTally tally;
    BuildHost host;
    host.progress = &progress;
    host.systemFolder = *folder;
    host.settingsFolder = options.settingsDir;
    host.capacityMinutes = options.capacityMinutes;
    host.diagnostics = PrintDiagnostics(tally);
    // Message boxes are errors of the script, already printed with their place.
    host.showMessage = [&](const std::string& text) {
        if (text != tally.lastText) std::fprintf(stderr, "qorvcd: %s\n", text.c_str());
    };

    std::string imagePath = *folder + "/check.img";
    std::vector<char> image(imagePath.begin(), imagePath.end());
    image.push_back('\0');
    std::vector<char> script(options.script.begin(), options.script.end());
    script.push_back('\0');
    BuildRequest request;
    request.imagePath = image.data();
    request.scriptPath = script.data();
    request.fallbackKind = options.vcd30 ? DiscKind::Vcd30 : DiscKind::Svcd;
    request.checkOnly = true;
    request.standard = options.standard;
    const int result = Build(request, &log, host);
    RemoveTree(*folder);

    if (result != 0 && tally.errors == 0) {
        host.diagnostics(Diagnostic{options.script, 0, Severity::Error, FailureReason(log)});
    }
    std::printf("%s: %d error(s), %d warning(s)\n", options.script.c_str(), tally.errors, tally.warnings);
    if (tally.errors > 0) return 1;
    return tally.warnings > 0 && !options.warningsOk ? 1 : 0;
}

}  // namespace qorvcd::cli
