#include "content/lot.h"

#include "platform/bytes.h"

namespace qorvcd {

std::vector<uint8_t> LotRecord::Encode() const {
    std::vector<uint8_t> lot(kLotSize, 0xFF);  // unused entries
    PutBe16(lot.data() + kLotReservedOffset, 0);  // reserved
    const size_t count = offsets8.size() < kLotMaxEntries ? offsets8.size() : kLotMaxEntries;
    for (size_t i = 0; i < count; ++i) PutBe16(lot.data() + kLotEntrySize * (i + 1), offsets8[i]);
    return lot;
}

std::optional<LotRecord> LotRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    if (bytes.size() < kLotSize) {
        if (why) *why = "LOT is " + std::to_string(bytes.size()) + " bytes, expected " + std::to_string(kLotSize);
        return std::nullopt;
    }
    LotRecord lot;
    for (size_t i = 1; i <= kLotMaxEntries; ++i) {
        const uint16_t offset8 = GetBe16(bytes.data() + kLotEntrySize * i);
        if (offset8 == kLotUnused) break;
        lot.offsets8.push_back(offset8);
    }
    return lot;
}

}  // namespace qorvcd
