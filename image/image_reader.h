// Reads a finished disc image through its own records alone: the image
// header, the info record at the start of every track and the tail with its
// run records. Nothing about how the image was built is assumed, so the
// reader serves the exporter, the inspector and tests of the writers alike.
//
// Every number read from the file is checked before it is used: a truncated
// or damaged image gives a clear error, never a crash or a huge allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/sector_unit.h"
#include "image/container_records.h"
#include "platform/bytes.h"
#include "platform/file.h"

namespace qorvcd {

class InspectVisitor;

// One track as the image describes it.
struct ImageTrack {
    unsigned number = 1;          // 1 = the data track, then 2, 3, ...
    TrackRecord record;           // from the image header area
    InfoRecord info;              // at the start of the track's data
    TrackBlockHeader block;       // from the tail
    std::vector<RunRecord> runs;  // from the tail, in order
    uint32_t gapBefore = 0;       // unstored sectors in front of the track
    uint32_t startSector = 0;     // logical sector of its first sector
    uint32_t sectorCount = 0;     // logical sectors its runs cover
    uint32_t storedUnits = 0;     // of which stored in the image

    uint32_t EndSector() const { return startSector + sectorCount; }
    // Feeds the track and its runs to the inspector.
    void Inspect(InspectVisitor& v) const;
};

enum class SectorState {
    Stored,    // the image holds the sector's unit
    Reserved,  // the sector exists on the disc but is not stored (empty)
    Gap,       // unstored gap in front of a video track
    Missing,   // beyond the last track
};

struct SectorPlace {
    SectorState state = SectorState::Missing;
    unsigned track = 0;         // track number, 0 when missing
    RunForm form = RunForm::Form1;
    uint64_t offset = 0;        // image offset of the unit when stored
};

// One sector's content as read from the image.
struct SectorContent {
    SectorState state = SectorState::Missing;
    RunForm form = RunForm::Form1;  // of a stored unit
    Subheader subheader;
    // The unit's user data: 2048 bytes for Form 1, 2324 for Form 2; all zero
    // (2324 bytes) for an unstored sector.
    std::vector<uint8_t> data;
};

class ImageReader {
public:
    // Largest tail accepted: 99 tracks of the most runs a block can count.
    static constexpr uint64_t kMaxTailLength = 99ull * (TrackBlockHeader::kSize + 32767ull * RunRecord::kSize) +
                                               TailHeader::kSize;
    // The most logical sectors a disc can have, gaps included: 100 minutes of
    // 75 sectors a second, as disc addresses end at 99:59:74. (The video track
    // writer stops a build at that address, then closes the track with its
    // reserved sectors, which still fit.) Reserved sectors are not stored, so
    // the file's size cannot bound them; this does, and keeps a damaged run
    // from making an export write gigabytes.
    static constexpr uint32_t kMaxDiscSectors = 100u * kFramesPerMinute;
    // The least bytes each track adds to an image: its track record, its info
    // record and its block in the tail.
    static constexpr uint64_t kMinTrackBytes = TrackRecord::kSize + InfoRecord::kSize + TrackBlockHeader::kSize;

    // Opens and indexes `path`; false with Error() naming the fault.
    bool Open(const std::string& path);
    const std::string& Error() const { return error_; }
    // Inconsistencies that do not stop reading (a track record's count that
    // disagrees with the runs, say).
    const std::vector<std::string>& Warnings() const { return warnings_; }

    const ImageHeader& Header() const { return header_; }
    const TailHeader& Tail() const { return tail_; }
    uint64_t TailOffset() const { return tailOffset_; }
    uint64_t ImageLength() const { return imageLength_; }
    const std::vector<ImageTrack>& Tracks() const { return tracks_; }
    // One past the last logical sector of the last track (its reserved
    // sectors included).
    uint32_t EndSector() const { return tracks_.empty() ? 0 : tracks_.back().EndSector(); }

    SectorPlace Locate(uint32_t sector) const;
    // Reads one sector; false (with Error()) only on an I/O failure or a
    // sector beyond the last track.
    bool ReadSector(uint32_t sector, SectorContent& out);
    // The 2048 bytes of a data sector's user data (zeros for an unstored
    // sector, the first 2048 bytes for a Form 2 unit).
    bool ReadUserData2048(uint32_t sector, uint8_t* out);
    // `length` bytes of a file laid out from `firstSector` in consecutive
    // sectors, 2048 bytes of user data each. Refuses lengths over `limit`.
    bool ReadExtent(uint32_t firstSector, uint32_t length, std::vector<uint8_t>& out,
                    uint32_t limit = 16u << 20);

private:
    // A stretch of consecutive logical sectors with one state.
    struct Span {
        uint32_t firstSector;
        uint32_t count;
        SectorState state;
        unsigned track;
        RunForm form;
        uint64_t offset;  // image offset of the first unit when stored
    };

    bool Fail(const std::string& reason);
    bool ReadAt(uint64_t offset, void* buffer, size_t size, const char* what);
    bool ReadHeaderArea();
    bool FindTail();
    bool WalkInfoRecords(uint64_t& tailOffset);
    bool ScanBackForTail(uint64_t& tailOffset);
    bool IsTailAt(uint64_t offset);
    bool ReadTailBlocks();
    bool IndexTrack(ImageTrack& track, const std::vector<uint8_t>& tail, uint64_t& cursor);
    bool ReadTrackInfo(ImageTrack& track);
    bool PlaceTrack(ImageTrack& track);
    bool ReadRuns(ImageTrack& track, const std::vector<uint8_t>& tail, uint64_t& cursor);
    bool BuildSpans();
    void CrossCheck();

    File file_;
    std::string error_;
    std::vector<std::string> warnings_;
    uint64_t imageLength_ = 0;
    uint64_t tailOffset_ = 0;
    ImageHeader header_;
    TailHeader tail_;
    std::vector<TrackRecord> trackRecords_;
    std::vector<InfoRecord> walkedInfo_;  // info records found by walking, may be short
    std::vector<ImageTrack> tracks_;
    std::vector<Span> spans_;
};

}  // namespace qorvcd
