// `qorvcd inspect IMAGE [--full | --json] [--graph FILE.dot]`: what a disc
// image holds: a short summary by default, every decoded field with --full,
// the same fields as JSON with --json; --graph draws the menus as a Graphviz
// file (and FILE.svg beside it when Graphviz's `dot` is installed).
// Exit status 0 when everything decoded, 1 when the image cannot be read at
// all or the graph cannot be written, 2 when the image was read but some part
// of it is damaged (the output then names the part under "errors" or "error").
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "imagetools/inspect.h"
#include "imagetools/playback_model.h"
#include "platform/file.h"
#include "platform/outputs.h"

extern char** environ;

namespace qorvcd::cli {

namespace {

bool WriteTextFile(const std::string& path, const std::string& text) {
    File file;
    if (!file.Open(path, FileMode::ReadWrite) || !file.Write(text.data(), text.size()) || !file.Close()) {
        std::fprintf(stderr, "qorvcd inspect: %s\n", file.Error().c_str());
        return false;
    }
    return true;
}

// True when Graphviz's `dot` is on the PATH.
bool HaveDot() {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty() && access((folder + "/dot").c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Runs `dot -Tsvg dotFile -o svgFile` without a shell.
bool RunDot(const std::string& dotFile, const std::string& svgFile) {
    const char* argv[] = {"dot", "-Tsvg", dotFile.c_str(), "-o", svgFile.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "dot", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        std::fprintf(stderr, "qorvcd inspect: cannot run dot\n");
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "qorvcd inspect: dot could not draw %s\n", dotFile.c_str());
        return false;
    }
    return true;
}

std::string SvgBeside(const std::string& dotPath) {
    const size_t slash = dotPath.find_last_of('/');
    const size_t dot = dotPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? dotPath.substr(0, dot) : dotPath) + ".svg";
}

// Why `output` may not be written, naming the image when it is the image;
// empty when it may.
std::string GraphOutputProblem(const std::string& image, const std::string& output) {
    if (const std::string problem = OutputProblem(output); !problem.empty()) {
        return "the graph " + output + " cannot be written: " + problem;
    }
    if (AliasedInput(output, {{"the image", image}})) {
        return "the graph " + output + " would overwrite the image " + image;
    }
    return {};
}

// Writes `output` under a temporary name through `write` and gives it its
// name only when complete.
bool WriteSafely(const std::string& output, const std::function<bool(const std::string&)>& write) {
    PendingOutput pending(output);
    if (!pending.Create()) {
        std::fprintf(stderr, "qorvcd inspect: cannot create %s: %s\n", output.c_str(), pending.Error().c_str());
        return false;
    }
    if (!write(pending.TemporaryPath())) return false;
    if (!pending.Keep()) {
        std::fprintf(stderr, "qorvcd inspect: %s\n", pending.Error().c_str());
        return false;
    }
    std::fprintf(stderr, "%s written\n", output.c_str());
    return true;
}

// The graph file, then its drawing when Graphviz is installed. Messages go
// to stderr: stdout carries the inspection alone.
int WriteGraph(const InspectOptions& options, const DecodedImage& image) {
    const std::string svg = SvgBeside(options.graph);
    const bool draw = svg != options.graph && HaveDot();
    for (const std::string& output : draw ? std::vector{options.graph, svg} : std::vector{options.graph}) {
        if (const std::string problem = GraphOutputProblem(options.image, output); !problem.empty()) {
            std::fprintf(stderr, "qorvcd inspect: %s\n", problem.c_str());
            return 2;
        }
    }
    const std::string dot = PlaybackGraphDot(image);
    if (!WriteSafely(options.graph, [&](const std::string& temporary) { return WriteTextFile(temporary, dot); })) {
        return 1;
    }
    if (draw && !WriteSafely(svg, [&](const std::string& temporary) { return RunDot(options.graph, temporary); })) {
        return 1;
    }
    return 0;
}

}  // namespace

int RunInspect(const InspectOptions& options) {
    DecodedImage image;
    std::string error;
    if (!DecodeImage(options.image, image, error)) {
        std::fprintf(stderr, "qorvcd inspect: %s\n", error.c_str());
        return 1;
    }
    bool ok = true;
    std::string text;
    if (options.json) {
        text = InspectJson(image, &ok);
    } else if (options.full) {
        text = InspectText(image, &ok);
    } else {
        text = InspectSummary(image);
        InspectJson(image, &ok);  // the same walk decides whether the image is damaged
    }
    if (!options.graph.empty()) {
        if (const int status = WriteGraph(options, image); status != 0) return status;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!ok) {
        std::fprintf(stderr, "qorvcd inspect: %s is damaged (see the errors in the output)\n",
                     options.image.c_str());
        return 2;
    }
    return 0;
}

}  // namespace qorvcd::cli
