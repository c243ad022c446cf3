// The image layout driver: writes track 1 in sector order (system area,
// volume descriptors, path tables, directories, control files, segment items,
// the data folder and the application files), closes it, writes the video
// tracks and finishes the image with its tail.
#pragma once

#include <string>
#include <vector>

#include "assembly/app_writer.h"
#include "core/progress.h"
#include "core/results.h"

namespace qorvcd {

class DirTree;
class File;
class ImageContainer;
class ScriptReader;
class SegmentList;
struct BuildContext;
struct FileSystemState;
struct ScanDataState;
struct TrackEntry;

// Track 1 ends at least this many reserved sectors after its last file.
inline constexpr uint32_t kDataTrackTrailingSectors = 10;
// Last sector (exclusive) the control files may reach: the segment area's start.
inline constexpr uint32_t kControlAreaEnd = 300;

// What the layout works on: the build's own objects, by reference.
struct LayoutInputs {
    const BuildContext& ctx;
    ImageContainer& image;  // created, with the tail; disc kind set
    DirTree& tree;          // placed (PlaceFiles has run)
    FileSystemState& fs;    // from PlaceFiles
    std::vector<TrackEntry>& tracks;
    SegmentList& segments;
    ScriptReader* script = nullptr;        // its [ISO9660] section; may be null
    ProgressWindowFactory makeProgressWindow;  // the layout's own window; may be empty
    ScanDataState* scanData = nullptr;     // the SCANDATA work file and counters (CVD kinds)
    AppWriterInputs apps;                  // dataFolder is taken from `fs`
};

// Writes the whole image. Returns kOk, kCancelled, or the code of the failure
// (kNoFreeSpace when the tracks do not fit); the session log has the lines.
int LayOutImage(LayoutInputs& in);

// Where track 1 ends when its last file ends before `nextSector`: at sector 300
// or later, and never fewer than 10 reserved sectors after the last file.
uint32_t DataTrackEnd(uint32_t nextSector);

// The disc's sector count once the layout has ended at `nextSector`. The
// track writer counts the gap in front of a track after every track, the
// last one too, where no track follows: the disc ends before that gap.
uint32_t DiscSectorCount(uint32_t nextSector, size_t videoTracks);

}  // namespace qorvcd
