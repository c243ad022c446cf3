#include "core/inspect_visitor.h"

#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

std::string PrintableField(std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? char(b) : (b == 0 ? '\0' : '.');
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    for (char& c : text) {
        if (c == '\0') c = '.';
    }
    return text;
}

std::string BcdAddressText(const uint8_t* bcd) {
    return Format("%02u:%02u:%02u", FromBcd(bcd[0]), FromBcd(bcd[1]), FromBcd(bcd[2]));
}

void InspectSectorAddress(InspectVisitor& v, int64_t sector) {
    v.BeginObject("");
    v.Number("sector", sector);
    if (sector >= 0) {
        uint8_t bcd[3];
        PutMsfBcd(bcd, uint32_t(sector));
        v.Text("address", BcdAddressText(bcd));
    }
    v.EndObject();
}

}  // namespace qorvcd
