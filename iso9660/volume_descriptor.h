// The ISO 9660 volume descriptor set of track 1: the primary volume
// descriptor (sector 16) and the set terminator (sector 17). Record,
// encoder, decoder, inspection and the builder side by side; the container
// writes the bytes as Form 1 units.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "iso9660/directory_record.h"

namespace qorvcd {

class InspectVisitor;
class ScriptReader;
struct BuildContext;
struct CalendarTime;
enum class DiscKind : int;

inline constexpr size_t kVolumeDescriptorSize = 2048;

inline constexpr uint32_t kPrimaryVolumeDescriptorSector = 16;
inline constexpr uint32_t kTerminatorSector = 17;
// Submodes of the two units: the descriptor ends a record, the terminator
// also ends the file (CD-ROM XA submode bits).
inline constexpr uint8_t kPrimaryDescriptorSubmode = 0x09;
inline constexpr uint8_t kTerminatorSubmode = 0x89;

// Volume descriptor type codes (ISO 9660 8.1.1).
enum class VolumeDescriptorType : uint8_t {
    Primary = 1,
    SetTerminator = 255,
};

namespace pvd {
// Byte offsets of the primary volume descriptor (ISO 9660 8.4).
inline constexpr size_t kType = 0;
inline constexpr size_t kStandardId = 1;  // "CD001"
inline constexpr size_t kVersion = 6;
inline constexpr size_t kUnused7 = 7;
inline constexpr size_t kSystemId = 8;
inline constexpr size_t kVolumeId = 40;
inline constexpr size_t kPlayOkMark = 72;  // inside the unused bytes 72..79
inline constexpr size_t kVolumeSpaceSize = 80;    // 32-bit both orders
inline constexpr size_t kUnused88 = 88;           // 32 bytes
inline constexpr size_t kVolumeSetSize = 120;     // 16-bit both orders
inline constexpr size_t kVolumeSequence = 124;    // 16-bit both orders
inline constexpr size_t kLogicalBlockSize = 128;  // 16-bit both orders
inline constexpr size_t kPathTableSize = 132;     // 32-bit both orders
inline constexpr size_t kTypeLPathTable = 140;    // little-endian
inline constexpr size_t kOptTypeLPathTable = 144;
inline constexpr size_t kTypeMPathTable = 148;    // big-endian
inline constexpr size_t kOptTypeMPathTable = 152;
inline constexpr size_t kRootRecord = 156;        // 34 bytes
inline constexpr size_t kVolumeSetId = 190;
inline constexpr size_t kPublisherId = 318;
inline constexpr size_t kDataPreparerId = 446;
inline constexpr size_t kApplicationId = 574;
inline constexpr size_t kCopyrightFileId = 702;
inline constexpr size_t kAbstractFileId = 739;
inline constexpr size_t kBibliographicFileId = 776;
inline constexpr size_t kCreationDate = 813;
inline constexpr size_t kModificationDate = 830;
inline constexpr size_t kExpirationDate = 847;
inline constexpr size_t kEffectiveDate = 864;
inline constexpr size_t kFileStructureVersion = 881;
inline constexpr size_t kApplicationUse = 883;
inline constexpr size_t kXaMark = 1024;  // "CD-XA001", inside the application-use area

inline constexpr size_t kShortIdSize = 32;   // system and volume identifiers
inline constexpr size_t kLongIdSize = 128;   // volume set, publisher, preparer, application
inline constexpr size_t kFileIdSize = 37;    // copyright, abstract, bibliographic
inline constexpr size_t kDateSize = 17;
inline constexpr size_t kPlayOkMarkSize = 8;
inline constexpr size_t kXaMarkSize = 8;
}  // namespace pvd

// Where the terminator carries this program's office-and-date text.
inline constexpr size_t kTerminatorTextOffset = 1024;

inline constexpr const char* kStandardIdentifier = "CD001";
inline constexpr const char* kDefaultSystemIdentifier = "S_VCD30 DISC of Dovrane";
// The system identifier by which standard readers know a Video CD or SVCD.
inline constexpr const char* kStandardSystemIdentifier = "CD-RTOS CD-BRIDGE";
inline constexpr const char* kXaMarkText = "CD-XA001";
inline constexpr const char* kPlayOkMarkText = "S-OK 1.0";
// This program's own texts in the application identifier and the terminator.
inline constexpr const char* kApplicationText = "QORVCD VIDEO CD AUTHORING";
inline constexpr const char* kOfficeAndDateText = "QORVCD AUTHORING LIBRARY VERSION 0.1";
inline constexpr size_t kOfficeAndDateLength = 36;

// "VCD30_%02d%02d%2d" (SVCD_, CVD_) of the local year, month and day:
// 5 March 2026 gives "VCD30_202603 5".
std::string DefaultVolumeIdentifier(DiscKind kind, const CalendarTime& localDate);

// The primary volume descriptor (ISO 9660 8.4). Identifier and date fields
// are kept as the bytes stored (a field set from a shorter text keeps what
// the rest of it held), so a descriptor read from a disc writes back the
// same sector. Type, standard identifier and version are implied.
struct PrimaryVolumeDescriptor {
    using ShortId = std::array<uint8_t, pvd::kShortIdSize>;
    using LongId = std::array<uint8_t, pvd::kLongIdSize>;
    using FileId = std::array<uint8_t, pvd::kFileIdSize>;
    using Date = std::array<uint8_t, pvd::kDateSize>;

    ShortId systemId{};
    ShortId volumeId{};
    bool playOkMark = false;  // "S-OK 1.0" in the unused bytes 72..79
    uint32_t volumeSpaceSize = 0;
    uint16_t volumeSetSize = 0;
    uint16_t volumeSequenceNumber = 0;
    uint16_t logicalBlockSize = 0;
    uint32_t pathTableSize = 0;
    uint32_t typeLPathTable = 0;
    uint32_t optTypeLPathTable = 0;
    uint32_t typeMPathTable = 0;
    uint32_t optTypeMPathTable = 0;
    // The 34-byte root record (no XA area); zero bytes when absent.
    std::optional<DirectoryRecord> root;
    LongId volumeSetId{};
    LongId publisherId{};
    LongId dataPreparerId{};
    LongId applicationId{};
    FileId copyrightFileId{};
    FileId abstractFileId{};
    FileId bibliographicFileId{};
    Date creationDate{};
    Date modificationDate{};
    Date expirationDate{};
    Date effectiveDate{};
    uint8_t fileStructureVersion = 1;
    bool xaMark = false;  // "CD-XA001" in the application-use area

    // The 2048 bytes of the descriptor. Unused and reserved bytes are zero.
    std::vector<uint8_t> Encode() const;
    // Checks the length, type, "CD001", version and that the both-byte-order
    // numbers agree; `why` says what was found when it returns nothing. A
    // root record that cannot be read is left out. Unused bytes other than
    // the two marks are not kept.
    static std::optional<PrimaryVolumeDescriptor> Decode(std::span<const uint8_t> bytes,
                                                         std::string* why = nullptr);
    // A text field without its trailing blanks and zero bytes.
    static std::string Text(std::span<const uint8_t> field);
    // Feeds the descriptor's fields to the inspector.
    void Inspect(InspectVisitor& v) const;

    bool operator==(const PrimaryVolumeDescriptor&) const = default;
};

// A volume date (ISO 9660 8.4.26.1) of a universal time: sixteen digits
// "YYYYMMDDHHMMSS00" and a time-zone offset of 0.
PrimaryVolumeDescriptor::Date VolumeDateOf(const CalendarTime& utc);

// The descriptor with its defaults (kind and local date from `ctx`), then the
// keys of the reader's [ISO9660] section. `reader` may be null (defaults
// only). A standard build (`ctx.standard`) starts from the standard system
// identifier and creation and modification dates of the build's clock; the
// section's keys still replace them. Returns nothing, after a log line, when a key is not followed by "="
// and a value or a token is rejected, so a half-read section never reaches
// the disc.
std::optional<PrimaryVolumeDescriptor> BuildPrimaryVolumeDescriptor(ScriptReader* reader,
                                                                    const BuildContext& ctx);

// Applies one [ISO9660] key (upper-case) with its value to the descriptor,
// truncating text to its field. Returns false for a key that is not one of
// the section's keys (the descriptor is unchanged).
bool ApplyIso9660Setting(PrimaryVolumeDescriptor& descriptor, const std::string& key,
                         const std::string& value);

// The volume descriptor set terminator (ISO 9660 8.3): type 255, "CD001",
// version 1, and reserved bytes, where this program leaves its
// office-and-date text at byte 1024.
struct VolumeDescriptorSetTerminator {
    // The text at byte 1024, up to its first zero byte; empty for none.
    std::string officeAndDate = kOfficeAndDateText;

    // The 2048 bytes, zero but for the head and the text (cut to 1023 bytes,
    // so a zero byte always ends it).
    std::vector<uint8_t> Encode() const;
    // Checks the length, type, "CD001" and version; `why` says what was found
    // when it returns nothing. Reserved bytes other than the text are not kept.
    static std::optional<VolumeDescriptorSetTerminator> Decode(std::span<const uint8_t> bytes,
                                                               std::string* why = nullptr);

    bool operator==(const VolumeDescriptorSetTerminator&) const = default;
};

// Enters the path table size and the locations of the two tables (each
// location in both the mandatory and the optional field).
void SetPathTableFields(PrimaryVolumeDescriptor& descriptor, uint32_t sizeInBytes,
                        uint32_t littleEndianSector, uint32_t bigEndianSector);

// Completes the descriptor at the end of the layout: the CD-XA mark, the
// volume space size, the root record (sector 20, one 2048-byte sector, with
// `rootTime`) and, when the home page asked for it, the "S-OK 1.0" mark.
void CompleteVolumeDescriptor(PrimaryVolumeDescriptor& descriptor, uint32_t volumeSpaceSize,
                              const RecordTime& rootTime, bool playOkFound);

}  // namespace qorvcd
