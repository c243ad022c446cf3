// Compiles the playback control read from the script into the PSD and LOT
// files: list links become descriptor offsets, items become play-item
// numbers, and play lists that start inside a track become entry points of
// that track (the video track writer fills in their play-item numbers).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "content/pbc_script.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "core/disc_kind.h"

namespace qorvcd {

inline constexpr uint16_t kPlayItemNotFound = 0xFFFF;

// Work file names (also the names of the files on the disc).
const char* PsdFileName(DiscKind kind);  // "PSD.VCD" or "PSD.SVD"
const char* LotFileName(DiscKind kind);  // "LOT.VCD" or "LOT.SVD"

struct PsdImage {
    bool ok = true;  // false: a reference could not be resolved (already reported)
    std::vector<uint8_t> psd;
    std::vector<uint8_t> lot;    // kLotSize bytes
    uint16_t lotEntryCount = 0;  // list IDs given out
};

struct PsdCompileResult {
    bool ok = true;  // false: the build must fail (the reason is reported)
    uint32_t psdSize = 0;
    uint16_t lotEntryCount = 0;
    std::string psdPath;  // work files in ctx.workFolder
    std::string lotPath;
};

// Builds the PSD and LOT bytes. Sets the lists' psdOffset and adds the entry
// points to `tracks`.
PsdImage BuildPsd(PbcScript& pbc, TrackList& tracks, const SegmentList& segments,
                  const BuildContext& ctx);

// BuildPsd, then writes the two work files. Failure to resolve a reference
// or to write a file gives ok = false; the sizes are recorded in every case.
PsdCompileResult CompilePsd(PbcScript& pbc, TrackList& tracks, const SegmentList& segments,
                            const BuildContext& ctx);

// The psdOffset of the selection, else the play list or end list, with this
// ID; -1 when there is none.
int32_t FindListOffset(const PbcScript& pbc, std::string_view id);

// The play-item number of the segment item, else the track, with this ID.
// Logs "Not found ID %s" and returns kPlayItemNotFound when there is none.
uint16_t FindPlayItem(const SegmentList& segments, const TrackList& tracks, std::string_view id,
                      const BuildContext& ctx);

}  // namespace qorvcd
