#include "iso9660/volume_descriptor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/build_context.h"
#include "core/disc_kind.h"
#include "core/inspect_visitor.h"
#include "iso9660/path_table.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/log_list.h"
#include "script/script_reader.h"

namespace qorvcd {

using namespace pvd;

namespace {

constexpr uint8_t kDescriptorVersion = 1;
constexpr uint8_t kStructureVersion = 1;
constexpr uint16_t kLogicalBlockBytes = 2048;
constexpr uint16_t kDefaultVolumeCount = 1;
constexpr char kUnsetDateDigit = '0';
constexpr const char* kSectionName = "[ISO9660]";

// How a key's text value goes into its field.
enum class Fill {
    KeepRest,    // the rest of the field keeps what it held
    BlankFirst,  // the field is filled with blanks first
};

struct TextKey {
    const char* key;
    std::span<uint8_t> (*field)(PrimaryVolumeDescriptor&);
    Fill fill;
};

constexpr TextKey kTextKeys[] = {
    {"SYSTEMID", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.systemId; }, Fill::BlankFirst},
    {"VOLUME_ID", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.volumeId; }, Fill::BlankFirst},
    {"VOLUME_SETID", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.volumeSetId; }, Fill::KeepRest},
    {"PUBLISHER", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.publisherId; }, Fill::KeepRest},
    {"DATA_PREPARER", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.dataPreparerId; }, Fill::BlankFirst},
    {"APPLICATION", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.applicationId; }, Fill::BlankFirst},
    {"COPYRIGHT_FILE", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.copyrightFileId; }, Fill::KeepRest},
    {"ABSTRACT_FILE", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.abstractFileId; }, Fill::KeepRest},
    {"BIBLIOGRAPH_FILE", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.bibliographicFileId; }, Fill::KeepRest},
    {"CREATION_DATE", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.creationDate; }, Fill::KeepRest},
    {"MODIFICATION_DATE", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.modificationDate; }, Fill::KeepRest},
    {"EXPIRATION_DATE", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.expirationDate; }, Fill::KeepRest},
    {"EFFECTIVE_DATE", [](PrimaryVolumeDescriptor& d) -> std::span<uint8_t> { return d.effectiveDate; }, Fill::KeepRest},
};

struct CountKey {
    const char* key;
    uint16_t PrimaryVolumeDescriptor::*field;
};

constexpr CountKey kCountKeys[] = {
    {"VOLUME_NO", &PrimaryVolumeDescriptor::volumeSetSize},
    {"SEQUENCE_NO", &PrimaryVolumeDescriptor::volumeSequenceNumber},
};

void Fill(std::span<uint8_t> field, uint8_t value) { std::fill(field.begin(), field.end(), value); }

void CopyText(std::span<uint8_t> field, const std::string& text) {
    std::memcpy(field.data(), text.data(), std::min(text.size(), field.size()));
}

void PutPadded(std::span<uint8_t> field, std::string_view text, uint8_t pad = ' ') {
    qorvcd::PutPadded(field.data(), field.size(), text, pad);
}

// A count is taken only as a positive signed 16-bit number; anything else
// (0, negative, too large, not a number) leaves the field as it was.
bool ParsePositiveCount(const std::string& text, uint16_t& out) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || value <= 0 || value > 0x7FFF) return false;
    out = uint16_t(value);
    return true;
}

void SetDefaults(PrimaryVolumeDescriptor& d, const BuildContext& ctx) {
    d = PrimaryVolumeDescriptor();
    d.logicalBlockSize = kLogicalBlockBytes;
    PutPadded(d.volumeId, DefaultVolumeIdentifier(ctx.kind, ctx.clock.Local()));
    PutPadded(d.systemId, kDefaultSystemIdentifier);
    for (auto* field : {&d.volumeSetId, &d.publisherId, &d.dataPreparerId, &d.applicationId}) Fill(*field, ' ');
    for (auto* field : {&d.copyrightFileId, &d.abstractFileId, &d.bibliographicFileId}) Fill(*field, ' ');
    d.volumeSetSize = kDefaultVolumeCount;
    d.volumeSequenceNumber = kDefaultVolumeCount;
    for (auto* field : {&d.creationDate, &d.modificationDate, &d.effectiveDate}) Fill(*field, kUnsetDateDigit);
    // the expiration date stays seventeen zero bytes
}

// What standard readers look for: the identifier that names a Video CD, the
// dates of the build (in universal time, so a build with a fixed clock is the
// same in every time zone, as the directory records' times are), and an unset
// effective date in the standard's own form (digits '0', offset 0).
void SetStandardDefaults(PrimaryVolumeDescriptor& d, const BuildContext& ctx) {
    PutPadded(d.systemId, kStandardSystemIdentifier);
    d.creationDate = VolumeDateOf(ctx.clock.Utc());
    d.modificationDate = d.creationDate;
    d.effectiveDate.back() = 0;
}

void SetFixedFields(PrimaryVolumeDescriptor& d) {
    d.fileStructureVersion = kStructureVersion;
    PutPadded(d.applicationId, kApplicationText, 0);
}

bool IsSectionEnd(const char* token) {
    return token[0] == '\0' || token[0] == '[' || std::strcmp(token, "ENDFILE") == 0;
}

bool IsKey(const std::string& token) {
    for (const TextKey& k : kTextKeys)
        if (token == k.key) return true;
    for (const CountKey& k : kCountKeys)
        if (token == k.key) return true;
    return false;
}

// Reads the keys of the [ISO9660] section into the descriptor; false (after
// a log line) when the section is malformed.
bool ReadSection(ScriptReader& reader, PrimaryVolumeDescriptor& d, const BuildContext& ctx) {
    if (!reader.FindSection(kSectionName)) return true;
    for (;;) {
        const char* token = reader.NextTokenUpper();
        if (!token) {
            ctx.LogError(Format("%s: unreadable token in the section", kSectionName));
            return false;
        }
        if (IsSectionEnd(token)) return true;
        const std::string key = token;
        if (!IsKey(key)) continue;
        const char* equals = reader.NextToken();
        if (!equals || std::strcmp(equals, "=") != 0) {
            ctx.LogError(Format("%s: key %s is not followed by \"=\"", kSectionName, key.c_str()));
            return false;
        }
        const char* value = reader.NextToken();
        if (!value || (value[0] == '\0' && reader.AtEnd())) {
            ctx.LogError(Format("%s: key %s has no value", kSectionName, key.c_str()));
            return false;
        }
        ApplyIso9660Setting(d, key, value);
    }
}

std::string TrimmedText(const uint8_t* p, size_t size) {
    size_t n = size;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == 0)) --n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

bool ReadBoth16(const uint8_t* p, uint16_t& out) {
    out = GetLe16(p);
    return out == GetBe16(p + 2);
}

bool ReadBoth32(const uint8_t* p, uint32_t& out) {
    out = GetLe32(p);
    return out == GetBe32(p + 4);
}

}  // namespace

std::string DefaultVolumeIdentifier(DiscKind kind, const CalendarTime& localDate) {
    const char* format = kind == DiscKind::Vcd30 ? "VCD30_%02d%02d%2d"
                         : kind == DiscKind::Cvd ? "CVD_%02d%02d%2d"
                                                 : "SVCD_%02d%02d%2d";
    return Format(format, localDate.year, localDate.month, localDate.day);
}

bool ApplyIso9660Setting(PrimaryVolumeDescriptor& d, const std::string& key, const std::string& value) {
    for (const TextKey& k : kTextKeys) {
        if (key != k.key) continue;
        const std::span<uint8_t> field = k.field(d);
        if (k.fill == Fill::BlankFirst) Fill(field, ' ');
        CopyText(field, value);
        return true;
    }
    for (const CountKey& k : kCountKeys) {
        if (key != k.key) continue;
        uint16_t count = 0;
        if (ParsePositiveCount(value, count)) d.*k.field = count;
        return true;
    }
    return false;
}

std::optional<PrimaryVolumeDescriptor> BuildPrimaryVolumeDescriptor(ScriptReader* reader,
                                                                    const BuildContext& ctx) {
    PrimaryVolumeDescriptor d;
    SetDefaults(d, ctx);
    if (ctx.standard) SetStandardDefaults(d, ctx);
    if (reader && !ReadSection(*reader, d, ctx)) return std::nullopt;
    SetFixedFields(d);
    return d;
}

PrimaryVolumeDescriptor::Date VolumeDateOf(const CalendarTime& utc) {
    PrimaryVolumeDescriptor::Date date{};
    // Years past 9999 cannot be written in four digits; they are clamped
    // rather than cut, so a date never turns into an earlier one.
    const int year = std::clamp(utc.year, 0, 9999);
    const std::string digits = Format("%04d%02d%02d%02d%02d%02d00", year, utc.month, utc.day, utc.hour,
                                      utc.minute, utc.second);
    std::copy_n(digits.begin(), date.size() - 1, date.begin());
    date.back() = 0;  // offset from universal time, in 15-minute steps
    return date;
}

std::vector<uint8_t> VolumeDescriptorSetTerminator::Encode() const {
    static_assert(std::char_traits<char>::length(kOfficeAndDateText) == kOfficeAndDateLength);
    std::vector<uint8_t> bytes(kVolumeDescriptorSize, 0);
    bytes[kType] = uint8_t(VolumeDescriptorType::SetTerminator);
    std::memcpy(bytes.data() + kStandardId, kStandardIdentifier, 5);
    bytes[kVersion] = kDescriptorVersion;
    // bytes 7..2047 reserved, but for the text; its terminating zero byte
    // follows it in the cleared sector
    const size_t length = std::min(officeAndDate.size(), kVolumeDescriptorSize - kTerminatorTextOffset - 1);
    std::memcpy(bytes.data() + kTerminatorTextOffset, officeAndDate.data(), length);
    return bytes;
}

std::optional<VolumeDescriptorSetTerminator> VolumeDescriptorSetTerminator::Decode(std::span<const uint8_t> bytes,
                                                                                  std::string* why) {
    auto fail = [&](const std::string& text) -> std::optional<VolumeDescriptorSetTerminator> {
        if (why) *why = text;
        return std::nullopt;
    };
    const uint8_t* p = bytes.data();
    if (bytes.size() < kVolumeDescriptorSize)
        return fail(Format("volume descriptor needs %zu bytes, found %zu", kVolumeDescriptorSize, bytes.size()));
    if (p[kType] != uint8_t(VolumeDescriptorType::SetTerminator))
        return fail(Format("volume descriptor type %u, expected 255 (set terminator)", unsigned(p[kType])));
    if (std::memcmp(p + kStandardId, kStandardIdentifier, 5) != 0 || p[kVersion] != kDescriptorVersion)
        return fail("no \"CD001\" version 1 volume descriptor");
    const uint8_t* text = p + kTerminatorTextOffset;
    const uint8_t* end = std::find(text, p + kVolumeDescriptorSize, 0);
    VolumeDescriptorSetTerminator terminator;
    terminator.officeAndDate.assign(reinterpret_cast<const char*>(text), size_t(end - text));
    return terminator;
}

void SetPathTableFields(PrimaryVolumeDescriptor& d, uint32_t sizeInBytes, uint32_t littleEndianSector,
                        uint32_t bigEndianSector) {
    d.pathTableSize = sizeInBytes;
    d.typeLPathTable = littleEndianSector;
    d.optTypeLPathTable = littleEndianSector;
    d.typeMPathTable = bigEndianSector;
    d.optTypeMPathTable = bigEndianSector;
}

void CompleteVolumeDescriptor(PrimaryVolumeDescriptor& d, uint32_t volumeSpaceSize,
                              const RecordTime& rootTime, bool playOkFound) {
    d.xaMark = true;
    d.volumeSpaceSize = volumeSpaceSize;
    d.root = RootRecord(kRootDirectorySector, uint32_t(kPathTableSectorSize), rootTime);
    if (playOkFound) d.playOkMark = true;
}

std::vector<uint8_t> PrimaryVolumeDescriptor::Encode() const {
    std::vector<uint8_t> bytes(kVolumeDescriptorSize, 0);
    uint8_t* p = bytes.data();
    p[kType] = uint8_t(VolumeDescriptorType::Primary);
    std::memcpy(p + kStandardId, kStandardIdentifier, 5);
    p[kVersion] = kDescriptorVersion;
    p[kUnused7] = 0;  // unused
    std::copy(systemId.begin(), systemId.end(), p + kSystemId);
    std::copy(volumeId.begin(), volumeId.end(), p + kVolumeId);
    // bytes 72..79 unused, but for the mark
    if (playOkMark) std::memcpy(p + kPlayOkMark, kPlayOkMarkText, kPlayOkMarkSize);
    PutBoth32(p + kVolumeSpaceSize, volumeSpaceSize);
    // bytes 88..119 unused
    PutBoth16(p + kVolumeSetSize, volumeSetSize);
    PutBoth16(p + kVolumeSequence, volumeSequenceNumber);
    PutBoth16(p + kLogicalBlockSize, logicalBlockSize);
    PutBoth32(p + kPathTableSize, pathTableSize);
    PutLe32(p + kTypeLPathTable, typeLPathTable);
    PutLe32(p + kOptTypeLPathTable, optTypeLPathTable);
    PutBe32(p + kTypeMPathTable, typeMPathTable);
    PutBe32(p + kOptTypeMPathTable, optTypeMPathTable);
    if (root) {
        const std::vector<uint8_t> record = root->Encode();
        std::copy_n(record.begin(), std::min(record.size(), dirrec::kRootRecordLength), p + kRootRecord);
    }
    std::copy(volumeSetId.begin(), volumeSetId.end(), p + kVolumeSetId);
    std::copy(publisherId.begin(), publisherId.end(), p + kPublisherId);
    std::copy(dataPreparerId.begin(), dataPreparerId.end(), p + kDataPreparerId);
    std::copy(applicationId.begin(), applicationId.end(), p + kApplicationId);
    std::copy(copyrightFileId.begin(), copyrightFileId.end(), p + kCopyrightFileId);
    std::copy(abstractFileId.begin(), abstractFileId.end(), p + kAbstractFileId);
    std::copy(bibliographicFileId.begin(), bibliographicFileId.end(), p + kBibliographicFileId);
    std::copy(creationDate.begin(), creationDate.end(), p + kCreationDate);
    std::copy(modificationDate.begin(), modificationDate.end(), p + kModificationDate);
    std::copy(expirationDate.begin(), expirationDate.end(), p + kExpirationDate);
    std::copy(effectiveDate.begin(), effectiveDate.end(), p + kEffectiveDate);
    p[kFileStructureVersion] = fileStructureVersion;
    // byte 882 reserved; the application-use area is zero but for the mark
    if (xaMark) std::memcpy(p + kXaMark, kXaMarkText, kXaMarkSize);
    // bytes 1395..2047 reserved
    return bytes;
}

std::optional<PrimaryVolumeDescriptor> PrimaryVolumeDescriptor::Decode(std::span<const uint8_t> bytes,
                                                                      std::string* error) {
    auto fail = [&](const std::string& text) -> std::optional<PrimaryVolumeDescriptor> {
        if (error) *error = text;
        return std::nullopt;
    };
    const uint8_t* p = bytes.data();
    if (bytes.size() < kVolumeDescriptorSize)
        return fail(Format("volume descriptor needs %zu bytes, found %zu", kVolumeDescriptorSize, bytes.size()));
    if (p[kType] != uint8_t(VolumeDescriptorType::Primary))
        return fail(Format("volume descriptor type %u, expected 1 (primary)", unsigned(p[kType])));
    if (std::memcmp(p + kStandardId, kStandardIdentifier, 5) != 0 || p[kVersion] != kDescriptorVersion)
        return fail("no \"CD001\" version 1 volume descriptor");

    PrimaryVolumeDescriptor v;
    auto take = [p](auto& field, size_t offset) { std::copy_n(p + offset, field.size(), field.begin()); };
    take(v.systemId, kSystemId);
    take(v.volumeId, kVolumeId);
    take(v.volumeSetId, kVolumeSetId);
    take(v.publisherId, kPublisherId);
    take(v.dataPreparerId, kDataPreparerId);
    take(v.applicationId, kApplicationId);
    take(v.copyrightFileId, kCopyrightFileId);
    take(v.abstractFileId, kAbstractFileId);
    take(v.bibliographicFileId, kBibliographicFileId);
    take(v.creationDate, kCreationDate);
    take(v.modificationDate, kModificationDate);
    take(v.expirationDate, kExpirationDate);
    take(v.effectiveDate, kEffectiveDate);
    if (!ReadBoth32(p + kVolumeSpaceSize, v.volumeSpaceSize) ||
        !ReadBoth16(p + kVolumeSetSize, v.volumeSetSize) ||
        !ReadBoth16(p + kVolumeSequence, v.volumeSequenceNumber) ||
        !ReadBoth16(p + kLogicalBlockSize, v.logicalBlockSize) ||
        !ReadBoth32(p + kPathTableSize, v.pathTableSize))
        return fail("the two byte orders of a volume descriptor number differ");
    v.typeLPathTable = GetLe32(p + kTypeLPathTable);
    v.optTypeLPathTable = GetLe32(p + kOptTypeLPathTable);
    v.typeMPathTable = GetBe32(p + kTypeMPathTable);
    v.optTypeMPathTable = GetBe32(p + kOptTypeMPathTable);
    if (p[kRootRecord] != 0)
        v.root = DirectoryRecord::Decode(std::span(p + kRootRecord, dirrec::kRootRecordLength));
    v.fileStructureVersion = p[kFileStructureVersion];
    v.xaMark = std::memcmp(p + kXaMark, kXaMarkText, kXaMarkSize) == 0;
    v.playOkMark = std::memcmp(p + kPlayOkMark, kPlayOkMarkText, kPlayOkMarkSize) == 0;
    return v;
}

std::string PrimaryVolumeDescriptor::Text(std::span<const uint8_t> field) {
    return TrimmedText(field.data(), field.size());
}

void PrimaryVolumeDescriptor::Inspect(InspectVisitor& v) const {
    v.Text("systemId", Text(systemId));
    v.Text("volumeId", Text(volumeId));
    v.Text("volumeSetId", Text(volumeSetId));
    v.Text("publisherId", Text(publisherId));
    v.Text("dataPreparerId", Text(dataPreparerId));
    v.Text("applicationId", Text(applicationId));
    v.Text("creationDate", Text(creationDate));
    v.Number("volumeSpaceSize", volumeSpaceSize);
    v.Number("logicalBlockSize", logicalBlockSize);
    v.Number("pathTableSize", pathTableSize);
    v.Number("pathTableL", typeLPathTable);
    v.Number("pathTableM", typeMPathTable);
    if (root) {
        v.Number("rootExtent", root->extent);
        v.Number("rootSize", root->dataLength);
    }
    v.Flag("xaMark", xaMark);
    v.Flag("playOkMark", playOkMark);
}

}  // namespace qorvcd
