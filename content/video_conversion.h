// Videos that a script names as they come from a camera or a phone (an .mp4,
// an .mkv, a plain .mpg ...) become the sector-mode files the disc takes,
// once per file and build, in the build's work folder. Files that already
// are sector-mode files, and files no decoder reads, go on as they always did.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "core/build_context.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/packed_stream.h"

namespace qorvcd {

class VideoConversions {
public:
    // Sets `use` to the file the build reads for `path` (written `name` in the
    // script): `path` itself, or its conversion. Returns kOk, or kCancelled or
    // kStepFailed after a log line that names the file and the reason.
    int FileFor(const BuildContext& ctx, const std::string& name, const std::string& path,
                std::optional<VideoStandard> norm, std::string& use);

    // For a track: a program stream that already fits the disc kind (as
    // `pack` takes it) is not converted into a work file but indexed into
    // `packed`, to be packed as it is copied, and `packedOnCopy` is set; any
    // other file goes as FileFor sends it.
    int TrackFileFor(const BuildContext& ctx, const std::string& name, const std::string& path,
                     std::optional<VideoStandard> norm, std::string& use, PackedStreamIndex& packed,
                     bool& packedOnCopy);

    // True for a file that opens and is not a sector-mode file: it may have
    // to be converted (and a track's norm is then read before it is).
    static bool MayNeedConversion(const std::string& path);

    // True for a real video that is not yet a sector-mode file; anything else
    // (a sector-mode file, a file no decoder reads) goes on as it is.
    static bool NeedsConversion(const std::string& path);

private:
    static bool PackedStreamFits(PackedStreamIndex& packed, DiscKind kind, std::optional<VideoStandard> norm);

    std::map<std::string, std::string> converted_;  // the user's file -> its sector-mode file
};

}  // namespace qorvcd
