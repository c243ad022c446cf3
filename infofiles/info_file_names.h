// Names, identifiers and versions of the disc information files, by disc
// kind: one table so the writers here, the file placement and the track
// writer agree on every name. Work copies carry the names the files have on
// the disc, so the session can delete them by the names in its tree.
#pragma once

#include <cstdint>

#include "core/disc_kind.h"

namespace qorvcd {

// Every information file record is one 2048-byte Form 1 sector.
inline constexpr uint32_t kInfoFileSize = 2048;

struct InfoFileNames {
    const char* controlFolder;     // disc folder holding INFO, ENTRIES, LOT, PSD
    const char* infoWorkFile;      // work copies in the work folder
    const char* entriesWorkFile;
    const char* systemId;          // 8 bytes at the start of INFO
    const char* entriesId;         // default ENTRIES identifier (8 bytes)
    uint8_t entriesVersion;
};

inline const InfoFileNames& InfoFileNamesOf(DiscKind kind) {
    static constexpr InfoFileNames kNames[] = {
        {"VCD", "INFO.VCD", "ENTRIES.VCD", "VIDEO_CD", "ENTRYVCD", 2},
        {"SVCD", "INFO.SVD", "ENTRIES.SVD", "SUPERVCD", "ENTRYSVD", 1},
        {"HQVCD", "INFO.VCD", "ENTRIES.VCD", "HQ-VCD  ", "ENTRYVCD", 1},
        {"SVCD", "INFO.SVD", "ENTRIES.SVD", "SUPERVCD", "ENTRYVCD", 1},
    };
    return kNames[int(kind)];
}

// The ENTRIES identifier a build starts from: the table's, except that
// this format's SVCD writes "ENTRYSVD" where the standard (IEC 62107) and its
// readers expect "ENTRYVCD", which a standard disc carries.
inline const char* EntriesIdentifier(DiscKind kind, bool standard) {
    return standard ? "ENTRYVCD" : InfoFileNamesOf(kind).entriesId;
}

// Work copies of the SVCD kinds' files, and the scan data work file of CVD
// and SUPER-VCD (deleted through its own open file, not by name).
inline constexpr const char* kTracksWorkFile = "TRACKS.SVD";
inline constexpr const char* kSearchWorkFile = "SEARCH.DAT";
inline constexpr const char* kScanDataWorkFile = "scandata.dat";

}  // namespace qorvcd
