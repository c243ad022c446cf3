// The entry table ENTRIES: the disc address of the start of every video
// track and of every entry point inside a track. Entry k is play item 100 + k.
// The header is written before the tracks; the table is filled by the video
// track writer as it reaches each entry.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "infofiles/info_file_names.h"

namespace qorvcd {

class InspectVisitor;

namespace entries_layout {
inline constexpr size_t kFileId = 0;  // 8 bytes
inline constexpr size_t kFileIdSize = 8;
inline constexpr size_t kVersion = 8;
inline constexpr size_t kReserved9 = 9;
inline constexpr size_t kEntryCount = 10;  // big-endian 16
inline constexpr size_t kFirstEntry = 12;
inline constexpr size_t kEntrySize = 4;    // BCD track, BCD minutes, seconds, frames
// Entries that fit in the 2048-byte record.
inline constexpr size_t kMaxEntries = (kInfoFileSize - kFirstEntry) / kEntrySize;
}  // namespace entries_layout

// Play-item number of the first entry.
inline constexpr uint32_t kFirstEntryPlayItem = 100;
// Track numbers are stored as one BCD byte.
inline constexpr uint32_t kMaxBcdTrackNumber = 99;

struct EntriesEntry {
    uint8_t trackNumber = 0;
    int64_t sector = 0;            // logical sector decoded from the address
    std::array<uint8_t, 3> address{};  // BCD minutes, seconds, frames as stored (what is written)

    bool operator==(const EntriesEntry&) const = default;
};

struct EntriesRecord {
    std::array<uint8_t, entries_layout::kFileIdSize> fileId{};
    uint8_t version = 0;
    uint16_t entryCount = 0;
    std::vector<EntriesEntry> entries;  // entryCount of them

    // The 2048 bytes of the record: at most kMaxEntries entries are written.
    std::vector<uint8_t> Encode() const;
    // Nothing, with `why` set, when the bytes are too few or the count names
    // more entries than the record holds.
    static std::optional<EntriesRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    // Feeds the record's fields to the inspector.
    void Inspect(InspectVisitor& v) const;

    bool operator==(const EntriesRecord&) const = default;
};

// The record as first written: identifier, version, count 0, no entries.
std::array<uint8_t, kInfoFileSize> EncodeEntriesHeader(std::span<const char, 8> fileId,
                                                       uint8_t version);

// The table the video track writer fills: an entry per track start and per
// entry point, never more than the record holds.
class EntriesTable {
public:
    // Starts from a record's bytes (a header written by EncodeEntriesHeader);
    // any entries already in them are kept and counted from their count field.
    explicit EntriesTable(const std::array<uint8_t, kInfoFileSize>& bytes);

    // Appends an entry for `trackNumber` starting at `logicalSector`. False,
    // with nothing written, when the table is full or the track number does
    // not fit its BCD byte; `error` then names the limit.
    bool Add(uint32_t trackNumber, uint32_t logicalSector, std::string& error);
    uint16_t Count() const { return count_; }
    // Play-item number of the entry added last.
    uint32_t LastPlayItem() const { return kFirstEntryPlayItem + count_ - 1; }
    // The record with the entry count stored.
    std::array<uint8_t, kInfoFileSize> Bytes() const;

private:
    std::array<uint8_t, kInfoFileSize> bytes_;
    uint16_t count_ = 0;
};


}  // namespace qorvcd
