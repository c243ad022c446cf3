// Byte-order, BCD and disc-address helpers shared by every on-disc record.
// Written once here so each record writer and reader uses the same rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qorvcd {

inline void PutBe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void PutBe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline uint16_t GetBe16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t GetBe32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint16_t GetLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// ISO 9660 "both-byte order" fields: little-endian value, then big-endian.
inline void PutBoth16(uint8_t* p, uint16_t v) {
    PutLe16(p, v);
    PutBe16(p + 2, v);
}
inline void PutBoth32(uint8_t* p, uint32_t v) {
    PutLe32(p, v);
    PutBe32(p + 4, v);
}

// A value 0..99 as tens in the high nibble and units in the low nibble.
inline uint8_t ToBcd(unsigned v) { return uint8_t(((v / 10) % 10) << 4 | (v % 10)); }
inline unsigned FromBcd(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

// Disc addresses: logical sector 0 is 00:02:00 (150 frames of lead-in gap).
inline constexpr uint32_t kDiscAddressOffset = 150;
inline constexpr uint32_t kFramesPerSecond = 75;
inline constexpr uint32_t kFramesPerMinute = 60 * kFramesPerSecond;

struct Msf {
    unsigned minutes;
    unsigned seconds;
    unsigned frames;
};

inline Msf SectorToMsf(uint32_t logicalSector) {
    const uint32_t m = logicalSector + kDiscAddressOffset;
    return {m / kFramesPerMinute, (m % kFramesPerMinute) / kFramesPerSecond, m % kFramesPerSecond};
}

// Writes the disc address of a logical sector as three BCD bytes.
inline void PutMsfBcd(uint8_t* p, uint32_t logicalSector) {
    const Msf a = SectorToMsf(logicalSector);
    p[0] = ToBcd(a.minutes);
    p[1] = ToBcd(a.seconds);
    p[2] = ToBcd(a.frames);
}

// Reads three BCD bytes back into a logical sector (disc address - 150).
inline int64_t MsfBcdToSector(const uint8_t* p) {
    return int64_t(FromBcd(p[0])) * kFramesPerMinute + FromBcd(p[1]) * kFramesPerSecond +
           FromBcd(p[2]) - kDiscAddressOffset;
}

// Copies text into a fixed field, padding with `pad`; never writes past `size`.
inline void PutPadded(uint8_t* p, size_t size, std::string_view text, uint8_t pad = ' ') {
    const size_t n = text.size() < size ? text.size() : size;
    std::memcpy(p, text.data(), n);
    std::memset(p + n, pad, size - n);
}

}  // namespace qorvcd
