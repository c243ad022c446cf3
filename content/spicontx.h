// SPICONTX.SVD: the overlay-graphics and audio byte of every segment of the
// segment area, written for SVCD and SUPER-VCD discs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
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

struct SpicontxPair {
    uint8_t ogt = 0;
    uint8_t audio = 0;
    bool operator==(const SpicontxPair&) const = default;
};

struct SpicontxRecord {
    uint8_t version = kSpicontxVersion;
    // Pairs up to the last one that is not 00 00 (zero pairs after it are unused).
    std::vector<SpicontxPair> pairs;

    // The kSpicontxSize bytes of the file; pairs past kSpicontxMaxPairs are
    // not written (the builder refuses them first).
    std::vector<uint8_t> Encode() const;
    // Nothing, with `why` set, on a short file or a bad identifier.
    static std::optional<SpicontxRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    bool operator==(const SpicontxRecord&) const = default;
};

// One (ogtCode, audioCode) pair per segment of every item, in list order.
// Nothing when the pairs would not fit the file.
std::optional<SpicontxRecord> BuildSpicontx(const std::vector<SegmentItem>& items);

}  // namespace qorvcd
