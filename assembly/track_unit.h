// One 2336-byte unit of a video track file as the track writer sees it: the
// bytes it reads or sets, and the facts its observers act on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/sector_unit.h"

namespace qorvcd {

namespace track_unit {
inline constexpr size_t kFileNumber = 0;      // subheader file number ...
inline constexpr size_t kFileNumberCopy = 4;  // ... and its copy
inline constexpr size_t kCoding = 3;
inline constexpr size_t kPack = kSubheaderSize;  // the pack follows the subheader
// The third byte of a pack start code at unit byte 8: 0x01 when one is there.
inline constexpr size_t kPackStartPrefix = 10;
}  // namespace track_unit

// What the writer reads from one unit of a track file.
struct TrackUnitFacts {
    bool video = false;          // the coding byte marks a video unit
    bool packHeadOk = false;     // a pack start code at unit byte 8
    uint32_t clockReference = 0; // system clock reference base (low 32 bits, 90 kHz)
    bool iPicture = false;       // the pack holds the start of an intra-coded picture
};
TrackUnitFacts InspectTrackUnit(const uint8_t* unit);

// A unit as it was placed in the image.
struct TrackUnit {
    uint32_t sector = 0;  // its logical sector
    uint32_t number = 0;  // 1 for the track's first unit
    TrackUnitFacts facts;
    const uint8_t* pack = nullptr;  // its kMaxPackSize bytes from unit byte 8, while the observers run

    bool First() const { return number == 1; }
};

}  // namespace qorvcd
