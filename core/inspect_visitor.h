// The receiving side of the image inspector. Each decoded record feeds its
// fields to a visitor, as nested objects, lists and named values, from a
// member `Inspect(InspectVisitor&) const` that lives beside its writer and
// reader; each printer (text, JSON) implements this interface, so the two
// outputs cannot disagree.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qorvcd {

class InspectVisitor {
public:
    virtual ~InspectVisitor() = default;
    // `name` is empty for the elements of a list.
    virtual void BeginObject(std::string_view name) = 0;
    virtual void EndObject() = 0;
    virtual void BeginList(std::string_view name) = 0;
    virtual void EndList() = 0;
    virtual void Text(std::string_view name, std::string_view value) = 0;
    virtual void Number(std::string_view name, int64_t value) = 0;
    virtual void Flag(std::string_view name, bool value) = 0;
};

// Printable text of a fixed-size identifier field (control bytes as '.',
// trailing blanks and zeros dropped).
std::string PrintableField(std::span<const uint8_t> bytes);
// "mm:ss:ff" of three BCD bytes as stored.
std::string BcdAddressText(const uint8_t* bcd);
// A list element for a logical sector: its number and, for a sector on the
// disc (not negative), its "mm:ss:ff" address.
void InspectSectorAddress(InspectVisitor& v, int64_t sector);

}  // namespace qorvcd
