// `qorvcd inspect IMAGE [--json]`: what a disc image holds, as text or JSON.
// Exit status 0 when everything decoded, 1 when the image cannot be read at
// all, 2 when it was read but some part of it is damaged (the output then
// names the part under "errors" or "error").
#include <cstdio>

#include "cli/commands.h"
#include "imagetools/inspect.h"

namespace qorvcd::cli {

int RunInspect(const InspectOptions& options) {
    DecodedImage image;
    std::string error;
    if (!DecodeImage(options.image, image, error)) {
        std::fprintf(stderr, "qorvcd inspect: %s\n", error.c_str());
        return 1;
    }
    bool ok = true;
    const std::string text = options.json ? InspectJson(image, &ok) : InspectText(image, &ok);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!ok) {
        std::fprintf(stderr, "qorvcd inspect: %s is damaged (see the errors in the output)\n",
                     options.image.c_str());
        return 2;
    }
    return 0;
}

}  // namespace qorvcd::cli
