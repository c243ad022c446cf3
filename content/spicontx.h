// SPICONTX.SVD: the overlay-graphics and audio byte of every segment of the
// segment area, written for SVCD and SUPER-VCD discs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "content/segment_items.h"

namespace qorvcd {

inline constexpr size_t kSpicontxSize = 4096;
inline constexpr size_t kSpicontxIdOffset = 0;  // "SPICONSV"
inline constexpr size_t kSpicontxIdSize = 8;
inline constexpr size_t kSpicontxVersionOffset = 8;   // 1
inline constexpr size_t kSpicontxReservedOffset = 9;  // 0
inline constexpr size_t kSpicontxPairsOffset = 10;    // two bytes per segment
inline constexpr uint8_t kSpicontxVersion = 1;
inline constexpr size_t kSpicontxMaxPairs = (kSpicontxSize - kSpicontxPairsOffset) / 2;
inline constexpr const char* kSpicontxFileName = "SPICONTX.SVD";

using SpicontxImage = std::array<uint8_t, kSpicontxSize>;

// The header alone (what the file holds when there are no items).
SpicontxImage EmptySpicontx();
// Header plus one (ogtCode, audioCode) pair per segment of every item, in
// list order. False when the pairs would not fit the file.
bool BuildSpicontx(const std::vector<SegmentItem>& items, SpicontxImage& out);

struct SpicontxPair {
    uint8_t ogt = 0;
    uint8_t audio = 0;
};
struct SpicontxContents {
    uint8_t version = 0;
    // Pairs up to the last one that is not 00 00 (zero pairs after it are unused).
    std::vector<SpicontxPair> pairs;
};
// Decodes a SPICONTX.SVD image; false with `error` on a short file or a bad
// identifier.
bool DecodeSpicontx(const uint8_t* data, size_t size, SpicontxContents& out, std::string& error);

}  // namespace qorvcd
