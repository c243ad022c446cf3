// SCANDATA (CVD and SUPER-VCD): the track times, one scan index and disc
// address per segment item, and the scan points of the tracks. It is built
// in a work file over several stages of a build: the header at the session
// reset, the track times after the segment items, the scan indexes with the
// INFO file, then the segment writer and the video track writer append.
//
// In the work file the counts at offsets 12 and 14 are least significant
// byte first and offset 10 holds the reserved point count; the track writer
// turns all three into big-endian values (offset 10 then holds the scan
// entry count) when it copies the file onto the disc.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"

namespace qorvcd {

class InspectVisitor;
struct BuildContext;

namespace scan_data_layout {
inline constexpr char kFileId[] = "SCAN_VCD";
inline constexpr size_t kFileIdSize = 8;
inline constexpr size_t kVersion = 8;
inline constexpr size_t kReserved9 = 9;
inline constexpr size_t kPointCount = 10;        // 16 bits
inline constexpr size_t kTrackCount = 12;        // 16 bits
inline constexpr size_t kSegmentItemCount = 14;  // 16 bits, written by the segment writer
inline constexpr size_t kHeaderSize = 16;
inline constexpr size_t kTrackTimeSize = 3;      // BCD minutes, seconds, frames
inline constexpr size_t kScanIndexSize = 2;      // big-endian
inline constexpr size_t kAddressSize = 3;        // BCD minutes, seconds, frames
}  // namespace scan_data_layout

inline constexpr uint8_t kScanDataVersion = 1;
// Scan entries each segment item takes in the scan index.
inline constexpr uint32_t kScanIndexStep = 3;

// The session's SCANDATA work file and its two counters.
struct ScanDataState {
    File scanDataFile;            // open from CreateScanData until the layout closes it
    uint32_t scanPointCount = 0;  // scan entries written (segment items and track points)
    uint32_t scanIndex = 0;       // scan index of the next segment item
    // Work-file offset of the entries the segment writer reserves for the
    // tracks' scan points; the video track writer fills them from there.
    uint64_t scanDataTrackSlot = 0;

    bool IsOpen() const { return scanDataFile.IsOpen(); }
};

// Creates (or truncates) ctx.workFolder + "scandata.dat" and writes its
// 16-byte header with the counts zero. On failure logs
// "Warning :: Can't create %s" and leaves the state closed: every later stage
// then skips SCANDATA.
bool CreateScanData(ScanDataState& state, const BuildContext& ctx);

// Appends the cumulative time of each track (durations in hundredths, list
// order) and stores the reserved point count and the track count. False when
// the file is open and a write failed, or when a count does not fit its
// 16 bits (`error` names it).
bool WriteScanTrackTimes(ScanDataState& state, std::span<const uint32_t> durations,
                         std::string& error);

// Appends the scan index of one segment item (called once per item, after
// its first INFO content byte) and advances the counters. Does nothing when
// the work file is not open.
void AppendScanIndex(ScanDataState& state);

// Closes the work file and deletes it from disk (the clean-up).
void DiscardScanData(ScanDataState& state);

// How the 16-bit counts of the header are stored.
enum class ScanDataForm {
    WorkFile,  // least significant first; offset 10 is the reserved point count
    Disc,      // big-endian; offset 10 is the scan entry count
};

struct ScanDataRecord {
    std::array<uint8_t, scan_data_layout::kFileIdSize> fileId{};
    uint8_t version = 0;
    uint16_t pointCount = 0;
    uint16_t trackCount = 0;
    uint16_t segmentItemCount = 0;
    std::vector<std::array<uint8_t, 3>> trackTimes;  // cumulative BCD times
    std::vector<uint16_t> segmentScanIndexes;
    std::optional<uint16_t> endScanIndex;  // the index after the last item
    std::vector<int64_t> segmentSectors;   // first sector of each item
    std::vector<int64_t> scanPoints;       // logical sectors of the track scan points

    // Reads a SCANDATA file in the given form (the bytes do not tell the two
    // apart); trailing zero padding after the scan points is ignored on the
    // disc form. Nothing, with `why` set, when a count runs past the bytes.
    static std::optional<ScanDataRecord> Decode(std::span<const uint8_t> bytes, ScanDataForm form,
                                                std::string* why = nullptr);

    // Feeds the record's fields to the inspector.
    void Inspect(InspectVisitor& v) const;

    bool operator==(const ScanDataRecord&) const = default;
};

}  // namespace qorvcd
