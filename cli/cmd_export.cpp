// `qorvcd export IMAGE -o NAME.cue [--iso FILE]`: the image as BIN/CUE for any
// burning program, and optionally track 1 as a plain ISO 9660 image.
#include <cstdio>

#include "cli/commands.h"
#include "image/bincue.h"

namespace qorvcd::cli {

int RunExport(const ExportOptions& options) {
    BinCueRequest request{options.image, options.cue, options.isoPath};
    std::string error;
    if (!ExportBinCue(request, &error)) {
        std::fprintf(stderr, "qorvcd export: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n%s\n", BinPathForCue(options.cue).c_str(), options.cue.c_str());
    if (!options.isoPath.empty()) std::printf("%s\n", options.isoPath.c_str());
    return 0;
}

}  // namespace qorvcd::cli
