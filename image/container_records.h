// The records of the CD-Creator disc image container and of its tail.
//
// The image starts with an ImageHeader and one TrackRecord per track; each
// track's data begins with an InfoRecord followed by its stored units. The
// tail, appended at the very end, starts with a TailHeader and then holds,
// per track, a TrackBlockHeader followed by the RunRecords that map the
// track's logical sectors to byte ranges of the image.
//
// Every record has the same contract: `Encode` gives exactly kSize bytes;
// `Decode` reads the record from the front of the bytes (longer bytes are
// fine), checking the length, the magic texts and the values it cannot hold,
// and gives nothing, with the reason in `why`, when the bytes are not the
// record. All integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorvcd {

class InspectVisitor;

// Marks of the RIFF-style chunks of the container.
inline constexpr char kRiffMagic[4] = {'R', 'I', 'F', 'F'};
inline constexpr char kImagMagic[4] = {'i', 'm', 'a', 'g'};
inline constexpr char kDiscMagic[4] = {'d', 'i', 's', 'c'};
inline constexpr char kInfoMagic[4] = {'i', 'n', 'f', 'o'};
inline constexpr char kOfsMagic[4] = {'o', 'f', 's', ' '};

// Track kinds of a TrackRecord, as the container's own codes.
enum class ContainerTrackKind : uint16_t {
    Video = 3,  // MPEG track of Form 2 units
    Data = 4,   // track 1: the file system and the segment items
};

// Unit form of a RunRecord, as the container's own codes.
enum class RunForm : uint32_t {
    Form1 = 2,  // 2056-byte units (subheader + 2048)
    Form2 = 3,  // 2332-byte units (subheader + 2324)
};

// Size in the image of one unit of `form`.
uint32_t UnitSizeOf(RunForm form);

struct ImageHeader {
    static constexpr size_t kSize = 112;
    static constexpr size_t kOffsetRiff = 0;
    static constexpr size_t kOffsetChunkSize = 4;        // fixed 49
    static constexpr size_t kOffsetImag = 8;
    static constexpr size_t kOffsetReserved12 = 12;      // 8 zero bytes
    static constexpr size_t kOffsetValue20 = 20;         // fixed 37
    static constexpr size_t kOffsetValue22 = 22;         // fixed 2
    static constexpr size_t kOffsetPlaceholder = 24;     // 32 characters
    static constexpr size_t kOffsetValue56 = 56;         // fixed 0
    static constexpr size_t kOffsetDiscRiff = 58;
    static constexpr size_t kOffsetDiscChunkSize = 62;   // 78 + 32 x video tracks
    static constexpr size_t kOffsetDisc = 66;
    static constexpr size_t kOffsetReserved70 = 70;      // 8 zero bytes
    static constexpr size_t kOffsetValue78 = 78;         // fixed 16
    static constexpr size_t kOffsetValue80 = 80;         // fixed 1
    static constexpr size_t kOffsetTrackCount = 82;
    static constexpr size_t kOffsetValue84 = 84;         // fixed 0
    static constexpr size_t kOffsetValue86 = 86;         // fixed 16
    static constexpr size_t kOffsetValue88 = 88;         // fixed 0
    static constexpr size_t kOffsetValue90 = 90;         // fixed 5
    static constexpr size_t kOffsetValue92 = 92;         // fixed 0
    static constexpr size_t kOffsetValue94 = 94;         // fixed 18
    static constexpr size_t kOffsetTrackCount2 = 96;
    static constexpr size_t kOffsetValue98 = 98;         // fixed 1
    static constexpr size_t kOffsetValue100 = 100;       // fixed 1
    static constexpr size_t kOffsetValue102 = 102;       // fixed 0
    static constexpr size_t kOffsetValue104 = 104;       // fixed 3
    static constexpr size_t kOffsetReserved106 = 106;    // 6 zero bytes

    static constexpr uint32_t kChunkSize = 49;
    static constexpr uint32_t kDiscChunkBase = 78;
    static constexpr char kPlaceholderText[] = "Placeholder for the image header";
    // The most tracks a disc can hold (the count lives in 16 bits, and a
    // CD has at most 99 tracks).
    static constexpr uint16_t kMaxTrackCount = 99;

    uint16_t trackCount = 1;  // track 1 plus the video tracks

    uint32_t DiscChunkSize() const { return kDiscChunkBase + 32u * (trackCount - 1u); }
    std::vector<uint8_t> Encode() const;
    static std::optional<ImageHeader> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    bool operator==(const ImageHeader&) const = default;
};

struct TrackRecord {
    static constexpr size_t kSize = 32;
    static constexpr size_t kOffsetRecordSize = 0;      // fixed 32
    static constexpr size_t kOffsetValue2 = 2;          // fixed 0
    static constexpr size_t kOffsetSectorCount = 4;
    static constexpr size_t kOffsetValue8 = 8;          // 1 as written
    static constexpr size_t kOffsetKind = 10;
    static constexpr size_t kOffsetReserved12 = 12;     // 10 zero bytes
    static constexpr size_t kOffsetBytesPerSector = 22;
    static constexpr size_t kOffsetReserved24 = 24;     // 8 zero bytes

    // Sector counts written before a track is closed.
    static constexpr uint32_t kDataTrackPlaceholder = 333;
    static constexpr uint32_t kVideoTrackPlaceholder = 555;
    static constexpr uint16_t kDataBytesPerSector = 2048;
    static constexpr uint16_t kVideoBytesPerSector = 2332;

    uint32_t sectorCount = 0;
    uint16_t value8 = 1;
    ContainerTrackKind kind = ContainerTrackKind::Data;
    uint16_t bytesPerSector = kDataBytesPerSector;

    static TrackRecord ForDataTrack(uint32_t sectorCount);
    static TrackRecord ForVideoTrack(uint32_t sectorCount);
    std::vector<uint8_t> Encode() const;
    static std::optional<TrackRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    bool operator==(const TrackRecord&) const = default;
};

// Image offset of the TrackRecord of track `number` (1 = track 1).
inline constexpr uint64_t TrackRecordOffset(unsigned number) {
    return ImageHeader::kSize + uint64_t(TrackRecord::kSize) * (number - 1);
}

struct InfoRecord {
    static constexpr size_t kSize = 20;
    static constexpr size_t kOffsetRiff = 0;
    static constexpr size_t kOffsetChunkSize = 4;
    static constexpr size_t kOffsetInfo = 8;
    static constexpr size_t kOffsetImageOffset = 12;
    static constexpr size_t kOffsetReserved16 = 16;  // 4 zero bytes

    // Image length when the track was closed - 8 - `offset`; 0 while open.
    uint32_t chunkSize = 0;
    // Image offset of this record.
    uint32_t offset = 0;

    std::vector<uint8_t> Encode() const;
    static std::optional<InfoRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    bool operator==(const InfoRecord&) const = default;
};

struct TailHeader {
    static constexpr size_t kSize = 22;
    static constexpr size_t kOffsetRiff = 0;
    static constexpr size_t kOffsetTailLength = 4;
    static constexpr size_t kOffsetOfs = 8;
    static constexpr size_t kOffsetLastBlock = 12;
    static constexpr size_t kOffsetAfterLastBlock = 16;
    static constexpr size_t kOffsetTrackCount = 20;

    uint32_t tailLength = 0;          // whole tail, this header included
    uint32_t lastBlockOffset = 0;     // tail offset of the last TrackBlockHeader
    uint32_t afterLastBlockOffset = 0;
    uint16_t trackCount = 1;

    std::vector<uint8_t> Encode() const;
    static std::optional<TailHeader> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    bool operator==(const TailHeader&) const = default;
};

struct TrackBlockHeader {
    static constexpr size_t kSize = 22;
    static constexpr size_t kOffsetRiff = 0;
    static constexpr size_t kOffsetInfoChunkSize = 4;
    static constexpr size_t kOffsetInfo = 8;
    static constexpr size_t kOffsetInfoBody = 12;
    static constexpr size_t kOffsetFlags = 16;
    static constexpr size_t kOffsetRunCount = 20;

    static constexpr uint32_t kFlags = 0x10000000;

    uint32_t infoChunkSize = 0;   // the size written into the track's InfoRecord
    uint32_t infoBodyOffset = 0;  // image offset of the track's InfoRecord + 8
    uint32_t flags = kFlags;
    int16_t runCount = 0;

    // Image offset of the track's first stored unit (just after its InfoRecord).
    uint64_t FirstUnitOffset() const { return uint64_t(infoBodyOffset) + (InfoRecord::kSize - 8); }
    std::vector<uint8_t> Encode() const;
    static std::optional<TrackBlockHeader> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    bool operator==(const TrackBlockHeader&) const = default;
};

struct RunRecord {
    static constexpr size_t kSize = 16;
    static constexpr size_t kOffsetStart = 0;
    static constexpr size_t kOffsetEnd = 4;
    static constexpr size_t kOffsetReservedEnd = 8;
    static constexpr size_t kOffsetForm = 12;

    uint32_t start = 0;        // image offset of the run
    uint32_t end = 0;          // just after its stored units; = start when none
    uint32_t reservedEnd = 0;  // end + unstored sectors x unit size
    RunForm form = RunForm::Form1;

    bool StoresUnits() const { return end > start; }
    uint32_t UnitSize() const { return UnitSizeOf(form); }
    // Logical sectors the run covers: its stored units, or for a run that
    // stores nothing, its reserved sectors. (A stored run's reserved end is
    // not read: with many segment items it is counted in 2056-byte steps
    // although the run holds 2332-byte units.)
    uint32_t SectorCount() const;
    std::vector<uint8_t> Encode() const;
    static std::optional<RunRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);
    // Feeds the run's fields to the inspector; `firstSector` is the logical
    // sector where the run starts (the runs before it tell).
    void Inspect(InspectVisitor& v, uint32_t firstSector) const;

    bool operator==(const RunRecord&) const = default;
};

// Sectors not stored in front of each video track: 152 for a track with
// runs, 150 for a block that was never given any.
inline constexpr uint32_t kVideoTrackGap = 152;
inline constexpr uint32_t kEmptyBlockGap = 150;

}  // namespace qorvcd
