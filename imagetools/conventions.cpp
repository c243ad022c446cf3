#include "imagetools/conventions.h"

#include <algorithm>
#include <optional>

#include "core/disc_kind.h"
#include "core/sector_unit.h"
#include "image/image_reader.h"
#include "imagetools/svcd_conventions_p.h"
#include "imagetools/time_conventions_p.h"
#include "infofiles/info_record.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// What a check reads: the decoded image, its INFO and the disc kind INFO
// names, and a reader of its sectors (null when the image cannot be opened
// again: the checks that need sectors are then left out).
struct ConventionInputs {
    const DecodedImage& image;
    std::optional<InfoFileRecord> info;
    std::optional<DiscKind> kind;
    ImageReader* sectors = nullptr;
};

using Check = std::optional<ConventionFinding> (*)(const ConventionInputs&);

// Sectors read at most for one still item (ten segments; a still takes a
// few dozen), and for all of them, so a damaged INFO that calls every
// segment a still cannot make the check read the disc many times over.
constexpr uint32_t kMaxStillSectors = 1500;
constexpr uint32_t kMaxStillSectorsInAll = 6000;

std::optional<DiscKind> KindOfInfo(const DecodedImage& image, const InfoFileRecord& info) {
    const std::string id = PrintableField(info.systemId);
    if (id == "VIDEO_CD") return DiscKind::Vcd30;
    if (id == "HQ-VCD") return DiscKind::Cvd;
    if (id == "SUPERVCD") return image.scanData ? DiscKind::SuperVcd : DiscKind::Svcd;
    return std::nullopt;
}

bool IsFolder(const InspectedEntry& entry) {
    return (uint8_t(entry.record.flags) & uint8_t(FileFlags::Directory)) != 0;
}

std::string Hex(unsigned value) { return Format("0x%02X", value); }

// Standard readers look for this identifier to call a disc a Video CD.
std::optional<ConventionFinding> CheckSystemIdentifier(const ConventionInputs& in) {
    if (!in.image.volume) return std::nullopt;
    const std::string id = PrintableField(in.image.volume->systemId);
    const bool follows = id == "CD-RTOS CD-BRIDGE";
    return ConventionFinding{
        "system identifier", follows,
        follows ? "\"" + id + "\"" : "\"" + id + "\" (the standard: \"CD-RTOS CD-BRIDGE\")"};
}

// A date is set when it holds sixteen digits that are not all '0'; this
// format writes seventeen '0' characters by default.
bool IsSetDate(const PrimaryVolumeDescriptor::Date& date) {
    bool nonZero = false;
    for (size_t i = 0; i + 1 < date.size(); ++i) {
        if (date[i] < '0' || date[i] > '9') return false;
        nonZero = nonZero || date[i] != '0';
    }
    return nonZero;
}

std::optional<ConventionFinding> CheckVolumeDates(const ConventionInputs& in) {
    if (!in.image.volume) return std::nullopt;
    const bool follows =
        IsSetDate(in.image.volume->creationDate) && IsSetDate(in.image.volume->modificationDate);
    return ConventionFinding{
        "volume dates", follows,
        follows ? "creation and modification dates set" : "creation or modification date unset"};
}

// INFO names the standard the disc follows; VERSION in a script can make it
// name another (a Video CD with menus read as "VCD 1.0").
std::optional<ConventionFinding> CheckInfoVersion(const ConventionInputs& in) {
    if (!in.info || !in.kind) return std::nullopt;
    const InfoVersion standard = StandardInfoVersion(*in.kind);
    const bool follows =
        in.info->version == standard.version && in.info->profileTag == standard.profileTag;
    std::string detail =
        Format("version %u, profile %u", unsigned(in.info->version), unsigned(in.info->profileTag));
    if (!follows) {
        detail += Format(" (the standard: version %u, profile %u)", unsigned(standard.version),
                         unsigned(standard.profileTag));
    }
    return ConventionFinding{"INFO version", follows, detail};
}

// ISO 9660 readers take the volume space as the disc's size.
std::optional<ConventionFinding> CheckVolumeSpace(const ConventionInputs& in) {
    if (!in.image.volume || in.image.tracks.empty()) return std::nullopt;
    const uint32_t disc = in.image.tracks.back().EndSector();
    const uint32_t space = in.image.volume->volumeSpaceSize;
    const bool follows = space == disc;
    return ConventionFinding{"volume space", follows,
                             follows ? Format("%u sectors, the disc", space)
                                     : Format("%u sectors (the disc: %u)", space, disc)};
}

// The last sector of every file (segment items and track files among them)
// carries the end-of-file bit, by which readers find where an item ends.
std::optional<ConventionFinding> CheckEndOfFile(const ConventionInputs& in) {
    if (!in.sectors || in.image.entries.empty()) return std::nullopt;
    size_t files = 0;
    std::vector<std::string> unmarked;
    for (const InspectedEntry& entry : in.image.entries) {
        if (IsFolder(entry) || entry.record.dataLength == 0) continue;
        ++files;
        const uint32_t sectors =
            (entry.record.dataLength + uint32_t(kForm1DataSize) - 1) / uint32_t(kForm1DataSize);
        SectorContent last;
        const bool read = in.sectors->ReadSector(entry.record.extent + sectors - 1, last);
        if (!read || last.state != SectorState::Stored ||
            (last.subheader.submode & kSubmodeEndOfFile) == 0) {
            unmarked.push_back(entry.path);
        }
    }
    if (files == 0) return std::nullopt;
    if (unmarked.empty())
        return ConventionFinding{"end of file", true, Format("marked on all %zu files", files)};
    std::string detail = Format("%zu of %zu files end without the end-of-file bit: %s",
                                unmarked.size(), files, unmarked.front().c_str());
    if (unmarked.size() > 1) detail += Format(" and %zu more", unmarked.size() - 1);
    return ConventionFinding{"end of file", false, detail};
}

// The video units of a still should carry the still coding of its
// resolution; `found` says what the first unit that does not holds.
bool StillIsCoded(ImageReader& reader, uint32_t firstSector, uint32_t sectors,
                  StillResolution resolution, std::string& found) {
    const uint8_t channel =
        resolution == StillResolution::High ? kHighStillChannel : kNormalStillChannel;
    const uint8_t coding =
        resolution == StillResolution::High ? kHighStillCoding : kNormalStillCoding;
    SectorContent content;
    for (uint32_t s = firstSector; s < firstSector + sectors; ++s) {
        if (!reader.ReadSector(s, content) || content.state != SectorState::Stored) continue;
        const Subheader& sh = content.subheader;
        if ((sh.submode & kSubmodeVideo) == 0 || (sh.submode & kSubmodeForm2) == 0) continue;
        // Padding units carry the video bit too, on channel 0 and with the
        // normal still's coding byte: only channels 1 to 3 hold pictures.
        if (sh.channel == 0 || sh.channel > kHighStillChannel) continue;
        if (sh.coding != kVideoCoding && sh.coding != kNormalStillCoding &&
            sh.coding != kHighStillCoding)
            continue;
        if (sh.channel != channel || sh.coding != coding) {
            found = Format("channel %u, coding %s at sector %u", unsigned(sh.channel),
                           Hex(sh.coding).c_str(), s);
            return false;
        }
    }
    return true;
}

// Where a segment item lies: its file in the SEGMENT folder, by number.
const InspectedEntry* SegmentFile(const DecodedImage& image, size_t item) {
    const std::string wanted = Format("/SEGMENT/ITEM%04zu.", item);
    for (const InspectedEntry& entry : image.entries) {
        if (entry.path.rfind(wanted, 0) == 0) return &entry;
    }
    return nullptr;
}

// Video CD and SVCD only: CVD and SUPER-VCD keep their own coding.
std::optional<ConventionFinding> CheckStillCoding(const ConventionInputs& in) {
    if (!in.sectors || !in.info || !in.kind) return std::nullopt;
    if (*in.kind != DiscKind::Vcd30 && *in.kind != DiscKind::Svcd) return std::nullopt;
    size_t stills = 0;
    uint32_t budget = kMaxStillSectorsInAll;
    const std::vector<uint8_t>& content = in.info->segmentContent;
    for (size_t segment = 0; segment < content.size() && budget > 0; ++segment) {
        if (content[segment] & kContinuedSegmentBit) continue;  // only an item's first segment
        const StillResolution resolution = StillResolutionOf(content[segment]);
        if (resolution == StillResolution::NotStill) continue;
        // The item's file is named by the number of its first segment.
        const InspectedEntry* file = SegmentFile(in.image, segment + 1);
        if (!file) continue;
        ++stills;
        const uint32_t sectors = std::min(
            {file->record.dataLength / uint32_t(kForm1DataSize), kMaxStillSectors, budget});
        budget -= sectors;
        std::string found;
        if (!StillIsCoded(*in.sectors, file->record.extent, sectors, resolution, found)) {
            const bool high = resolution == StillResolution::High;
            return ConventionFinding{
                "still coding", false,
                Format("%s: %s (the standard for a %s still: channel %u, coding %s)",
                       file->path.c_str(), found.c_str(), high ? "high-resolution" : "normal",
                       unsigned(high ? kHighStillChannel : kNormalStillChannel),
                       Hex(high ? kHighStillCoding : kNormalStillCoding).c_str())};
        }
    }
    if (stills == 0) return std::nullopt;
    return ConventionFinding{"still coding", true,
                             Format("%zu stills coded by their resolution", stills)};
}

// The SVCD and time checks need only the decoded image.
template <std::optional<ConventionFinding> (*ImageCheck)(const DecodedImage&)>
std::optional<ConventionFinding> OnImage(const ConventionInputs& in) {
    return ImageCheck(in.image);
}

constexpr Check kChecks[] = {
    CheckSystemIdentifier,           CheckVolumeDates,           CheckInfoVersion,
    CheckVolumeSpace,                CheckEndOfFile,             CheckStillCoding,
    OnImage<CheckEntriesSignature>,  OnImage<CheckTrackFolder>,  OnImage<CheckTracksLayout>,
    OnImage<CheckScanOffsets>,       OnImage<CheckTrackTimes>,   OnImage<CheckScanPoints>,
};

}  // namespace

std::vector<ConventionFinding> CheckConventions(const DecodedImage& image) {
    ConventionInputs in{image, std::nullopt, std::nullopt, nullptr};
    if (image.info && image.info->error.empty()) {
        in.info = InfoFileRecord::Decode(image.info->bytes);
        if (in.info) in.kind = KindOfInfo(image, *in.info);
    }
    ImageReader reader;
    if (!image.imagePath.empty() && reader.Open(image.imagePath)) in.sectors = &reader;

    std::vector<ConventionFinding> findings;
    for (const Check check : kChecks) {
        if (auto finding = check(in)) findings.push_back(std::move(*finding));
    }
    return findings;
}

std::string ConventionsVerdict(const std::vector<ConventionFinding>& findings) {
    if (findings.empty()) return "";
    size_t followed = 0;
    for (const ConventionFinding& f : findings) followed += f.follows ? 1 : 0;
    if (followed == findings.size()) return "standard";
    return followed == 0 ? "own format" : "mixed";
}

void VisitConventions(const std::vector<ConventionFinding>& findings, InspectVisitor& v) {
    v.BeginObject("conventions");
    v.Text("verdict", ConventionsVerdict(findings));
    v.BeginList("checks");
    for (const ConventionFinding& f : findings) {
        v.BeginObject("");
        v.Text("name", f.name);
        v.Flag("follows", f.follows);
        v.Text("detail", f.detail);
        v.EndObject();
    }
    v.EndList();
    v.EndObject();
}

}  // namespace qorvcd
