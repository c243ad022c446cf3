// Writers of the program-stream records a still picture is multiplexed into
// (ISO/IEC 11172-1 for MPEG-1 packs, ISO/IEC 13818-1 for MPEG-2 packs): pack
// header, system header, video PES header and padding packet. Every pack of a
// disc stream is one Form 2 sector's user data, so the sizes here are what
// the pack planner counts with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/sector_unit.h"
#include "mpeg/pack_header.h"
#include "mpeg/stream_codes.h"

namespace qorvcd::codec {

// Still-picture video streams of the disc: normal and high resolution.
inline constexpr uint8_t kNormalStillStreamId = uint8_t(StreamId::Video1);
inline constexpr uint8_t kHighStillStreamId = uint8_t(StreamId::Video2);

inline constexpr size_t kDiscPackSize = kMaxPackSize;  // user data of a Form 2 sector
inline constexpr size_t kOneStreamSystemHeaderSize = 15;
inline constexpr size_t kProgramEndSize = kStartCodeSize;  // 00 00 01 B9
inline constexpr size_t kMaxMpeg1PesStuffing = 16;
inline constexpr size_t kMaxMpeg2PesStuffing = 32;

// `scr` in 90 kHz ticks, `muxRate` in units of 50 bytes per second.
void WritePackHeader(std::vector<uint8_t>& out, PackSyntax syntax, uint64_t scr, uint32_t muxRate);

// A system header that lists one video stream with its decoder buffer bound
// in KiB.
void WriteVideoSystemHeader(std::vector<uint8_t>& out, PackSyntax syntax, uint32_t rateBound,
                            uint8_t streamId, uint32_t bufferBoundKiB);

// A video PES header. The first packet of a picture carries its PTS (and, in
// MPEG-1, the decoder buffer size); `stuffing` 0xFF bytes fill a pack exactly
// when the room left is too small for a padding packet.
struct PesHeaderFields {
    uint8_t streamId = kNormalStillStreamId;
    size_t payloadSize = 0;
    size_t stuffing = 0;
    bool carriesPts = false;
    uint64_t pts = 0;
    uint32_t bufferBoundKiB = 0;  // MPEG-1 only, with the PTS
};
size_t PesHeaderSize(PackSyntax syntax, bool carriesPts, size_t stuffing);
void WritePesHeader(std::vector<uint8_t>& out, PackSyntax syntax, const PesHeaderFields& fields);

// A padding packet of `totalSize` bytes (at least the 6-byte prefix).
void WritePaddingPacket(std::vector<uint8_t>& out, size_t totalSize);

void WriteProgramEnd(std::vector<uint8_t>& out);

}  // namespace qorvcd::codec
