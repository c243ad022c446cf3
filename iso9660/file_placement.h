// Puts the video track files and the segment items into the directory tree,
// gives every segment item its first sector, finds the data folder and ties
// EXT\SCANDATA.DAT to the scan data work file of the build.
#pragma once

#include <string>
#include <vector>

#include "core/disc_kind.h"
#include "core/results.h"
#include "iso9660/file_system_state.h"

namespace qorvcd {

class DirTree;
struct BuildContext;
struct SegmentItem;
struct TrackEntry;

// First sector of the segment-item area (disc address 00:06:00).
inline constexpr uint32_t kSegmentAreaStart = 300;

// `trackIdPrefix` names the track files ("AVSEQ", "MUSIC"). Returns kOk, or
// kStepFailed (its line is logged). Sets
// state.dataFolder and state.segmentSectors.
int PlaceFiles(DirTree& tree, const BuildContext& ctx, const std::vector<TrackEntry>& tracks,
               const std::string& trackIdPrefix, const std::vector<SegmentItem>& segments,
               FileSystemState& state);

// The disc file name of the n-th track file (from 1) and of a segment item.
std::string TrackFileName(const std::string& prefix, unsigned n, DiscKind kind);
std::string SegmentFileName(uint32_t itemNumber, DiscKind kind);

}  // namespace qorvcd
