// The two ISO 9660 path tables (little-endian type L, big-endian type M):
// record layout, the builder over the directory tree, and the reader.
//
// The root is always described as the single sector 20, where the layout
// places it. Each table must fit in one sector (sectors 18 and 19 of track 1
// hold them); a tree that needs more is refused rather than written with
// wrong locations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qorvcd {

class DirTree;
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

enum class ByteOrder { Little, Big };

struct PathTableRecord {
    std::string identifier;  // the root's is the single byte 0x00
    uint32_t extent = 0;
    uint16_t parentNumber = 0;
    bool operator==(const PathTableRecord&) const = default;
};

// Length of a record: 8 + identifier, rounded up to even.
size_t PathTableRecordLength(size_t identifierLength);
// Writes one record in the given byte order; returns its length, or 0 when it
// does not fit in `capacity` or the identifier is empty or over 255 bytes.
size_t EncodePathTableRecord(const PathTableRecord& record, ByteOrder order, uint8_t* out,
                             size_t capacity);

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

// Reads the records of one table of `sizeInBytes` bytes. A zero length byte
// skips to the next sector (records do not cross sectors). Returns nothing
// when a record runs past the table or a parent number is out of range.
std::optional<std::vector<PathTableRecord>> DecodePathTable(const uint8_t* p, size_t sizeInBytes,
                                                            ByteOrder order,
                                                            std::string* error = nullptr);

}  // namespace qorvcd
