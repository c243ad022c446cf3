// The sub-commands of the qorvcd program. main.cpp parses the command line
// (CLI11) and calls one of these; each returns the process exit status and
// prints its own errors to stderr.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/diagnostics.h"

namespace qorvcd::cli {

struct BuildOptions {
    std::string script;
    std::string image;
    bool vcd30 = false;      // fallback kind Video CD 3.0 instead of SVCD
    bool binCue = false;     // also write IMAGE's BIN/CUE beside it
    std::string workDir;     // system folder override
    std::string settingsDir; // folder of the *.CFG settings files
    bool quiet = false;
    std::optional<int> capacityMinutes;  // 74, 80, 90 or 99; given, a larger disc fails
    bool standard = false;   // the Video CD 2.0 / SVCD conventions of independent readers
};
int RunBuild(const BuildOptions& options);

// `qorvcd check`: a dry run of the build that writes nothing and reports
// every problem of the script as FILE:LINE: error|warning: text.
struct CheckOptions {
    std::string script;
    bool vcd30 = false;
    std::string settingsDir;
    std::optional<int> capacityMinutes;
    bool warningsOk = false;  // only errors make the exit status non-zero
    bool standard = false;
};
int RunCheck(const CheckOptions& options);

// The diagnostics of a build, printed on stderr as they come and counted.
struct DiagnosticTally {
    int errors = 0;
    int warnings = 0;
    std::string lastText;  // a message box with this text is already printed
};
DiagnosticSink PrintDiagnostics(DiagnosticTally& tally, std::function<void()> beforePrint = {});

struct ExportOptions {
    std::string image;
    std::string cue;      // NAME.cue; the BIN is NAME.bin beside it
    std::string isoPath;  // optional: track 1 as a plain 2048-byte ISO image
};
int RunExport(const ExportOptions& options);

class TerminalProgress;
struct ExportOutcome {
    bool ok = false;
    bool cancelled = false;  // a stop signal ended it
    std::string error;
};
// The export with its progress on `progress`, which also carries the stop
// signals; nothing is left behind unless it succeeded.
ExportOutcome ExportImage(const ExportOptions& options, TerminalProgress& progress);

struct InspectOptions {
    std::string image;
    bool json = false;   // every decoded field as JSON
    bool full = false;   // every decoded field as text (default: the summary)
    std::string graph;   // the menus as a Graphviz file (and its SVG when `dot` is installed)
};
int RunInspect(const InspectOptions& options);

struct NavigateOptions {
    std::string image;
    std::string keys;      // pressed one after another; empty: read from stdin
    bool keysGiven = false;
};
int RunNavigate(const NavigateOptions& options);

struct PackOptions {
    std::string input;
    std::string output;
    std::string kind = "svcd";  // vcd30 | svcd | cvd | supervcd
    std::string norm;           // pal | ntsc; empty: from the source's frame rate
};
int RunPack(const PackOptions& options);

struct ProbeOptions {
    std::string file;
};
int RunProbe(const ProbeOptions& options);

struct StillOptions {
    std::string input;
    std::string output;
    std::string kind = "svcd";
    // Picture mode 2 (normal) or 3 (high resolution); 0 when not asked: a BMP
    // of a standard frame size is then normal, any other picture by its size.
    int mode = 0;
    bool hires = false;  // high resolution, as mode 3
    std::string norm;    // "pal" or "ntsc"; empty: by the picture's height
};
int RunStill(const StillOptions& options);

struct MakeOptions {
    std::vector<std::string> videos;    // the tracks, in this order
    std::vector<std::string> pictures;  // a slideshow after the videos
    std::string cue;                    // OUT/NAME.cue; NAME.bin, NAME.txt (and NAME.img) beside it
    std::string kind = "svcd";
    std::string norm;                   // pal | ntsc; empty: the first video's frame rate
    std::string title;                  // the album name and the menu's title
    bool menu = false;                  // a menu still with one choice per video
    double chapterMinutes = 0;          // an entry point every so many minutes; 0: none
    bool image = false;                 // keep the disc image NAME.img too
    bool standard = false;              // the Video CD 2.0 / SVCD conventions of independent readers
    std::string workDir;
    std::string settingsDir;
    bool quiet = false;
};
int RunMake(const MakeOptions& options);

}  // namespace qorvcd::cli
