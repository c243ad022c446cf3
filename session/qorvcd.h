// The library's entry points: one call authors one disc image.
//
// QorSVCD and QorVCD30 read the authoring script, build the image and return
// the build's result code (0 success). The caller's two path buffers are
// lowered in place, as the log shows them. The image is written under a
// temporary name and takes its name only when the build succeeded: a failed
// build leaves whatever was at the image path as it was, and ends the log
// with ">>> Fail <<<". An image path that names one of the build's inputs is
// refused before anything is written.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/diagnostics.h"
#include "core/disc_kind.h"
#include "platform/log_list.h"
#include "platform/outputs.h"
#include "session/progress_window.h"

namespace qorvcd {

// How the host is reached and where the build keeps its files. Every member
// is optional.
struct BuildHost {
    MessageHandler showMessage;          // message boxes; default: into the log
    ProgressSink* progress = nullptr;    // the progress window's host side
    std::string systemFolder;            // default: $QORVCD_WORK_DIR, else the temp folder
    std::string settingsFolder;          // default: <exe>/../share/qorvcd/, then <exe>/
    std::optional<std::time_t> fixedTime;  // default: SOURCE_DATE_EPOCH, else the clock
    // Files the host will write from the image (a BIN, a cue sheet): kept off
    // the build's inputs and the image like the image itself.
    std::vector<NamedFile> otherOutputs;
    // Problems of the script with their file and line (errors the log also
    // shows, and warnings it does not); may be empty.
    DiagnosticSink diagnostics;
    // The disc's capacity in minutes. Given, a larger disc fails before its
    // tracks are written; without it, a disc over 80 minutes is a warning.
    std::optional<int> capacityMinutes;
};

// What a build writes. The BIN and its cue sheet come from the same pass that
// lays the image out: each sector's raw form is written as its unit is.
enum class BuildOutputs {
    Image,           // the disc image at imagePath
    ImageAndBinCue,  // the image, and NAME.bin and NAME.cue beside it (NAME.img -> NAME.cue)
    BinCueOnly,      // imagePath names the cue sheet NAME.cue; NAME.bin beside it; no image anywhere
};

// The cue sheet a build writes for `imagePath` (NAME.cue beside NAME.img, or
// the path itself for BinCueOnly), and the BIN that goes with it.
std::string CueSheetPathFor(const std::string& imagePath, BuildOutputs outputs);

// One build: the image to create, the script, and the kind built when the
// script names no MODE. The two path buffers belong to the caller and are
// lowered in place, as the log shows them.
struct BuildRequest {
    char* imagePath = nullptr;
    char* scriptPath = nullptr;
    DiscKind fallbackKind = DiscKind::Svcd;
    // A dry run: reads the script, probes and converts every file and
    // compiles the playback control, then stops before the layout; the
    // image is made and kept like any other, so give it a throwaway path.
    bool checkOnly = false;
    // The disc follows the Video CD 2.0 / SVCD conventions that independent
    // readers expect, instead of this format's own where the two differ.
    bool standard = false;
    BuildOutputs outputs = BuildOutputs::Image;
};

// Runs the build's steps in order, reporting to `log` and `host`; returns the
// build's result (core/results.h). Nothing throws out of it.
int Build(const BuildRequest& request, LogList* log, const BuildHost& host = {});

// The two classic entry points: Build with SVCD or Video CD 3.0 as the fallback kind.
int QorSVCD(char* imagePath, char* scriptPath, LogList* log, const BuildHost& host = {});
int QorVCD30(char* imagePath, char* scriptPath, LogList* log, const BuildHost& host = {});

}  // namespace qorvcd
