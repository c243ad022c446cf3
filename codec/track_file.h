// Any video into the sector-mode file a track or a segment clip takes on the
// disc: a program stream that already fits the kind is packed as it is; any
// other video is first transcoded (in a work folder) and then packed.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/disc_kind.h"
#include "mpeg/mpeg_probe.h"
#include "platform/log_list.h"

namespace qorvcd::codec {

struct TrackFileRequest {
    std::string inputPath;
    std::string outputPath;  // the sector-mode file written
    std::string workFolder;  // holds the transcoded program stream for a moment; ends with '/'
    DiscKind kind = DiscKind::Svcd;
    std::optional<::qorvcd::VideoStandard> norm;  // none: the source's frame rate decides
    MessageHandler showMessage;                   // the packer's format messages
    std::function<void(double done, double total)> progress;  // seconds of the transcoding
    std::function<bool()> cancelRequested;
};

struct TrackFileOutcome {
    int result = 0;           // kOk, kStepFailed or kCancelled (core/results.h)
    std::string error;        // the reason; a transcoder's or an unreadable file's names the file
    bool transcoded = false;  // the source did not fit the kind as it was
    ::qorvcd::VideoStandard norm = ::qorvcd::VideoStandard::Unknown;  // of a transcoded file
};

TrackFileOutcome MakeTrackFile(const TrackFileRequest& request);

// True when `path` already holds sector-mode units (2336 bytes each, the
// subheader written twice at its start): such a file goes on the disc as it is.
bool IsSectorModeFile(const std::string& path);
// The same, none when the file cannot be opened or read.
std::optional<bool> CheckSectorModeFile(const std::string& path);

}  // namespace qorvcd::codec
