// `qorvcd build`: one disc image from a script, with the log as it comes.
#include <atomic>
#include <cstdio>
#include <vector>

#include "cli/commands.h"
#include "cli/terminal_progress.h"
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

}  // namespace

int RunBuild(const BuildOptions& options) {
    static std::atomic<int> interrupts{0};
    InstallInterruptCounter(&interrupts);
    TerminalProgress progress(&interrupts, options.quiet);

    LogList log;
    log.SetListener([&](const std::string& line) {
        if (options.quiet) return;
        progress.BeforeLogLine();
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });

    BuildHost host;
    host.progress = &progress;
    host.systemFolder = options.workDir;
    host.settingsFolder = options.settingsDir;
    host.showMessage = [&](const std::string& text) {
        progress.BeforeLogLine();
        std::fprintf(stderr, "qorvcd: %s\n", text.c_str());
    };

    std::vector<char> image = MutableCopy(options.image);
    std::vector<char> script = MutableCopy(options.script);
    const int result = options.vcd30 ? QorVCD30(image.data(), script.data(), &log, host)
                                     : QorSVCD(image.data(), script.data(), &log, host);
    progress.BeforeLogLine();
    std::printf("Result: %d\n", result);
    if (result != 0) return 1;

    if (options.binCue) {
        ExportOptions exportOptions;
        exportOptions.image = options.image;
        exportOptions.cue = CueBeside(options.image);
        if (RunExport(exportOptions) != 0) return 1;
    }
    return 0;
}

}  // namespace qorvcd::cli
