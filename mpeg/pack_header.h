// The details of program-stream headers that several parts of the program
// read or write, each read and written here only: which of the two pack
// syntaxes a pack header uses and how long it is, its system clock reference,
// the time stamps of a packet header and where its payload begins, the coding
// type of a picture, and what a stream id stands for (ISO/IEC 11172-1 packs
// and packets, ISO/IEC 13818-1 program-stream packs and PES packets,
// ISO/IEC 11172-2 and 13818-2 picture headers).
//
// Readers take a pointer to the first byte of the header (the 00 00 01 of its
// start code) and read only the bytes their comment names; the caller makes
// sure those bytes are there.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mpeg/stream_codes.h"

namespace qorvcd {

// ------------------------------------------------------------ the clock

// Clock references and time stamps count at 90 kHz (the MPEG-2 clock
// reference's 27 MHz extension aside).
inline constexpr uint32_t kMpegClockHz = 90000;
inline constexpr uint32_t kMpegClockTicksPerHundredth = kMpegClockHz / 100;
// Clock reference bases and time stamps are 33-bit numbers.
inline constexpr uint64_t kMaxTimestamp = (1ull << 33) - 1;

// ------------------------------------------------------------ pack header

// Which of the two pack syntaxes a stream uses.
enum class PackSyntax { Mpeg1, Mpeg2 };

// Byte 4 of a pack header starts with the marker bits of its syntax: '0010'
// (ISO/IEC 11172-1) or '01' (ISO/IEC 13818-1).
inline constexpr size_t kPackMarkerByte = 4;
inline constexpr uint8_t kMpeg1PackMarker = 0x20;
inline constexpr uint8_t kMpeg2PackMarker = 0x40;
// MPEG-2: the low 3 bits of byte 13 count the stuffing bytes after the header.
inline constexpr size_t kPackStuffingByte = 13;
inline constexpr uint8_t kPackStuffingMask = 0x07;
// The clock reference fills bytes 4 to 8 (MPEG-1) or 4 to 9 (MPEG-2).
inline constexpr size_t kMpeg1ClockReferenceSize = 5;
inline constexpr size_t kMpeg2ClockReferenceSize = 6;

// The fixed part of a pack header, without MPEG-2 pack stuffing.
inline constexpr size_t PackHeaderSize(PackSyntax syntax) {
    return syntax == PackSyntax::Mpeg1 ? kMpeg1PackHeaderSize : kMpeg2PackHeaderSize;
}

// Byte 4 carries the MPEG-1 marker '0010'.
bool IsMpeg1PackHeader(const uint8_t* pack);
// Byte 4 carries the MPEG-2 marker '01'.
bool IsMpeg2PackHeader(const uint8_t* pack);
// The looser test the probe makes: byte 4's second bit ('x1') is set. It
// agrees with IsMpeg2PackHeader on every pack header of either syntax and
// differs only on marker bits '11', which neither syntax uses.
bool HasMpeg2MarkerBit(const uint8_t* pack);

// Length of the pack header at `pack` with its stuffing: 12 bytes for
// MPEG-1; for MPEG-2 14 bytes and the stuffing that byte 13 counts.
size_t PackHeaderLength(const uint8_t* pack, PackSyntax syntax);
// The same, for a pack whose first `size` bytes are all there is to read:
// MPEG-2 only for the '01' marker, and byte 13 read only when present.
size_t PackHeaderLengthWithin(const uint8_t* pack, size_t size);

// The 33-bit system clock reference base of the pack header at `pack`
// (bytes 4 to 8), marker bits skipped. A caller that wants "the low 32 bits"
// converts the result to uint32_t.
uint64_t ReadClockReference(const uint8_t* pack, PackSyntax syntax);
// The 9-bit 27 MHz extension of an MPEG-2 clock reference (bytes 8 and 9).
uint16_t ReadClockReferenceExtension(const uint8_t* pack);

// Writes an MPEG-2 clock reference field (the six bytes from pack byte 4,
// marker '01' first) for `base` (taken modulo 2^33) and `extension`.
void WriteMpeg2ClockReference(uint8_t* out, uint64_t base, uint16_t extension);
// An MPEG-1 clock reference field (the five bytes from pack byte 4) is a time
// stamp behind the marker '0010': WriteTimestamp(out, kMpeg1PackMarker, scr).

// ------------------------------------------------------------ time stamps

// The 4 bits in front of a 5-byte time stamp (ISO/IEC 11172-1, 13818-1).
inline constexpr uint8_t kPtsOnlyPrefix = 0x20;     // '0010': a PTS alone
inline constexpr uint8_t kPtsBeforeDtsPrefix = 0x30;  // '0011': a PTS that a DTS follows
inline constexpr uint8_t kDtsPrefix = 0x10;         // '0001': the DTS after it
inline constexpr size_t kTimestampSize = 5;

// Writes `t` (taken modulo 2^33) as a 5-byte time stamp behind `prefix`,
// with its three marker bits.
void WriteTimestamp(uint8_t* out, uint8_t prefix, uint64_t t);
// The 33-bit value of the 5-byte time stamp at `in`; the prefix and marker
// bits are not looked at.
uint64_t ReadTimestamp(const uint8_t* in);

// Offset of the payload within the packet at `packet` (start code first),
// `size` bytes of it readable; `size` when the header runs past them.
// MPEG-1: stuffing, an optional buffer size, then no time stamp, a PTS, or a
// PTS and a DTS. MPEG-2: the PES flags and header data length, then that many
// header bytes.
size_t PacketPayloadOffset(const uint8_t* packet, size_t size, PackSyntax syntax);
// The presentation time stamp of the packet at `packet` (`size` bytes
// readable), when its header carries one: it belongs to the first picture or
// audio frame that begins in the packet. -1 when there is none.
int64_t PacketPresentationTime(const uint8_t* packet, size_t size, PackSyntax syntax);

// ------------------------------------------------------------ pictures

// picture_coding_type of a picture header (ISO/IEC 11172-2, 13818-2).
enum class PictureCodingType : uint8_t { Intra = 1, Predicted = 2, Bidirectional = 3, DcIntra = 4 };

// The coding type of the picture header at `picture` (00 00 01 00 first; it
// reads byte 5: temporal_reference is 10 bits, then 3 bits of coding type).
uint8_t PictureCodingTypeOf(const uint8_t* picture);
// True when `bytes` holds a picture start code whose picture is intra-coded.
// A start code is looked for at every offset below size - 5 (its coding type
// must lie within the bytes).
bool HoldsIntraPicture(const uint8_t* bytes, size_t size);

// ------------------------------------------------------------ stream ids

// The video and audio streams the disc formats carry.
inline bool IsVideoStreamId(uint8_t id) { return id >= uint8_t(StreamId::Video0) && id <= uint8_t(StreamId::Video2); }
inline bool IsAudioStreamId(uint8_t id) { return id == uint8_t(StreamId::Audio0) || id == uint8_t(StreamId::Audio1); }
// Ids from 0xBC up are packets with a 16-bit length after the start code (the
// system header, 0xBB, has one too but is not a packet).
inline bool IsPacketStreamId(uint8_t id) { return id >= uint8_t(StreamId::ProgramStreamMap); }
// A stream listed in a system header has its id's top bit set; a byte
// without it ends the list.
inline bool IsListedStreamId(uint8_t id) { return (id & 0x80) != 0; }

}  // namespace qorvcd
