#include "mpeg/pack_header.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qorvcd {

namespace {

constexpr uint8_t kMpeg1MarkerMask = 0xF0;  // '0010' in the high nibble
constexpr uint8_t kMpeg2MarkerMask = 0xC0;  // '01' in the top two bits
constexpr uint8_t kMarkerBit = 0x01;

// MPEG-1 packet header (ISO/IEC 11172-1): stuffing bytes, '01' and a buffer
// size of two bytes, then the time stamp flags in the high nibble.
constexpr uint8_t kPacketStuffingByte = 0xFF;
constexpr uint8_t kBufferSizeMask = 0xC0;
constexpr uint8_t kBufferSizeMarker = 0x40;
constexpr size_t kBufferSizeSize = 2;
constexpr uint8_t kTimestampFlagsMask = 0xF0;
constexpr size_t kNoTimestampSize = 1;  // the single '0000 1111' byte
// MPEG-2 PES header: two flag bytes, then the header data length.
constexpr size_t kPesHeaderDataLengthByte = kPacketPrefixSize + 2;

constexpr size_t kPictureCodingTypeByte = 5;

size_t Mpeg1PayloadOffset(const uint8_t* p, size_t size) {
    size_t q = kPacketPrefixSize;
    while (q < size && p[q] == kPacketStuffingByte) ++q;
    if (q < size && (p[q] & kBufferSizeMask) == kBufferSizeMarker) q += kBufferSizeSize;
    if (q >= size) return size;
    if ((p[q] & kTimestampFlagsMask) == kPtsOnlyPrefix) return q + kTimestampSize;
    if ((p[q] & kTimestampFlagsMask) == kPtsBeforeDtsPrefix) return q + 2 * kTimestampSize;
    return q + kNoTimestampSize;
}

// MPEG-2 PES header: PTS_DTS_flags in the top bits of the second flag byte,
// the time stamp right after the header data length.
constexpr size_t kPesFlagsByte = kPacketPrefixSize + 1;
constexpr uint8_t kPesPtsFlag = 0x80;

int64_t Mpeg1PresentationTime(const uint8_t* p, size_t size) {
    size_t q = kPacketPrefixSize;
    while (q < size && p[q] == kPacketStuffingByte) ++q;
    if (q < size && (p[q] & kBufferSizeMask) == kBufferSizeMarker) q += kBufferSizeSize;
    if (q + kTimestampSize > size) return -1;
    const uint8_t flags = p[q] & kTimestampFlagsMask;
    if (flags != kPtsOnlyPrefix && flags != kPtsBeforeDtsPrefix) return -1;
    return int64_t(ReadTimestamp(p + q));
}

int64_t Mpeg2PresentationTime(const uint8_t* p, size_t size) {
    const size_t stamp = kPesHeaderDataLengthByte + 1;
    if (stamp + kTimestampSize > size || (p[kPesFlagsByte] & kPesPtsFlag) == 0) return -1;
    return int64_t(ReadTimestamp(p + stamp));
}

size_t Mpeg2PayloadOffset(const uint8_t* p, size_t size) {
    if (kPesHeaderDataLengthByte >= size) return size;
    return kPesHeaderDataLengthByte + 1 + p[kPesHeaderDataLengthByte];
}

}  // namespace

bool IsMpeg1PackHeader(const uint8_t* pack) {
    return (pack[kPackMarkerByte] & kMpeg1MarkerMask) == kMpeg1PackMarker;
}

bool IsMpeg2PackHeader(const uint8_t* pack) {
    return (pack[kPackMarkerByte] & kMpeg2MarkerMask) == kMpeg2PackMarker;
}

bool HasMpeg2MarkerBit(const uint8_t* pack) { return (pack[kPackMarkerByte] & kMpeg2PackMarker) != 0; }

size_t PackHeaderLength(const uint8_t* pack, PackSyntax syntax) {
    if (syntax == PackSyntax::Mpeg1) return kMpeg1PackHeaderSize;
    return kMpeg2PackHeaderSize + (pack[kPackStuffingByte] & kPackStuffingMask);
}

size_t PackHeaderLengthWithin(const uint8_t* pack, size_t size) {
    if (size <= kPackMarkerByte || !IsMpeg2PackHeader(pack)) return kMpeg1PackHeaderSize;
    if (size <= kPackStuffingByte) return kMpeg2PackHeaderSize;
    return PackHeaderLength(pack, PackSyntax::Mpeg2);
}

uint64_t ReadClockReference(const uint8_t* pack, PackSyntax syntax) {
    const uint8_t* p = pack + kPackMarkerByte;
    if (syntax == PackSyntax::Mpeg1) return ReadTimestamp(p);
    // '01', base[32..30], marker, base[29..28]; base[27..20]; base[19..15],
    // marker, base[14..13]; base[12..5]; base[4..0], marker, extension ...
    return (uint64_t(p[0] & 0x38) << 27) | (uint64_t(p[0] & 0x03) << 28) | (uint64_t(p[1]) << 20) |
           (uint64_t(p[2] & 0xF8) << 12) | (uint64_t(p[2] & 0x03) << 13) | (uint64_t(p[3]) << 5) | (p[4] >> 3);
}

uint16_t ReadClockReferenceExtension(const uint8_t* pack) {
    const uint8_t* p = pack + kPackMarkerByte;
    // ... extension[8..7]; extension[6..0], marker
    return uint16_t(((p[4] & 0x03) << 7) | (p[5] >> 1));
}

void WriteMpeg2ClockReference(uint8_t* out, uint64_t base, uint16_t extension) {
    constexpr uint8_t kMiddleMarker = 0x04;  // the marker bit between base[30] and base[29]
    base &= kMaxTimestamp;
    out[0] = uint8_t(kMpeg2PackMarker | ((base >> 27) & 0x38) | kMiddleMarker | ((base >> 28) & 0x03));
    out[1] = uint8_t(base >> 20);
    out[2] = uint8_t(((base >> 12) & 0xF8) | kMiddleMarker | ((base >> 13) & 0x03));
    out[3] = uint8_t(base >> 5);
    out[4] = uint8_t(((base << 3) & 0xF8) | kMiddleMarker | ((extension >> 7) & 0x03));
    out[5] = uint8_t(((extension << 1) & 0xFE) | kMarkerBit);
}

void WriteTimestamp(uint8_t* out, uint8_t prefix, uint64_t t) {
    // prefix, t[32..30], marker; t[29..22]; t[21..15], marker; t[14..7]; t[6..0], marker
    t &= kMaxTimestamp;
    out[0] = uint8_t(prefix | ((t >> 29) & 0x0E) | kMarkerBit);
    out[1] = uint8_t(t >> 22);
    out[2] = uint8_t(((t >> 14) & 0xFE) | kMarkerBit);
    out[3] = uint8_t(t >> 7);
    out[4] = uint8_t(((t << 1) & 0xFE) | kMarkerBit);
}

uint64_t ReadTimestamp(const uint8_t* in) {
    return (uint64_t(in[0] & 0x0E) << 29) | (uint64_t(in[1]) << 22) | (uint64_t(in[2] & 0xFE) << 14) |
           (uint64_t(in[3]) << 7) | (in[4] >> 1);
}

size_t PacketPayloadOffset(const uint8_t* packet, size_t size, PackSyntax syntax) {
    return syntax == PackSyntax::Mpeg2 ? Mpeg2PayloadOffset(packet, size) : Mpeg1PayloadOffset(packet, size);
}

int64_t PacketPresentationTime(const uint8_t* packet, size_t size, PackSyntax syntax) {
    return syntax == PackSyntax::Mpeg2 ? Mpeg2PresentationTime(packet, size) : Mpeg1PresentationTime(packet, size);
}

uint8_t PictureCodingTypeOf(const uint8_t* picture) { return (picture[kPictureCodingTypeByte] >> 3) & 0x07; }

namespace {

// Bit 8k+7 set where byte k (in memory order) of the eight at `p` is zero.
uint64_t ZeroBytesOf(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7Full;
    return ~(((word & kLows) + kLows) | word | kLows);
}

}  // namespace

bool HoldsIntraPicture(const uint8_t* bytes, size_t size) {
    const size_t end = size > kPictureCodingTypeByte ? size - kPictureCodingTypeByte : 0;
    const auto intraAt = [bytes](size_t i) {
        return IsStartCodePrefix(bytes + i) && bytes[i + 3] == uint8_t(VideoStartCode::Picture) &&
               PictureCodingTypeOf(bytes + i) == uint8_t(PictureCodingType::Intra);
    };
    // Every video unit of a build is searched, so the bytes are looked at
    // eight at a time for two zeros in a row, with which a start code
    // begins; compressed video seldom has them. Windows of eight bytes a step
    // of seven apart see every pair of neighbours.
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen neighbour pairs at a time where the processor compares sixteen
    // bytes at once: the bytes at i.. and at i+1.. are both zero.
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= end; i += 16) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(first, zero), _mm_cmpeq_epi8(second, zero));
        for (unsigned pairs = unsigned(_mm_movemask_epi8(both)); pairs != 0; pairs &= pairs - 1) {
            if (intraAt(i + size_t(std::countr_zero(pairs)))) return true;
        }
    }
#endif
    constexpr size_t kWindow = sizeof(uint64_t);
    constexpr size_t kStep = kWindow - 1;
    for (; i + kWindow <= end; i += kStep) {
        const uint64_t zeros = ZeroBytesOf(bytes + i);
        for (uint64_t pairs = zeros & (zeros >> 8); pairs != 0; pairs &= pairs - 1) {
            if (intraAt(i + size_t(std::countr_zero(pairs)) / 8)) return true;
        }
    }
    for (; i < end; ++i) {
        if (intraAt(i)) return true;
    }
    return false;
}

}  // namespace qorvcd
