// `qorvcd pack IN.mpg OUT.mps [--kind K]`: a user's own MPEG program stream
// into the sector-mode form that track and segment files take on the disc.
#include <atomic>
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/disc_kind_option.h"
#include "cli/single_output.h"
#include "mpeg/packet_reader.h"
#include "platform/paths.h"
#include "platform/terminal.h"

namespace qorvcd::cli {

int RunPack(const PackOptions& options) {
    const std::optional<DiscKind> kind = DiscKindFromName(options.kind);
    if (!kind) {
        std::fprintf(stderr, "qorvcd pack: unknown disc kind %s\n", options.kind.c_str());
        return 2;
    }
    static std::atomic<int> stopSignals{0};
    InstallStopSignalCounter(&stopSignals);
    const std::string input = ResolvePath(options.input, "./");
    const std::string output = ResolvePath(options.output, "./");
    const MessageHandler show = [](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
    };
    return WriteSingleOutput("pack", input, output, [&](const std::string& temporaryPath) {
        std::string error;
        if (PackProgramStream(input, temporaryPath, *kind, show, &error, [] { return stopSignals.load() > 0; })) {
            return true;
        }
        std::fprintf(stderr, "qorvcd pack: %s failed: %s\n", options.input.c_str(), error.c_str());
        return false;
    });
}

}  // namespace qorvcd::cli
