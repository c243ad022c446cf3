// The ISO 9660 directory record with its 14-byte CD-XA system-use area:
// layout, encoder, decoder and inspection side by side.
//
// Every record of a Video CD directory carries the XA area, which tells a
// player whether the file is Form 1 data, Form 2 interleaved MPEG or a folder.
// The volume descriptor's root record is the one record without it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorvcd {

class Clock;
class InspectVisitor;
struct DirNode;

namespace dirrec {
// Byte offsets inside a directory record (ISO 9660 9.1).
inline constexpr size_t kLength = 0;
inline constexpr size_t kExtAttrLength = 1;
inline constexpr size_t kExtent = 2;        // both byte orders, 8 bytes
inline constexpr size_t kDataLength = 10;   // both byte orders, 8 bytes
inline constexpr size_t kRecordingTime = 18;  // 7 bytes
inline constexpr size_t kFlags = 25;
inline constexpr size_t kFileUnitSize = 26;
inline constexpr size_t kInterleaveGap = 27;
inline constexpr size_t kVolumeSequence = 28;  // 16-bit, both byte orders
inline constexpr size_t kIdentifierLength = 32;
inline constexpr size_t kIdentifier = 33;
inline constexpr size_t kFixedPartSize = 33;
inline constexpr size_t kRecordingTimeSize = 7;

// Offsets inside the CD-XA system-use area that follows the identifier.
inline constexpr size_t kXaSize = 14;
inline constexpr size_t kXaGroupId = 0;      // 2 bytes
inline constexpr size_t kXaUserId = 2;       // 2 bytes
inline constexpr size_t kXaAttributes = 4;   // 2 bytes, big-endian
inline constexpr size_t kXaSignature = 6;    // "XA"
inline constexpr size_t kXaFileNumber = 8;
inline constexpr size_t kXaReserved = 9;     // 5 bytes

// Lengths of the two fixed kinds of record.
inline constexpr size_t kDotRecordLength = 48;   // "." and ".." with the XA area
inline constexpr size_t kRootRecordLength = 34;  // in the volume descriptor, no XA area
inline constexpr size_t kMaxRecordLength = 255;
}  // namespace dirrec

// File flags of a directory record (ISO 9660 9.1.6).
enum class FileFlags : uint8_t {
    File = 0x00,
    Directory = 0x02,
};

// CD-XA attribute words of the system-use area (CD-ROM XA).
enum class XaAttributes : uint16_t {
    Directory = 0x8D55,  // directory, readable by all
    Form1File = 0x0955,  // Mode 2 Form 1 data
    Form2File = 0x1111,  // Mode 2 Form 2 interleaved
};

// The single-byte identifiers of the "." and ".." records (ISO 9660 6.8.2.2).
inline constexpr uint8_t kSelfIdentifier = 0x00;
inline constexpr uint8_t kParentIdentifier = 0x01;

// Recording date and time of a record (ISO 9660 9.1.5).
struct RecordTime {
    uint8_t yearsSince1900 = 0;
    uint8_t month = 0;   // 1..12
    uint8_t day = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;
    int8_t gmtOffset = 0;  // always written 0
    bool operator==(const RecordTime&) const = default;
};

// The build's clock, read in UTC (fixed by SOURCE_DATE_EPOCH for
// reproducible images).
RecordTime RecordTimeFrom(const Clock& clock);
void PutRecordTime(uint8_t* p, const RecordTime& t);
RecordTime GetRecordTime(const uint8_t* p);

struct DirectoryRecord {
    uint32_t extent = 0;
    uint32_t dataLength = 0;
    RecordTime time;
    FileFlags flags = FileFlags::File;
    uint16_t volumeSequence = 1;
    // Raw identifier bytes: "\0", "\1", a folder name or "NAME.EXT;1".
    std::string identifier;
    bool hasXa = true;
    uint16_t xaAttributes = 0;
    uint8_t xaFileNumber = 0;
    uint8_t extAttrLength = 0;

    // The record's bytes (DirectoryRecordLength of its identifier); empty
    // when the identifier is empty or the record would pass 255 bytes.
    std::vector<uint8_t> Encode() const;
    // Reads one record from the start of `bytes`. Checks the length byte
    // against the bytes there are, the identifier against the record length
    // and the XA signature; `why` says what was found when it returns
    // nothing. A length byte of 0 (the padding at the end of a directory
    // sector) also returns nothing, with "end of sector".
    static std::optional<DirectoryRecord> Decode(std::span<const uint8_t> bytes,
                                                 std::string* why = nullptr);
    // Feeds the record's fields (all but its name) to the inspector.
    void Inspect(InspectVisitor& v) const;

    bool operator==(const DirectoryRecord&) const = default;
};

// 33 + identifier length, rounded up to even, plus the XA area when present.
size_t DirectoryRecordLength(size_t identifierLength, bool withXa = true);

// Patches the extent or data length of an encoded record in place (both byte
// orders), as the writers do once a file's place is known.
void PutRecordExtent(uint8_t* record, uint32_t extent);
void PutRecordDataLength(uint8_t* record, uint32_t length);
uint32_t GetRecordExtent(const uint8_t* record);
uint32_t GetRecordDataLength(const uint8_t* record);

// The XA attributes and file number of a node's record. A track file takes
// the decimal number that starts at the sixth character of its name
// ("AVSEQ01.MPG" -> 1), a Form 2 file 1, everything else 0.
uint16_t XaAttributesOf(const DirNode& node);
uint8_t XaFileNumberOf(const DirNode& node);

// The record of a child node as the directory writer builds it: a file gets
// "NAME;1", flags 0, its start sector and size; a folder its name, flags 2,
// extent and length 0 (patched once its directory is written).
DirectoryRecord RecordForNode(const DirNode& node, const RecordTime& time);
// The "." (self) or ".." (parent) record: 2048 bytes, flags 2, folder attributes.
DirectoryRecord DotRecord(bool parent, uint32_t extent, uint32_t dataLength, const RecordTime& time);
// The root record of the primary volume descriptor: the "." record without
// the XA area (and so without its attributes).
DirectoryRecord RootRecord(uint32_t extent, uint32_t dataLength, const RecordTime& time);
// The 34-byte root record of the primary volume descriptor (no XA area).
std::array<uint8_t, dirrec::kRootRecordLength> EncodeRootRecord(uint32_t extent, uint32_t dataLength,
                                                                const RecordTime& time);

}  // namespace qorvcd
