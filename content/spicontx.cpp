#include "content/spicontx.h"

#include <cstring>

#include "platform/bytes.h"

namespace qorvcd {

namespace {
constexpr char kSpicontxId[] = "SPICONSV";
}

SpicontxImage EmptySpicontx() {
    SpicontxImage image{};
    PutPadded(image.data() + kSpicontxIdOffset, kSpicontxIdSize, kSpicontxId);
    image[kSpicontxVersionOffset] = kSpicontxVersion;
    image[kSpicontxReservedOffset] = 0;  // reserved
    return image;
}

bool BuildSpicontx(const std::vector<SegmentItem>& items, SpicontxImage& out) {
    out = EmptySpicontx();
    size_t pair = 0;
    for (const SegmentItem& item : items) {
        for (uint32_t segment = 0; segment < item.segmentCount; ++segment, ++pair) {
            if (pair >= kSpicontxMaxPairs) return false;
            uint8_t* p = out.data() + kSpicontxPairsOffset + 2 * pair;
            p[0] = uint8_t(item.ogtCode);
            p[1] = uint8_t(item.audioCode);
        }
    }
    return true;
}

bool DecodeSpicontx(const uint8_t* data, size_t size, SpicontxContents& out, std::string& error) {
    out = SpicontxContents();
    if (size < kSpicontxSize) {
        error = "SPICONTX.SVD is " + std::to_string(size) + " bytes, expected " +
                std::to_string(kSpicontxSize);
        return false;
    }
    if (std::memcmp(data + kSpicontxIdOffset, kSpicontxId, kSpicontxIdSize) != 0) {
        error = "SPICONTX.SVD does not begin with SPICONSV";
        return false;
    }
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
    return true;
}

}  // namespace qorvcd
