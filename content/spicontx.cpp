#include "content/spicontx.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"

namespace qorvcd {

namespace {
constexpr char kSpicontxId[] = "SPICONSV";
}

std::optional<SpicontxRecord> BuildSpicontx(const std::vector<SegmentItem>& items) {
    SpicontxRecord record;
    for (const SegmentItem& item : items) {
        for (uint32_t segment = 0; segment < item.segmentCount; ++segment) {
            if (record.pairs.size() >= kSpicontxMaxPairs) return std::nullopt;
            record.pairs.push_back({uint8_t(item.ogtCode), uint8_t(item.audioCode)});
        }
    }
    return record;
}

std::vector<uint8_t> SpicontxRecord::Encode() const {
    std::vector<uint8_t> out(kSpicontxSize, 0);
    PutPadded(out.data() + kSpicontxIdOffset, kSpicontxIdSize, kSpicontxId);
    out[kSpicontxVersionOffset] = version;
    out[kSpicontxReservedOffset] = 0;  // reserved
    const size_t count = std::min(pairs.size(), kSpicontxMaxPairs);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = out.data() + kSpicontxPairsOffset + 2 * i;
        p[0] = pairs[i].ogt;
        p[1] = pairs[i].audio;
    }
    return out;
}

std::optional<SpicontxRecord> SpicontxRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    const uint8_t* data = bytes.data();
    if (bytes.size() < kSpicontxSize) {
        if (why) *why = "SPICONTX.SVD is " + std::to_string(bytes.size()) + " bytes, expected " +
                        std::to_string(kSpicontxSize);
        return std::nullopt;
    }
    if (std::memcmp(data + kSpicontxIdOffset, kSpicontxId, kSpicontxIdSize) != 0) {
        if (why) *why = "SPICONTX.SVD does not begin with SPICONSV";
        return std::nullopt;
    }
    SpicontxRecord out;
    out.version = data[kSpicontxVersionOffset];
    size_t used = 0;
    for (size_t i = 0; i < kSpicontxMaxPairs; ++i) {
        const uint8_t* p = data + kSpicontxPairsOffset + 2 * i;
        if (p[0] != 0 || p[1] != 0) used = i + 1;
    }
    for (size_t i = 0; i < used; ++i) {
        const uint8_t* p = data + kSpicontxPairsOffset + 2 * i;
        out.pairs.push_back({p[0], p[1]});
    }
    return out;
}

}  // namespace qorvcd
