// Start codes, stream ids and fixed header sizes of MPEG program streams,
// shared by the writers of still pictures and the readers of streams. What
// the fields of the headers hold is read and written in mpeg/pack_header.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qorvcd {

// Values after the 00 00 01 start-code prefix of a program stream
// (ISO/IEC 11172-1, 13818-1).
enum class StreamId : uint8_t {
    ProgramEnd = 0xB9,
    PackStart = 0xBA,
    SystemHeader = 0xBB,
    ProgramStreamMap = 0xBC,
    Private1 = 0xBD,
    Padding = 0xBE,
    Audio0 = 0xC0,
    Audio1 = 0xC1,
    Video0 = 0xE0,
    Video1 = 0xE1,
    Video2 = 0xE2,
};

// Start codes of the video layer (ISO/IEC 11172-2, 13818-2).
enum class VideoStartCode : uint8_t {
    Picture = 0x00,
    SequenceHeader = 0xB3,
    Extension = 0xB5,
    SequenceEnd = 0xB7,
    GroupOfPictures = 0xB8,
};

inline constexpr size_t kStartCodeSize = 4;
inline constexpr size_t kPacketPrefixSize = 6;      // start code and 16-bit length
inline constexpr size_t kMpeg1PackHeaderSize = 12;
inline constexpr size_t kMpeg2PackHeaderSize = 14;  // without pack stuffing
// A system header lists its streams after its six fixed bytes, three bytes
// (id, then the buffer bound) per stream.
inline constexpr size_t kSystemHeaderFirstStream = kPacketPrefixSize + 6;
inline constexpr size_t kStreamEntrySize = 3;

inline bool IsStartCodePrefix(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }
inline bool IsStartCode(const uint8_t* p, StreamId id) { return IsStartCodePrefix(p) && p[3] == uint8_t(id); }

}  // namespace qorvcd
