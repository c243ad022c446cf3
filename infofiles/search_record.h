// SEARCH.DAT: the table of scan points a player uses for time search (SVCD
// kinds). The header and a zero table of the right size are written before
// the tracks; the video track writer fills the points and their count.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorvcd {

class InspectVisitor;

namespace search_layout {
inline constexpr char kFileId[] = "SEARCHSV";
inline constexpr size_t kFileIdSize = 8;
inline constexpr size_t kVersion = 8;
inline constexpr size_t kReserved9 = 9;
inline constexpr size_t kPointCount = 10;  // big-endian 16
inline constexpr size_t kTimeInterval = 12;  // units of 0.5 second
inline constexpr size_t kHeaderSize = 13;
inline constexpr size_t kPointSize = 3;      // BCD minutes, seconds, frames
}  // namespace search_layout

inline constexpr uint8_t kSearchFileVersion = 1;
// Scan points given to every disc besides two per second of playing time.
inline constexpr uint32_t kExtraScanPoints = 20;

// Scan points for a total playing time: 20 + 2 x T (T in seconds, truncated
// after doubling). SEARCH.DAT and SCANDATA reserve this many.
uint32_t ScanPointsFor(uint32_t totalHundredths);

// A disc laid out to the standards gives each track one scan point per half
// second of its own playing time (at 0, 0.5, 1 ... seconds, short of its
// end): ceil(2 x T) for T seconds.
uint32_t StandardScanPointsFor(uint32_t trackHundredths);
uint32_t StandardScanPointsFor(std::span<const uint32_t> trackHundredths);

struct SearchRecord {
    std::array<uint8_t, search_layout::kFileIdSize> fileId{'S', 'E', 'A', 'R', 'C', 'H', 'S', 'V'};
    uint8_t version = kSearchFileVersion;
    uint16_t pointCount = 0;  // the header is written with 0; the track writer fills it
    uint8_t timeInterval = 0;
    std::vector<int64_t> points;  // logical sectors

    // The header and one disc address per point.
    std::vector<uint8_t> Encode() const;
    // Reads the header and the `pointCount` points that follow it; nothing,
    // with `why` set, when the bytes do not begin with "SEARCHSV" or end
    // before the points do.
    static std::optional<SearchRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    // Feeds the record's fields to the inspector.
    void Inspect(InspectVisitor& v) const;

    bool operator==(const SearchRecord&) const = default;
};

}  // namespace qorvcd
