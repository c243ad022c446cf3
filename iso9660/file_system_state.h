// What the file-system writers of track 1 leave for the writers after them:
// the running directory sector, the data folder written late, and the image
// positions of the units that the video track writer fills in afterwards.
#pragma once

#include <cstdint>
#include <optional>

#include "iso9660/directory_record.h"

namespace qorvcd {

struct DirNode;

struct FileSystemState {
    // Running logical sector of the path-table and directory writers.
    uint32_t dirSector = 0;
    // The data folder (applications, SCANDATA): written after the segments.
    DirNode* dataFolder = nullptr;
    uint32_t dataParentSectors = 0;  // length in sectors of its parent directory
    uint32_t dataParentSector = 0;   // first sector of its parent directory
    // Sectors of the segment-item area (whole segments, the last item exact).
    uint32_t segmentSectors = 0;
    // Image position of the track folder's first directory unit, when the
    // build has tracks.
    std::optional<uint64_t> trackDirPosition;
    // Image positions of the first units of ENTRIES, PSD and SEARCH.DAT.
    uint64_t entriesPosition = 0;
    uint64_t psdPosition = 0;
    uint64_t searchPosition = 0;
    // Image position of EXT\SCANDATA.DAT's first unit (the application
    // writer copies it; the video track writer fills it in).
    uint64_t scanDataPosition = 0;
    // Recording time of the most recent directory record (the volume
    // descriptor's root record takes it).
    RecordTime lastRecordTime;
};

}  // namespace qorvcd
