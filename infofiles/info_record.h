// The disc information file INFO: system identifier, album keys, PAL flags
// of the tracks, sizes of the playback control files and one content byte
// per segment of the segment area. Layout, writer, reader and inspection
// side by side.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/disc_kind.h"
#include "infofiles/info_file_names.h"

namespace qorvcd {

class InspectVisitor;

namespace info_layout {
inline constexpr size_t kSystemId = 0;          // 8 bytes
inline constexpr size_t kSystemIdSize = 8;
inline constexpr size_t kVersion = 8;
inline constexpr size_t kProfileTag = 9;
inline constexpr size_t kAlbumId = 10;          // 16 bytes, blank padded
inline constexpr size_t kAlbumIdSize = 16;
inline constexpr size_t kVolume = 26;           // big-endian 16
inline constexpr size_t kVolumeCount = 28;      // big-endian 16
inline constexpr size_t kPalFlags = 30;         // one bit per track
inline constexpr size_t kPalFlagsSize = 13;
inline constexpr size_t kReserved43 = 43;
inline constexpr size_t kPsdSize = 44;          // big-endian 32
inline constexpr size_t kFirstSegmentAddress = 48;  // BCD minutes, seconds, frames
inline constexpr size_t kOffsetMultiplier = 51;
inline constexpr size_t kLotEntryCount = 52;    // big-endian 16
inline constexpr size_t kSegmentCount = 54;     // big-endian 16
inline constexpr size_t kSegmentContent = 56;   // one byte per segment
inline constexpr size_t kSegmentFlags = 2036;
// Room for content bytes before the segment flags.
inline constexpr size_t kMaxSegments = kSegmentFlags - kSegmentContent;
inline constexpr size_t kMaxPalTracks = kPalFlagsSize * 8;
}  // namespace info_layout

// LOT and PSD offsets are counted in units of 8 bytes.
inline constexpr uint8_t kPsdOffsetMultiplier = 8;
// Content byte of every segment of a Video CD 3.0 disc.
inline constexpr uint8_t kVcd30SegmentContent = 0x14;
// Content bit of every segment after an item's first.
inline constexpr uint8_t kContinuedSegmentBit = 0x20;
// Segment flags bits (SVCD kinds).
inline constexpr uint8_t kSegmentFlagWideAudio = 0x01;  // an audioCode above 255
inline constexpr uint8_t kSegmentFlagOgt = 0x02;        // an item with an OGT stream

struct InfoFileRecord {
    std::array<uint8_t, info_layout::kSystemIdSize> systemId{};
    uint8_t version = 0;
    uint8_t profileTag = 0;
    std::array<uint8_t, info_layout::kAlbumIdSize> albumId{};  // all zero without ALBUM
    uint16_t volume = 0;
    uint16_t volumeCount = 0;
    std::array<uint8_t, info_layout::kPalFlagsSize> palFlags{};
    uint32_t psdSize = 0;
    std::array<uint8_t, 3> firstSegmentAddress{};
    uint8_t offsetMultiplier = 0;
    uint16_t lotEntryCount = 0;
    uint16_t segmentCount = 0;
    std::vector<uint8_t> segmentContent;  // segmentCount bytes
    uint8_t segmentFlags = 0;

    void SetSystemId(const char* id);
    void SetAlbum(const std::string& album);  // first 16 characters, blank padded
    // Track `index` (0 = first track of the list) plays PAL.
    void SetPalTrack(size_t index);
    bool IsPalTrack(size_t index) const;

    // The 2048 bytes of the record. Content bytes beyond the record's room
    // are never written (the builder refuses such input first).
    std::vector<uint8_t> Encode() const;
    // Reads a record; nothing, with `why` set, when the bytes are too few or
    // name more segments than the record holds.
    static std::optional<InfoFileRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    // Feeds the record's fields to the inspector.
    void Inspect(InspectVisitor& v) const;

    bool operator==(const InfoFileRecord&) const = default;
};

// The content byte of an item's first segment on the SVCD kinds: a code for
// the audio of the item plus its video code (modulo 256).
uint8_t SegmentContentByte(int32_t audioCode, int32_t videoCode);

// What a segment content byte says of the picture (bits 2 to 4: 1 and 5 a
// still of normal resolution, 2 and 6 one of high resolution, NTSC and PAL).
enum class StillResolution { NotStill, Normal, High };
StillResolution StillResolutionOf(uint8_t segmentContent);

// The version and system profile tag that INFO carries on a disc that
// follows its kind's standard.
struct InfoVersion {
    uint8_t version = 0;
    uint8_t profileTag = 0;
    bool operator==(const InfoVersion&) const = default;
};
// Video CD 2.0 ("VIDEO_CD" 2.0) for a Video CD, SVCD ("SUPERVCD" 1.0) for
// the SVCD kinds, and for CVD its own "HQ-VCD" 1.1, which its readers expect.
InfoVersion StandardInfoVersion(DiscKind kind);

}  // namespace qorvcd
