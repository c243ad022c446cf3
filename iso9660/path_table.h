// The two ISO 9660 path tables (little-endian type L, big-endian type M):
// the record and the table, each with its writer and reader, and the builder
// over the directory tree.
//
// The root is always described as the single sector 20, where the layout
// places it. Each table must fit in one sector (sectors 18 and 19 of track 1
// hold them); a tree that needs more is refused rather than written with
// wrong locations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorvcd {

class DirTree;
class InspectVisitor;
struct BuildContext;

namespace pathrec {
// Byte offsets inside a path table record (ISO 9660 9.4).
inline constexpr size_t kIdentifierLength = 0;
inline constexpr size_t kExtAttrLength = 1;
inline constexpr size_t kExtent = 2;       // 4 bytes, the table's byte order
inline constexpr size_t kParentNumber = 6;  // 2 bytes, the table's byte order
inline constexpr size_t kIdentifier = 8;
inline constexpr size_t kFixedPartSize = 8;
}  // namespace pathrec

inline constexpr size_t kPathTableSectorSize = 2048;
// The layout keeps one sector for each table.
inline constexpr size_t kMaxPathTableSectors = 1;
inline constexpr uint32_t kRootDirectorySector = 20;
inline constexpr uint16_t kRootDirectoryNumber = 1;

// Byte order of a table's numbers: type L tables are little-endian, type M
// tables big-endian (ISO 9660 9.4).
enum class ByteOrder { Little, Big };

// Length of a record: 8 + identifier, rounded up to even.
size_t PathTableRecordLength(size_t identifierLength);

// One record of a path table. The bytes do not say which table they belong
// to, so Encode and Decode take the table's byte order as their one extra
// argument.
struct PathTableRecord {
    std::string identifier;  // the root's is the single byte 0x00
    uint32_t extent = 0;
    uint16_t parentNumber = 0;

    // The record in `order`; an odd identifier is followed by a zero padding
    // byte. Empty when the identifier is empty or over 255 bytes.
    std::vector<uint8_t> Encode(ByteOrder order) const;
    // Reads the record at the front of `bytes` in `order`. The padding byte
    // may be missing (the last record of a table can end without it).
    // Nothing, with `why` set, for a zero identifier length or bytes that end
    // inside the record.
    static std::optional<PathTableRecord> Decode(std::span<const uint8_t> bytes, ByteOrder order,
                                                 std::string* why = nullptr);
    // Feeds the record's fields to the inspector; `number` is its place in
    // the table (the root is 1).
    void Inspect(InspectVisitor& v, size_t number) const;

    bool operator==(const PathTableRecord&) const = default;
};

// One whole table: its records in table order, the root first. Records are
// packed from the start of a sector and never cross a sector boundary.
struct PathTable {
    std::vector<PathTableRecord> records;

    // Path table size of the volume descriptor: the bytes used in the last
    // sector plus 2048 for every sector before it.
    uint32_t SizeInBytes() const;
    // Whole sectors (a multiple of 2048 bytes), zero after the records. Empty
    // when a record cannot be encoded.
    std::vector<uint8_t> Encode(ByteOrder order) const;
    // Reads a table of `bytes.size()` bytes (its size in bytes, not whole
    // sectors). A zero length byte skips to the next sector. Nothing, with
    // `why` set, when a record runs past the table or a parent number is not
    // an earlier folder.
    static std::optional<PathTable> Decode(std::span<const uint8_t> bytes, ByteOrder order,
                                           std::string* why = nullptr);

    bool operator==(const PathTable&) const = default;
};

// The two tables of one tree as the layout writes them.
struct PathTables {
    // Whole sectors (a multiple of 2048 bytes) of each table.
    std::vector<uint8_t> little;
    std::vector<uint8_t> big;
    // Path table size of the volume descriptor: the bytes used in the last
    // sector plus 2048 for every sector before it. Equal for both tables.
    uint32_t sizeInBytes = 0;
    uint32_t SectorCount() const { return uint32_t(little.size() / kPathTableSectorSize); }
};

// Numbers the folders of the tree (root 1, then each folder's subfolders
// together in name order, families depth first) into their
// `pathTableNumber`, and builds both tables with each folder's startSector as
// extent (the root always at sector 20). Records never cross a sector
// boundary. A table of more than kMaxPathTableSectors sectors, or more than
// 65535 folders, is refused with a log line; the result is then empty.
std::optional<PathTables> BuildPathTables(DirTree& tree, const BuildContext* ctx);

}  // namespace qorvcd
