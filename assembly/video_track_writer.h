// Appends the MPEG video tracks after track 1 and completes what depends on
// where their sectors fall: the track files' extents in their folder, the
// ENTRIES table, the play-item numbers of entry points in the PSD, the
// SEARCH.DAT scan points (SVCD kinds), the SCANDATA scan points (CVD kinds)
// and the CVD track table in logical sector 0. The finished ENTRIES, SEARCH.DAT,
// PSD and SCANDATA are then copied into the sectors reserved for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/results.h"
#include "platform/file_identity.h"

namespace qorvcd {

class File;
class ImageContainer;
struct BuildContext;
struct FileSystemState;
struct ScanDataState;
struct TrackEntry;

// Unrecorded sectors in front of every video track and after the last one.
inline constexpr uint32_t kTrackLeadGap = 152;
// Every track-file record of the track folder (e.g. "AVSEQ01.MPG;1" with its
// CD-XA area) is this long.
inline constexpr size_t kTrackFileRecordSize = 60;
// The track folder's "." and ".." records come first.
inline constexpr size_t kFirstTrackFileRecord = 96;
// Name of the file that receives a unit without a pack header.
inline constexpr const char* kPacketErrorDumpFile = "error.log";

// Writes every track of `tracks` in order. `scanData` is the build's SCANDATA
// state with its work file open (CVD and SUPER-VCD), else null. Returns kOk;
// on failure (kStepFailed) or Cancel (kCancelled) the call ends early; an
// entry point beyond its track's end makes the result kEntryPointBeyondTrack
// and the writer goes on.
int WriteVideoTracks(ImageContainer& image, const BuildContext& ctx, std::vector<TrackEntry>& tracks,
                     FileSystemState& fs, ScanDataState* scanData);

// What the writer reads from one 2336-byte unit of a track file.
struct TrackUnitFacts {
    bool video = false;          // the coding byte marks a video unit
    bool packHeadOk = false;     // a pack start code at unit byte 8
    uint32_t clockReference = 0; // system clock reference base (low 32 bits, 90 kHz)
    bool iPicture = false;       // the pack holds the start of an intra-coded picture
};
TrackUnitFacts InspectTrackUnit(const uint8_t* unit);

// Checks both MPEG writers make on an input file that an earlier step checked
// (the probe, the segment measure): a file that changed since, or a unit whose
// subheader copies disagree, must fail the build instead of becoming a disc
// that looks good. Each returns the line to log, empty when all is well.

// `file` is open on the input shown as `name`; `checked` is its stamp from the
// earlier step (none when no step recorded one: nothing to compare).
std::string InputChangedLine(const File& file, const std::string& name,
                             const std::optional<FileIdentity>& checked);
// `unit` is one 2336-byte unit as read from the input, at byte `offset` of it.
std::string DamagedUnitLine(const uint8_t* unit, const std::string& name, uint64_t offset);

}  // namespace qorvcd
