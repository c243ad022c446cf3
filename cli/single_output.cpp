#include "cli/single_output.h"

#include <cstdio>

#include "platform/outputs.h"

namespace qorvcd::cli {

int WriteSingleOutput(const char* command, const std::string& input, const std::string& output,
                      const std::function<bool(const std::string& temporaryPath)>& write) {
    if (const std::string problem = OutputProblem(output); !problem.empty()) {
        std::fprintf(stderr, "qorvcd %s: the output cannot be written: %s\n", command, problem.c_str());
        return 2;
    }
    if (AliasedInput(output, {{"the input", input}})) {
        std::fprintf(stderr, "qorvcd %s: the output %s would overwrite the input %s\n", command, output.c_str(),
                     input.c_str());
        return 2;
    }
    PendingOutput pending(output);
    if (!pending.Create()) {
        std::fprintf(stderr, "qorvcd %s: cannot create %s: %s\n", command, output.c_str(), pending.Error().c_str());
        return 1;
    }
    if (!write(pending.TemporaryPath())) return 1;
    if (!pending.Keep()) {
        std::fprintf(stderr, "qorvcd %s: %s\n", command, pending.Error().c_str());
        return 1;
    }
    std::printf("%s written\n", output.c_str());
    return 0;
}

}  // namespace qorvcd::cli
