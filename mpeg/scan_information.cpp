#include "mpeg/scan_information.h"

#include <algorithm>

#include "mpeg/pack_header.h"
#include "mpeg/stream_codes.h"
#include "platform/bytes.h"

namespace qorvcd {

namespace {

constexpr uint8_t kPositionMarker = 0x80;  // top bit of the seconds and frames bytes
constexpr uint8_t kNoPosition = 0xFF;
constexpr uint32_t kSectorsPerSecond = 75;
constexpr uint32_t kSectorsPerMinute = 60 * kSectorsPerSecond;
// The largest count the three BCD bytes can hold (99:59:74).
constexpr uint32_t kMaxScanPosition = 100 * kSectorsPerMinute - 1;

bool IsBcdByte(uint8_t b) { return (b >> 4) <= 9 && (b & 0x0F) <= 9; }

}  // namespace

std::array<uint8_t, 3> EncodeScanPosition(std::optional<uint32_t> sector) {
    if (!sector || *sector > kMaxScanPosition) return {kNoPosition, kNoPosition, kNoPosition};
    const uint32_t s = *sector;
    return {ToBcd(s / kSectorsPerMinute), uint8_t(ToBcd(s / kSectorsPerSecond % 60) | kPositionMarker),
            uint8_t(ToBcd(s % kSectorsPerSecond) | kPositionMarker)};
}

std::optional<uint32_t> DecodeScanPosition(const uint8_t* field) {
    if (field[0] == kNoPosition && field[1] == kNoPosition && field[2] == kNoPosition) return std::nullopt;
    if (!(field[1] & kPositionMarker) || !(field[2] & kPositionMarker)) return std::nullopt;
    const uint8_t m = field[0], s = field[1] & 0x7F, f = field[2] & 0x7F;
    if (!IsBcdByte(m) || !IsBcdByte(s) || !IsBcdByte(f) || FromBcd(s) >= 60 || FromBcd(f) >= kSectorsPerSecond) {
        return std::nullopt;
    }
    return FromBcd(m) * kSectorsPerMinute + FromBcd(s) * kSectorsPerSecond + FromBcd(f);
}

std::array<uint8_t, kScanInformationPayload> EncodeScanOffsets(const ScanOffsets& offsets) {
    std::array<uint8_t, kScanInformationPayload> out{};
    const std::optional<uint32_t> fields[] = {offsets.previous, offsets.next, offsets.backward, offsets.forward};
    for (size_t i = 0; i < 4; ++i) {
        const std::array<uint8_t, 3> field = EncodeScanPosition(fields[i]);
        std::copy(field.begin(), field.end(), out.begin() + 3 * i);
    }
    return out;
}

std::optional<ScanOffsets> DecodeScanOffsets(const uint8_t* payload) {
    std::optional<uint32_t> fields[4];
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t* field = payload + 3 * i;
        const bool none = field[0] == kNoPosition && field[1] == kNoPosition && field[2] == kNoPosition;
        fields[i] = DecodeScanPosition(field);
        if (!none && !fields[i]) return std::nullopt;
    }
    return ScanOffsets{fields[0], fields[1], fields[2], fields[3]};
}

void ScanInformationScanner::FeedPack(uint32_t unit, const uint8_t* pack, size_t size) {
    if (size < kMpeg1PackHeaderSize || !IsStartCode(pack, StreamId::PackStart)) return;
    const PackSyntax syntax = IsMpeg1PackHeader(pack) ? PackSyntax::Mpeg1 : PackSyntax::Mpeg2;
    unitSeconds_ = double(ReadClockReference(pack, syntax)) / kMpegClockHz;
    size_t at = PackHeaderLengthWithin(pack, size);
    // Packets follow one another to the end of the pack; anything else ends it.
    while (at + kPacketPrefixSize <= size && IsStartCodePrefix(pack + at)) {
        const uint8_t id = pack[at + 3];
        if (id != uint8_t(StreamId::SystemHeader) && !IsPacketStreamId(id)) break;
        const size_t length = kPacketPrefixSize + ((size_t(pack[at + 4]) << 8) | pack[at + 5]);
        const size_t packetSize = std::min(length, size - at);
        if (IsVideoStreamId(id)) {
            const size_t payload = PacketPayloadOffset(pack + at, packetSize, syntax);
            if (payload < packetSize) FeedVideo(pack + at + payload, packetSize - payload, unit, at + payload);
        }
        at += length;
    }
}

void ScanInformationScanner::FeedVideo(const uint8_t* bytes, size_t count, uint32_t unit, size_t firstOffset) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        const BytePlace here{unit, unitSeconds_};
        if (afterPrefix_) {
            afterPrefix_ = false;
            OnStartCode(b);
            zeros_ = 0;
        } else if (b == 0x01 && zeros_ >= 2) {
            // A start code ends whatever was being collected: a block cut
            // short is dropped (its payload cannot hold 00 00 01).
            afterPrefix_ = true;
            collect_ = Gather::None;
            prefixStart_ = history_[1];
            zeros_ = 0;
        } else {
            Collect(b, unit, firstOffset + i);
            zeros_ = b == 0 ? zeros_ + 1 : 0;
        }
        history_[1] = history_[0];
        history_[0] = here;
    }
}

void ScanInformationScanner::Collect(uint8_t b, uint32_t unit, size_t offset) {
    if (collect_ == Gather::None) return;
    if (collect_ == Gather::ScanPayload) {
        block_.bytes[collected_] = {unit, uint16_t(offset)};
        block_.payload[collected_] = b;
        if (++collected_ == kScanInformationPayload) {
            blocks_.push_back(block_);
            collect_ = Gather::None;
        }
        return;
    }
    head_[collected_++] = b;
    if (collected_ < head_.size()) return;
    if (collect_ == Gather::PictureType) {
        // temporal_reference (10 bits), then picture_coding_type (3 bits)
        if (((head_[1] >> 3) & 0x07) == uint8_t(PictureCodingType::Intra)) {
            pictures_.push_back({prefixStart_.unit, prefixStart_.seconds});
        }
        collect_ = Gather::None;
    } else if (head_[0] == kScanInformationTag && head_[1] == kScanInformationLength) {
        block_ = ScanBlockPlace{};
        block_.unit = prefixStart_.unit;
        block_.seconds = prefixStart_.seconds;
        collect_ = Gather::ScanPayload;
        collected_ = 0;
    } else {
        collect_ = Gather::None;  // user data of another kind
    }
}

void ScanInformationScanner::OnStartCode(uint8_t code) {
    collected_ = 0;
    if (code == uint8_t(VideoStartCode::Picture)) {
        collect_ = Gather::PictureType;
    } else if (code == kUserDataStartCode) {
        collect_ = Gather::UserDataTag;
    } else {
        collect_ = Gather::None;
    }
}

ScanOffsets ScanOffsetsFor(const ScanBlockPlace& block, const std::vector<IntraPicturePlace>& pictures) {
    ScanOffsets out;
    for (const IntraPicturePlace& picture : pictures) {
        if (picture.unit < block.unit) {
            out.previous = picture.unit;
            if (!out.backward && block.seconds - picture.seconds < kScanJumpSeconds) out.backward = picture.unit;
        } else if (picture.unit > block.unit) {
            if (!out.next) out.next = picture.unit;
            if (picture.seconds - block.seconds < kScanJumpSeconds) out.forward = picture.unit;
        }
    }
    if (!out.backward) out.backward = block.unit;
    if (!out.forward) out.forward = block.unit;
    return out;
}

}  // namespace qorvcd
