#include "iso9660/volume_descriptor.h"

#include <cstdlib>
#include <cstring>

#include "core/build_context.h"
#include "core/disc_kind.h"
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
    size_t offset;
    size_t size;
    Fill fill;
};

constexpr TextKey kTextKeys[] = {
    {"SYSTEMID", kSystemId, kShortIdSize, Fill::BlankFirst},
    {"VOLUME_ID", kVolumeId, kShortIdSize, Fill::BlankFirst},
    {"VOLUME_SETID", kVolumeSetId, kLongIdSize, Fill::KeepRest},
    {"PUBLISHER", kPublisherId, kLongIdSize, Fill::KeepRest},
    {"DATA_PREPARER", kDataPreparerId, kLongIdSize, Fill::BlankFirst},
    {"APPLICATION", kApplicationId, kLongIdSize, Fill::BlankFirst},
    {"COPYRIGHT_FILE", kCopyrightFileId, kFileIdSize, Fill::KeepRest},
    {"ABSTRACT_FILE", kAbstractFileId, kFileIdSize, Fill::KeepRest},
    {"BIBLIOGRAPH_FILE", kBibliographicFileId, kFileIdSize, Fill::KeepRest},
    {"CREATION_DATE", kCreationDate, kDateSize, Fill::KeepRest},
    {"MODIFICATION_DATE", kModificationDate, kDateSize, Fill::KeepRest},
    {"EXPIRATION_DATE", kExpirationDate, kDateSize, Fill::KeepRest},
    {"EFFECTIVE_DATE", kEffectiveDate, kDateSize, Fill::KeepRest},
};

struct CountKey {
    const char* key;
    size_t offset;
};

constexpr CountKey kCountKeys[] = {
    {"VOLUME_NO", kVolumeSetSize},
    {"SEQUENCE_NO", kVolumeSequence},
};

void Fill(uint8_t* p, size_t size, uint8_t value) { std::memset(p, value, size); }

void CopyText(uint8_t* p, size_t size, const std::string& text) {
    std::memcpy(p, text.data(), text.size() < size ? text.size() : size);
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

void SetDefaults(VolumeDescriptorSector& d, const BuildContext& ctx) {
    d.fill(0);
    PutBoth16(d.data() + kLogicalBlockSize, kLogicalBlockBytes);
    PutPadded(d.data() + kVolumeId, kShortIdSize, DefaultVolumeIdentifier(ctx.kind, ctx.clock.Local()));
    PutPadded(d.data() + kSystemId, kShortIdSize, kDefaultSystemIdentifier);
    for (size_t offset : {kVolumeSetId, kPublisherId, kDataPreparerId, kApplicationId})
        Fill(d.data() + offset, kLongIdSize, ' ');
    for (size_t offset : {kCopyrightFileId, kAbstractFileId, kBibliographicFileId})
        Fill(d.data() + offset, kFileIdSize, ' ');
    PutBoth16(d.data() + kVolumeSetSize, kDefaultVolumeCount);
    PutBoth16(d.data() + kVolumeSequence, kDefaultVolumeCount);
    for (size_t offset : {kCreationDate, kModificationDate, kEffectiveDate})
        Fill(d.data() + offset, kDateSize, kUnsetDateDigit);
    // the expiration date stays seventeen zero bytes
}

void SetFixedFields(VolumeDescriptorSector& d) {
    d[kType] = uint8_t(VolumeDescriptorType::Primary);
    std::memcpy(d.data() + kStandardId, kStandardIdentifier, 5);
    d[kVersion] = kDescriptorVersion;
    d[kFileStructureVersion] = kStructureVersion;
    PutPadded(d.data() + kApplicationId, kLongIdSize, kApplicationText, 0);
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
bool ReadSection(ScriptReader& reader, VolumeDescriptorSector& d, const BuildContext& ctx) {
    if (!reader.FindSection(kSectionName)) return true;
    for (;;) {
        const char* token = reader.NextTokenUpper();
        if (!token) {
            ctx.LogLine(Format("%s: unreadable token in the section", kSectionName));
            return false;
        }
        if (IsSectionEnd(token)) return true;
        const std::string key = token;
        if (!IsKey(key)) continue;
        const char* equals = reader.NextToken();
        if (!equals || std::strcmp(equals, "=") != 0) {
            ctx.LogLine(Format("%s: key %s is not followed by \"=\"", kSectionName, key.c_str()));
            return false;
        }
        const char* value = reader.NextToken();
        if (!value || (value[0] == '\0' && reader.AtEnd())) {
            ctx.LogLine(Format("%s: key %s has no value", kSectionName, key.c_str()));
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

bool ApplyIso9660Setting(VolumeDescriptorSector& d, const std::string& key, const std::string& value) {
    for (const TextKey& k : kTextKeys) {
        if (key != k.key) continue;
        if (k.fill == Fill::BlankFirst) Fill(d.data() + k.offset, k.size, ' ');
        CopyText(d.data() + k.offset, k.size, value);
        return true;
    }
    for (const CountKey& k : kCountKeys) {
        if (key != k.key) continue;
        uint16_t count = 0;
        if (ParsePositiveCount(value, count)) PutBoth16(d.data() + k.offset, count);
        return true;
    }
    return false;
}

std::optional<VolumeDescriptorSector> BuildPrimaryVolumeDescriptor(ScriptReader* reader,
                                                                   const BuildContext& ctx) {
    VolumeDescriptorSector d{};
    SetDefaults(d, ctx);
    if (reader && !ReadSection(*reader, d, ctx)) return std::nullopt;
    SetFixedFields(d);
    return d;
}

VolumeDescriptorSector BuildVolumeDescriptorSetTerminator() {
    static_assert(std::char_traits<char>::length(kOfficeAndDateText) == kOfficeAndDateLength);
    VolumeDescriptorSector d{};
    d[kType] = uint8_t(VolumeDescriptorType::SetTerminator);
    std::memcpy(d.data() + kStandardId, kStandardIdentifier, 5);
    d[kVersion] = kDescriptorVersion;
    // the text's terminating zero byte follows it in the cleared sector
    std::memcpy(d.data() + kTerminatorTextOffset, kOfficeAndDateText, kOfficeAndDateLength);
    return d;
}

void SetPathTableFields(VolumeDescriptorSector& d, uint32_t sizeInBytes, uint32_t littleEndianSector,
                        uint32_t bigEndianSector) {
    PutBoth32(d.data() + kPathTableSize, sizeInBytes);
    PutLe32(d.data() + kTypeLPathTable, littleEndianSector);
    PutLe32(d.data() + kOptTypeLPathTable, littleEndianSector);
    PutBe32(d.data() + kTypeMPathTable, bigEndianSector);
    PutBe32(d.data() + kOptTypeMPathTable, bigEndianSector);
}

void CompleteVolumeDescriptor(VolumeDescriptorSector& d, uint32_t volumeSpaceSize,
                              const RecordTime& rootTime, bool playOkFound) {
    std::memcpy(d.data() + kXaMark, kXaMarkText, kXaMarkSize);
    PutBoth32(d.data() + kVolumeSpaceSize, volumeSpaceSize);
    const auto root = EncodeRootRecord(kRootDirectorySector, uint32_t(kPathTableSectorSize), rootTime);
    std::memcpy(d.data() + kRootRecord, root.data(), root.size());
    if (playOkFound) std::memcpy(d.data() + kPlayOkMark, kPlayOkMarkText, kPlayOkMarkSize);
}

std::optional<PrimaryVolumeInfo> DecodePrimaryVolumeDescriptor(const uint8_t* p, size_t available,
                                                               std::string* error) {
    auto fail = [&](const std::string& text) -> std::optional<PrimaryVolumeInfo> {
        if (error) *error = text;
        return std::nullopt;
    };
    if (available < kVolumeDescriptorSize)
        return fail(Format("volume descriptor needs %zu bytes, found %zu", kVolumeDescriptorSize, available));
    if (p[kType] != uint8_t(VolumeDescriptorType::Primary))
        return fail(Format("volume descriptor type %u, expected 1 (primary)", unsigned(p[kType])));
    if (std::memcmp(p + kStandardId, kStandardIdentifier, 5) != 0 || p[kVersion] != kDescriptorVersion)
        return fail("no \"CD001\" version 1 volume descriptor");

    PrimaryVolumeInfo v;
    v.systemId = TrimmedText(p + kSystemId, kShortIdSize);
    v.volumeId = TrimmedText(p + kVolumeId, kShortIdSize);
    v.volumeSetId = TrimmedText(p + kVolumeSetId, kLongIdSize);
    v.publisherId = TrimmedText(p + kPublisherId, kLongIdSize);
    v.dataPreparerId = TrimmedText(p + kDataPreparerId, kLongIdSize);
    v.applicationId = TrimmedText(p + kApplicationId, kLongIdSize);
    v.copyrightFileId = TrimmedText(p + kCopyrightFileId, kFileIdSize);
    v.abstractFileId = TrimmedText(p + kAbstractFileId, kFileIdSize);
    v.bibliographicFileId = TrimmedText(p + kBibliographicFileId, kFileIdSize);
    v.creationDate = TrimmedText(p + kCreationDate, kDateSize);
    v.modificationDate = TrimmedText(p + kModificationDate, kDateSize);
    v.expirationDate = TrimmedText(p + kExpirationDate, kDateSize);
    v.effectiveDate = TrimmedText(p + kEffectiveDate, kDateSize);
    if (!ReadBoth32(p + kVolumeSpaceSize, v.volumeSpaceSize) ||
        !ReadBoth16(p + kVolumeSetSize, v.volumeSetSize) ||
        !ReadBoth16(p + kVolumeSequence, v.volumeSequenceNumber) ||
        !ReadBoth16(p + kLogicalBlockSize, v.logicalBlockSize) ||
        !ReadBoth32(p + kPathTableSize, v.pathTableSize))
        return fail("the two byte orders of a volume descriptor number differ");
    v.typeLPathTable = GetLe32(p + kTypeLPathTable);
    v.typeMPathTable = GetBe32(p + kTypeMPathTable);
    if (p[kRootRecord] != 0) v.root = DecodeDirectoryRecord(p + kRootRecord, dirrec::kRootRecordLength);
    v.hasXaMark = std::memcmp(p + kXaMark, kXaMarkText, kXaMarkSize) == 0;
    v.hasPlayOkMark = std::memcmp(p + kPlayOkMark, kPlayOkMarkText, kPlayOkMarkSize) == 0;
    return v;
}

bool IsVolumeDescriptorSetTerminator(const uint8_t* p, size_t available) {
    return available >= kVolumeDescriptorSize && p[kType] == uint8_t(VolumeDescriptorType::SetTerminator) &&
           std::memcmp(p + kStandardId, kStandardIdentifier, 5) == 0 && p[kVersion] == kDescriptorVersion;
}

}  // namespace qorvcd
