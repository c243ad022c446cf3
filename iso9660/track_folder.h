// The folder that holds the video track files. Video CD 3.0 and this
// format's SVCD use \MPEGAV; CVD, SUPER-VCD and the SVCD of the standard
// (IEC 62107) use \MPEG2.
#pragma once

#include "core/disc_kind.h"

namespace qorvcd {

inline constexpr const char* kMpegAvFolder = "MPEGAV";
inline constexpr const char* kMpeg2Folder = "MPEG2";

// `standard`: the disc follows the standard's conventions.
inline const char* TrackFolderName(DiscKind kind, bool standard) {
    if (kind == DiscKind::Cvd || kind == DiscKind::SuperVcd) return kMpeg2Folder;
    return kind == DiscKind::Svcd && standard ? kMpeg2Folder : kMpegAvFolder;
}

}  // namespace qorvcd
