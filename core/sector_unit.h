// Sector units as the image stores them, and the CD-ROM XA subheaders.
//
// The image keeps, for each Mode 2 sector, the 8-byte subheader followed by the
// user data: a Form 1 unit (2056 bytes) or a Form 2 unit (2332 bytes). Sync,
// header, EDC and ECC are made by the recorder, or by our BIN/CUE export.
// Sector-mode files carry
// 2336-byte units (subheader, one program-stream pack, 0xFF filler) of which
// the image keeps the first 2332 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qorvcd {

inline constexpr size_t kRawSectorSize = 2352;       // ECMA-130 sector
inline constexpr size_t kSubheaderSize = 8;
inline constexpr size_t kForm1DataSize = 2048;
inline constexpr size_t kForm2DataSize = 2324;
inline constexpr size_t kForm1UnitSize = kSubheaderSize + kForm1DataSize;  // 2056
inline constexpr size_t kForm2UnitSize = kSubheaderSize + kForm2DataSize;  // 2332
inline constexpr size_t kSectorModeUnitSize = 2336;  // unit of a sector-mode file
inline constexpr size_t kMaxPackSize = kForm2DataSize;
// The highest logical sector a track may reach: the last sector a BCD disc
// address (99:59:74) can name.
inline constexpr uint32_t kMaxTrackSector = 99 * 4500 + 59 * 75 + 74 - 150;

// Submode bits of the CD-ROM XA subheader (ECMA-130 / CD-ROM XA).
enum SubmodeBits : uint8_t {
    kSubmodeEndOfRecord = 0x01,
    kSubmodeVideo = 0x02,
    kSubmodeAudio = 0x04,
    kSubmodeData = 0x08,
    kSubmodeTrigger = 0x10,
    kSubmodeForm2 = 0x20,
    kSubmodeRealTime = 0x40,
    kSubmodeEndOfFile = 0x80,
};

// The four subheader bytes; the unit stores them twice.
struct Subheader {
    uint8_t file = 0;
    uint8_t channel = 0;
    uint8_t submode = 0;
    uint8_t coding = 0;

    void WriteTo(uint8_t* p) const {
        p[0] = p[4] = file;
        p[1] = p[5] = channel;
        p[2] = p[6] = submode;
        p[3] = p[7] = coding;
    }
    static Subheader ReadFrom(const uint8_t* p) { return {p[0], p[1], p[2], p[3]}; }
    bool operator==(const Subheader&) const = default;
};

// Subheaders the writers use.
inline constexpr Subheader kEmptySystemSubheader{0x00, 0x00, 0x00, 0x00};
inline constexpr Subheader kCvdSignatureSubheader{0x01, 0x00, 0x88, 0x00};
inline constexpr Subheader kDataSubheader{0x00, 0x00, 0x08, 0x00};
inline constexpr Subheader kLastDataSubheader{0x00, 0x00, 0x89, 0x00};
inline constexpr Subheader kVideoSubheader{0x01, 0x01, 0x62, 0x0F};
inline constexpr Subheader kCvdSecondVideoSubheader{0x01, 0x02, 0x62, 0x1F};
inline constexpr Subheader kSvcdPrivate1Subheader{0x01, 0x04, 0x62, 0x30};
inline constexpr Subheader kPrivate1Subheader{0x01, 0x02, 0x62, 0x0F};
inline constexpr Subheader kAudioSubheader{0x01, 0x01, 0x64, 0x7F};
inline constexpr Subheader kPaddingSubheader{0x01, 0x00, 0x63, 0x1F};
// Video units of still pictures as the Video CD standard codes them: a
// still of normal resolution on channel 2, one of high resolution on
// channel 3, each with its own coding byte (the submode stays that of video).
inline constexpr uint8_t kNormalStillChannel = 0x02;
inline constexpr uint8_t kNormalStillCoding = 0x1F;
inline constexpr uint8_t kHighStillChannel = 0x03;
inline constexpr uint8_t kHighStillCoding = 0x3F;
// An empty Form 2 unit standing for an all-zero padding sector of a stream.
inline constexpr Subheader kEmptyForm2Subheader{0x01, 0x00, 0x60, 0x00};
// A reserved (unstored) sector when a BIN is made: Form 2, zero data.
inline constexpr Subheader kGapSubheader{0x00, 0x00, 0x20, 0x00};

// The coding byte by which readers of sector-mode files recognise video units.
inline constexpr uint8_t kVideoCoding = 0x0F;

}  // namespace qorvcd
