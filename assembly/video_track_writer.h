// Appends the MPEG video tracks after track 1 and completes what depends on
// where their sectors fall: the track files' extents in their folder, the
// ENTRIES table, the play-item numbers of entry points in the PSD, the
// SEARCH.DAT scan points (SVCD kinds), the SCANDATA scan points (CVD kinds)
// and the CVD track table in logical sector 0. The finished ENTRIES, SEARCH.DAT,
// PSD and SCANDATA are then copied into the sectors reserved for them.
//
// The writer itself only copies the units; each of those parts is a
// TrackObserver (assembly/track_observer_p.h) that it tells about every track
// and unit.
#pragma once

#include <cstdint>
#include <vector>

#include "core/results.h"

namespace qorvcd {

class ImageContainer;
struct BuildContext;
struct FileSystemState;
struct ScanDataState;
struct TrackEntry;

// Unrecorded sectors in front of every video track and after the last one.
inline constexpr uint32_t kTrackLeadGap = 152;
// Name of the file that receives a unit without a pack header.
inline constexpr const char* kPacketErrorDumpFile = "error.log";

// Writes every track of `tracks` in order. `scanData` is the build's SCANDATA
// state with its work file open (CVD and SUPER-VCD), else null. Returns kOk;
// on failure (kStepFailed) or Cancel (kCancelled) the call ends early; an
// entry point beyond its track's end makes the result kEntryPointBeyondTrack
// and the writer goes on.
int WriteVideoTracks(ImageContainer& image, const BuildContext& ctx, std::vector<TrackEntry>& tracks,
                     FileSystemState& fs, ScanDataState* scanData);

}  // namespace qorvcd
