// The scan information of an SVCD video stream (IEC 62107): a user data
// block (00 00 01 B2, tag 0x10, length 0x0E) that an SVCD encoder places in
// the picture layer, holding four sector positions in the track: the previous
// and the next I-picture, and the I-pictures a player jumps to when it scans
// backward and forward. Encoders cannot know where the multiplexer and the
// disc put the sectors, so they write placeholders; the disc author fills the
// positions in once the track's sectors are known.
//
// Positions count the track's sectors from 0 (its first unit). Each is three
// bytes: BCD minutes, seconds and frames of that count, with the top bit of
// the seconds and frames bytes set as marker bits; FF FF FF stands for "none".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qorvcd {

inline constexpr uint8_t kUserDataStartCode = 0xB2;
inline constexpr uint8_t kScanInformationTag = 0x10;
inline constexpr uint8_t kScanInformationLength = 0x0E;  // tag, length and four positions
inline constexpr size_t kScanInformationPayload = 12;     // the four positions
// A player's scan jumps to the furthest I-picture less than this far away.
inline constexpr double kScanJumpSeconds = 10.0;

// One position field; nothing is the "none" field.
std::array<uint8_t, 3> EncodeScanPosition(std::optional<uint32_t> sector);
// The sector count of a field, or nothing for FF FF FF and for bytes that are
// not BCD with both marker bits.
std::optional<uint32_t> DecodeScanPosition(const uint8_t* field);

// The four positions of one block.
struct ScanOffsets {
    std::optional<uint32_t> previous, next, backward, forward;
    bool operator==(const ScanOffsets&) const = default;
};
std::array<uint8_t, kScanInformationPayload> EncodeScanOffsets(const ScanOffsets& offsets);
// Nothing when a field is neither a position nor "none".
std::optional<ScanOffsets> DecodeScanOffsets(const uint8_t* payload);

// An I-picture: the track unit holding its picture start code, and that
// unit's clock reference in seconds.
struct IntraPicturePlace {
    uint32_t unit = 0;
    double seconds = 0;
};

// A scan information block: the unit holding its start code, that unit's
// clock reference, and where each of its twelve payload bytes lies (unit and
// byte offset within that unit's pack).
struct ScanBlockPlace {
    uint32_t unit = 0;
    double seconds = 0;
    struct Byte {
        uint32_t unit;
        uint16_t offset;
    };
    std::array<Byte, kScanInformationPayload> bytes{};
    // The payload as it was read (what the encoder wrote).
    std::array<uint8_t, kScanInformationPayload> payload{};
};

// Follows the video elementary stream through a track's packs, one pack per
// unit in order, and notes every I-picture and every scan information block,
// also where a start code or a block spans two packs.
class ScanInformationScanner {
public:
    // `pack` is the unit's program-stream pack (its first `size` bytes are
    // read; a unit without a pack header is passed over).
    void FeedPack(uint32_t unit, const uint8_t* pack, size_t size);

    const std::vector<IntraPicturePlace>& IntraPictures() const { return pictures_; }
    const std::vector<ScanBlockPlace>& Blocks() const { return blocks_; }

private:
    // Where a byte of the video stream lies: a start code is placed at the
    // unit of its first byte, which may be the pack before its last.
    struct BytePlace {
        uint32_t unit = 0;
        double seconds = 0;
    };
    void FeedVideo(const uint8_t* bytes, size_t count, uint32_t unit, size_t firstOffset);
    void Collect(uint8_t b, uint32_t unit, size_t offset);
    void OnStartCode(uint8_t code);

    std::vector<IntraPicturePlace> pictures_;
    std::vector<ScanBlockPlace> blocks_;
    double unitSeconds_ = 0;  // clock reference of the pack being read
    // The start-code search across packs: zero bytes seen in a row, whether
    // the next byte is a start code's value, and the places of the last two
    // bytes (where a prefix found at the third began).
    unsigned zeros_ = 0;
    bool afterPrefix_ = false;
    std::array<BytePlace, 2> history_{};
    BytePlace prefixStart_;
    // What the bytes after the last start code are collected for.
    enum class Gather { None, PictureType, UserDataTag, ScanPayload } collect_ = Gather::None;
    unsigned collected_ = 0;
    std::array<uint8_t, 2> head_{};
    ScanBlockPlace block_;
};

// The positions a block at `block` holds, given the track's I-pictures in
// order: the last one before the block's unit and the first one after it;
// the furthest one less than kScanJumpSeconds before and after it, else the
// block's own unit. An I-picture in the block's own unit is neither before
// nor after it.
ScanOffsets ScanOffsetsFor(const ScanBlockPlace& block, const std::vector<IntraPicturePlace>& pictures);

}  // namespace qorvcd
