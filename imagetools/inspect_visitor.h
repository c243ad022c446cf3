// The receiving side of the image inspector: the decoded image is walked
// once, as nested objects, lists and named values, and each printer (text,
// JSON) implements this interface, so the two outputs cannot disagree.
#pragma once

#include <cstdint>
#include <functional>
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

// The two printers. `walk` feeds the visitor; its result (false when a part
// could not be decoded) is passed back through `ok` when given.
using InspectWalk = std::function<bool(InspectVisitor&)>;
std::string PrintInspectText(const InspectWalk& walk, bool* ok = nullptr);
std::string PrintInspectJson(const InspectWalk& walk, bool* ok = nullptr);

// Visits of the Video CD control files found in the image, each from the
// file's bytes; a file that cannot be decoded becomes an "error" value.
// The return value is false when the file could not be decoded.
bool VisitInfoFile(std::span<const uint8_t> bytes, InspectVisitor& v);
bool VisitEntriesFile(std::span<const uint8_t> bytes, InspectVisitor& v);
bool VisitPlaybackControl(std::span<const uint8_t> lot, std::span<const uint8_t> psd, InspectVisitor& v);
bool VisitTracksFile(std::span<const uint8_t> bytes, InspectVisitor& v);
bool VisitSearchFile(std::span<const uint8_t> bytes, InspectVisitor& v);
bool VisitScanDataFile(std::span<const uint8_t> bytes, InspectVisitor& v);

// Printable text of a fixed-size identifier field (control bytes as '.',
// trailing blanks and zeros dropped).
std::string PrintableField(std::span<const uint8_t> bytes);
// "mm:ss:ff" of three BCD bytes as stored.
std::string BcdAddressText(const uint8_t* bcd);

}  // namespace qorvcd
