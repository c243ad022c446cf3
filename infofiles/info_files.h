// Writing the disc information files as work files in the build's work
// folder: INFO and ENTRIES (with the playback control compile that INFO
// depends on), TRACKS.SVD and the SEARCH.DAT header. The image layout later
// copies the work files into their sectors.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "core/results.h"
#include "infofiles/info_record.h"
#include "infofiles/scan_data.h"

namespace qorvcd {

class DirTree;
class ScriptReader;
class SegmentList;
struct SegmentItem;
class TrackList;
struct BuildContext;
struct PbcScript;

// The content byte of an item's first segment: from the script's codes, or
// on a Video CD 3.0 (whose script gives none) from what the file holds.
uint8_t FirstSegmentContent(DiscKind kind, const SegmentItem& item);

// SEARCH.DAT: its header and a zero table of ScanPointsFor(total) points.
// False (logged) when the work file cannot be written.
bool WriteSearchHeader(const BuildContext& ctx, uint32_t totalHundredths, uint8_t scanInterval);
// The same with a table of `points` points (a disc laid out to the standards
// reserves StandardScanPointsFor its tracks).
bool WriteSearchHeaderWithPoints(const BuildContext& ctx, uint32_t points, uint8_t scanInterval);

// TRACKS.SVD from the track list. False (logged) when the tracks do not fit
// the record or the work file cannot be written.
bool WriteTracksFile(const BuildContext& ctx, const TrackList& tracks);

// What INFO and ENTRIES are made of besides the script's [VCD] keys.
struct InfoFilesInput {
    const TrackList* tracks = nullptr;
    const SegmentList* segments = nullptr;
    std::array<char, 8> entryId{};  // the session's ENTRIES identifier
    uint32_t psdSize = 0;
    uint16_t lotEntryCount = 0;
    ScanDataState* scanData = nullptr;  // null or closed: no scan indexes appended
};

// How reading the [VCD] album keys ended.
enum class AlbumKeys { Read, NoSection, KeyError };

// Reads ALBUM, VERSION, VOLUME and ANZVOL of the [VCD] section into `record`.
// A key without "=" shows "Find <KEY> error"; a value that does not fit its
// field is logged with the field's limit. Both end the reading with KeyError.
AlbumKeys ReadAlbumKeys(ScriptReader& script, const BuildContext& ctx, InfoFileRecord& record);

// Fills the INFO fields that come from the content: PAL flags, PSD size,
// first segment address, LOT count, segments and their content bytes (which
// also appends each item's SCANDATA scan index). False (logged) when the
// tracks or segments do not fit the record.
bool FillInfoContent(const BuildContext& ctx, const InfoFilesInput& input, InfoFileRecord& record);

// Writes the ENTRIES header and INFO work files. Returns kOk or
// kStepFailed (no [VCD] section, a key or value refused, a record that
// cannot hold the content, a work file that cannot be written).
int WriteInfoAndEntries(ScriptReader& script, const BuildContext& ctx, const InfoFilesInput& input);

// Everything the session hands the information files step.
struct InfoFilesJob {
    ScriptReader* script = nullptr;
    DirTree* tree = nullptr;
    TrackList* tracks = nullptr;
    SegmentList* segments = nullptr;
    PbcScript* pbc = nullptr;
    std::array<char, 8> entryId{};
    ScanDataState* scanData = nullptr;
    // Filled by the playback control compile.
    uint32_t psdSize = 0;
    uint16_t lotEntryCount = 0;
};

// The whole step: places the control files of the tree at their fixed
// sectors, reads and compiles the playback control, writes TRACKS.SVD (SVCD
// kinds), ENTRIES and INFO, and records the work files' sizes in the tree.
// Returns the session result it calls for: kOk, kPbcRejected or kStepFailed.
int WriteInfoFiles(const BuildContext& ctx, InfoFilesJob& job);

// The ENTRIES table takes one entry per track start and one per entry point
// (a play list that starts a track part way in), in the order the tracks
// are written. True when they all fit; otherwise logs which track or play
// list would take the first entry beyond the table, with its script line.
bool CheckEntriesCapacity(const BuildContext& ctx, const TrackList& tracks, const PbcScript& pbc);

}  // namespace qorvcd
