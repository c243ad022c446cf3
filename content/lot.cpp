#include "content/lot.h"

#include "platform/bytes.h"

namespace qorvcd {

std::vector<uint8_t> BuildLot(const std::vector<uint16_t>& offsets8) {
    std::vector<uint8_t> lot(kLotSize, 0xFF);
    PutBe16(lot.data() + kLotReservedOffset, 0);  // reserved
    const size_t count = offsets8.size() < kLotMaxEntries ? offsets8.size() : kLotMaxEntries;
    for (size_t i = 0; i < count; ++i) PutBe16(lot.data() + kLotEntrySize * (i + 1), offsets8[i]);
    return lot;
}

bool DecodeLot(const uint8_t* data, size_t size, std::vector<uint16_t>& offsets8,
               std::string& error) {
    offsets8.clear();
    if (size < kLotSize) {
        error = "LOT is " + std::to_string(size) + " bytes, expected " + std::to_string(kLotSize);
        return false;
    }
    for (size_t i = 1; i <= kLotMaxEntries; ++i) {
        const uint16_t offset8 = GetBe16(data + kLotEntrySize * i);
        if (offset8 == kLotUnused) break;
        offsets8.push_back(offset8);
    }
    return true;
}

}  // namespace qorvcd
