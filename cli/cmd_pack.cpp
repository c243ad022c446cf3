// `qorvcd pack IN.mpg OUT.mps [--kind K]`: a user's own MPEG program stream
// into the sector-mode form that track and segment files take on the disc.
#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/disc_kind_option.h"
#include "mpeg/packet_reader.h"
#include "platform/paths.h"

namespace qorvcd::cli {

int RunPack(const PackOptions& options) {
    const std::optional<DiscKind> kind = DiscKindFromName(options.kind);
    if (!kind) {
        std::fprintf(stderr, "qorvcd pack: unknown disc kind %s\n", options.kind.c_str());
        return 2;
    }
    const std::string input = ResolvePath(options.input, "./");
    const std::string output = ResolvePath(options.output, "./");
    // Creating the output truncates it: never let it be the input.
    if (input == output) {
        std::fprintf(stderr, "qorvcd pack: the output would overwrite the input %s\n", input.c_str());
        return 2;
    }
    const MessageHandler show = [](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
    };
    std::string error;
    if (!PackProgramStream(input, output, *kind, show, &error)) {
        std::fprintf(stderr, "qorvcd pack: %s failed: %s\n", options.input.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s written\n", output.c_str());
    return 0;
}

}  // namespace qorvcd::cli
