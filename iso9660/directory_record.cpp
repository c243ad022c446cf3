#include "iso9660/directory_record.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/inspect_visitor.h"
#include "iso9660/dir_tree.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace dirrec;

namespace {

constexpr uint8_t kXaSignatureBytes[2] = {'X', 'A'};
constexpr size_t kTrackNumberOffset = 5;  // "AVSEQ01.MPG": the index starts at the sixth character

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

size_t PaddedIdentifierEnd(size_t identifierLength) {
    const size_t end = kFixedPartSize + identifierLength;
    return end + (end % 2);
}

}  // namespace

RecordTime RecordTimeFrom(const Clock& clock) {
    const CalendarTime t = clock.Utc();
    RecordTime r;
    r.yearsSince1900 = uint8_t(t.year - 1900);
    r.month = uint8_t(t.month);
    r.day = uint8_t(t.day);
    r.hour = uint8_t(t.hour);
    r.minute = uint8_t(t.minute);
    r.second = uint8_t(t.second);
    r.gmtOffset = 0;
    return r;
}

void PutRecordTime(uint8_t* p, const RecordTime& t) {
    p[0] = t.yearsSince1900;
    p[1] = t.month;
    p[2] = t.day;
    p[3] = t.hour;
    p[4] = t.minute;
    p[5] = t.second;
    p[6] = uint8_t(t.gmtOffset);
}

RecordTime GetRecordTime(const uint8_t* p) {
    return {p[0], p[1], p[2], p[3], p[4], p[5], int8_t(p[6])};
}

size_t DirectoryRecordLength(size_t identifierLength, bool withXa) {
    return PaddedIdentifierEnd(identifierLength) + (withXa ? kXaSize : 0);
}

std::vector<uint8_t> DirectoryRecord::Encode() const {
    const size_t idLength = identifier.size();
    if (idLength == 0) return {};
    const size_t length = DirectoryRecordLength(idLength, hasXa);
    if (length > kMaxRecordLength) return {};

    std::vector<uint8_t> bytes(length, 0);
    uint8_t* out = bytes.data();
    out[kLength] = uint8_t(length);
    out[kExtAttrLength] = extAttrLength;
    PutBoth32(out + kExtent, extent);
    PutBoth32(out + kDataLength, dataLength);
    PutRecordTime(out + kRecordingTime, time);
    out[kFlags] = uint8_t(flags);
    out[kFileUnitSize] = 0;   // not interleaved
    out[kInterleaveGap] = 0;
    PutBoth16(out + kVolumeSequence, volumeSequence);
    out[kIdentifierLength] = uint8_t(idLength);
    std::memcpy(out + kIdentifier, identifier.data(), idLength);
    // the padding byte after an even-length identifier stays zero
    if (hasXa) {
        uint8_t* xa = out + PaddedIdentifierEnd(idLength);
        PutBe16(xa + kXaGroupId, 0);
        PutBe16(xa + kXaUserId, 0);
        PutBe16(xa + kXaAttributes, xaAttributes);
        std::memcpy(xa + kXaSignature, kXaSignatureBytes, 2);
        xa[kXaFileNumber] = xaFileNumber;
        std::memset(xa + kXaReserved, 0, 5);  // reserved
    }
    return bytes;
}

std::optional<DirectoryRecord> DirectoryRecord::Decode(std::span<const uint8_t> bytes, std::string* error) {
    const uint8_t* p = bytes.data();
    const size_t available = bytes.size();
    if (available < 1 || p[kLength] == 0) {
        SetError(error, "end of sector");
        return std::nullopt;
    }
    const size_t length = p[kLength];
    if (length > available) {
        SetError(error, Format("record of %zu bytes runs past the %zu bytes left", length, available));
        return std::nullopt;
    }
    if (length < kFixedPartSize + 1) {
        SetError(error, Format("record length %zu is below the minimum of 34", length));
        return std::nullopt;
    }
    const size_t idLength = p[kIdentifierLength];
    if (idLength == 0 || PaddedIdentifierEnd(idLength) > length) {
        SetError(error, Format("identifier of %zu bytes does not fit a record of %zu bytes", idLength, length));
        return std::nullopt;
    }
    if (GetLe32(p + kExtent) != GetBe32(p + kExtent + 4) ||
        GetLe32(p + kDataLength) != GetBe32(p + kDataLength + 4)) {
        SetError(error, "the two byte orders of the extent or data length differ");
        return std::nullopt;
    }
    DirectoryRecord r;
    r.extAttrLength = p[kExtAttrLength];
    r.extent = GetLe32(p + kExtent);
    r.dataLength = GetLe32(p + kDataLength);
    r.time = GetRecordTime(p + kRecordingTime);
    r.flags = FileFlags(p[kFlags]);
    r.volumeSequence = GetLe16(p + kVolumeSequence);
    r.identifier.assign(reinterpret_cast<const char*>(p + kIdentifier), idLength);

    const size_t xaStart = PaddedIdentifierEnd(idLength);
    r.hasXa = length - xaStart >= kXaSize &&
              std::memcmp(p + xaStart + kXaSignature, kXaSignatureBytes, 2) == 0;
    if (r.hasXa) {
        r.xaAttributes = GetBe16(p + xaStart + kXaAttributes);
        r.xaFileNumber = p[xaStart + kXaFileNumber];
    }
    return r;
}

void PutRecordExtent(uint8_t* record, uint32_t extent) { PutBoth32(record + kExtent, extent); }
void PutRecordDataLength(uint8_t* record, uint32_t length) { PutBoth32(record + kDataLength, length); }
uint32_t GetRecordExtent(const uint8_t* record) { return GetLe32(record + kExtent); }
uint32_t GetRecordDataLength(const uint8_t* record) { return GetLe32(record + kDataLength); }

uint16_t XaAttributesOf(const DirNode& node) {
    switch (node.kind) {
        case NodeKind::Directory: return uint16_t(XaAttributes::Directory);
        case NodeKind::Form1File: return uint16_t(XaAttributes::Form1File);
        case NodeKind::TrackFile:
        case NodeKind::Form2File: return uint16_t(XaAttributes::Form2File);
    }
    return uint16_t(XaAttributes::Form1File);
}

uint8_t XaFileNumberOf(const DirNode& node) {
    if (node.kind == NodeKind::Form2File) return 1;
    if (node.kind != NodeKind::TrackFile) return 0;
    unsigned number = 0;
    for (size_t i = kTrackNumberOffset; i < node.name.size(); ++i) {
        const auto c = static_cast<unsigned char>(node.name[i]);
        if (!std::isdigit(c)) break;
        number = number * 10 + (c - '0');
        if (number > 255) return 0;  // not a track index
    }
    return uint8_t(number);
}

DirectoryRecord RecordForNode(const DirNode& node, const RecordTime& time) {
    DirectoryRecord r;
    r.time = time;
    if (node.IsDirectory()) {
        r.identifier = node.name;
        r.flags = FileFlags::Directory;
    } else {
        r.identifier = node.name + ";1";
        r.flags = FileFlags::File;
        r.extent = node.startSector;
        r.dataLength = node.size;
    }
    r.xaAttributes = XaAttributesOf(node);
    r.xaFileNumber = XaFileNumberOf(node);
    return r;
}

DirectoryRecord DotRecord(bool parent, uint32_t extent, uint32_t dataLength, const RecordTime& time) {
    DirectoryRecord r;
    r.extent = extent;
    r.dataLength = dataLength;
    r.time = time;
    r.flags = FileFlags::Directory;
    r.identifier.assign(1, char(parent ? kParentIdentifier : kSelfIdentifier));
    r.xaAttributes = uint16_t(XaAttributes::Directory);
    return r;
}

DirectoryRecord RootRecord(uint32_t extent, uint32_t dataLength, const RecordTime& time) {
    DirectoryRecord r = DotRecord(false, extent, dataLength, time);
    r.hasXa = false;
    r.xaAttributes = 0;
    return r;
}

std::array<uint8_t, kRootRecordLength> EncodeRootRecord(uint32_t extent, uint32_t dataLength,
                                                       const RecordTime& time) {
    const DirectoryRecord r = RootRecord(extent, dataLength, time);
    std::array<uint8_t, kRootRecordLength> out{};
    const std::vector<uint8_t> bytes = r.Encode();
    std::copy(bytes.begin(), bytes.end(), out.begin());
    return out;
}

namespace {

std::string XaKind(uint16_t attributes) {
    switch (XaAttributes(attributes)) {
        case XaAttributes::Directory: return "folder";
        case XaAttributes::Form1File: return "form1";
        case XaAttributes::Form2File: return "form2";
    }
    return Format("0x%04X", attributes);
}

}  // namespace

void DirectoryRecord::Inspect(InspectVisitor& v) const {
    v.Flag("folder", flags == FileFlags::Directory);
    v.Number("extent", extent);
    v.Number("size", dataLength);
    if (hasXa) {
        v.Text("xa", XaKind(xaAttributes));
        v.Number("fileNumber", xaFileNumber);
    }
}

}  // namespace qorvcd
