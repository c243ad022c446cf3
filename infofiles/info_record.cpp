#include "infofiles/info_record.h"

#include <algorithm>
#include <cstring>

#include "core/inspect_visitor.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace info_layout;

void InfoFileRecord::SetSystemId(const char* id) {
    PutPadded(systemId.data(), systemId.size(), id ? id : "");
}

void InfoFileRecord::SetAlbum(const std::string& album) {
    PutPadded(albumId.data(), albumId.size(), album);
}

void InfoFileRecord::SetPalTrack(size_t index) {
    if (index < kMaxPalTracks) palFlags[index / 8] |= uint8_t(1u << (index % 8));
}

bool InfoFileRecord::IsPalTrack(size_t index) const {
    return index < kMaxPalTracks && (palFlags[index / 8] >> (index % 8)) & 1u;
}

std::vector<uint8_t> InfoFileRecord::Encode() const {
    const InfoFileRecord& record = *this;
    std::vector<uint8_t> out(kInfoFileSize, 0);
    uint8_t* p = out.data();
    std::memcpy(p + kSystemId, record.systemId.data(), kSystemIdSize);
    p[kVersion] = record.version;
    p[kProfileTag] = record.profileTag;
    std::memcpy(p + kAlbumId, record.albumId.data(), kAlbumIdSize);
    PutBe16(p + kVolume, record.volume);
    PutBe16(p + kVolumeCount, record.volumeCount);
    std::memcpy(p + kPalFlags, record.palFlags.data(), kPalFlagsSize);
    p[kReserved43] = 0;  // reserved
    PutBe32(p + kPsdSize, record.psdSize);
    std::memcpy(p + kFirstSegmentAddress, record.firstSegmentAddress.data(), 3);
    p[kOffsetMultiplier] = record.offsetMultiplier;
    PutBe16(p + kLotEntryCount, record.lotEntryCount);
    PutBe16(p + kSegmentCount, record.segmentCount);
    const size_t content = std::min(record.segmentContent.size(), kMaxSegments);
    std::copy_n(record.segmentContent.begin(), content, p + kSegmentContent);
    p[kSegmentFlags] = record.segmentFlags;
    // bytes after the segment flags: reserved
    return out;
}

std::optional<InfoFileRecord> InfoFileRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    if (bytes.size() < kInfoFileSize) {
        if (why) *why = Format("INFO holds %zu bytes, expected %u", bytes.size(), kInfoFileSize);
        return std::nullopt;
    }
    const uint8_t* p = bytes.data();
    InfoFileRecord r;
    std::memcpy(r.systemId.data(), p + kSystemId, kSystemIdSize);
    r.version = p[kVersion];
    r.profileTag = p[kProfileTag];
    std::memcpy(r.albumId.data(), p + kAlbumId, kAlbumIdSize);
    r.volume = GetBe16(p + kVolume);
    r.volumeCount = GetBe16(p + kVolumeCount);
    std::memcpy(r.palFlags.data(), p + kPalFlags, kPalFlagsSize);
    r.psdSize = GetBe32(p + kPsdSize);
    std::memcpy(r.firstSegmentAddress.data(), p + kFirstSegmentAddress, 3);
    r.offsetMultiplier = p[kOffsetMultiplier];
    r.lotEntryCount = GetBe16(p + kLotEntryCount);
    r.segmentCount = GetBe16(p + kSegmentCount);
    r.segmentFlags = p[kSegmentFlags];
    if (r.segmentCount > kMaxSegments) {
        if (why) *why = Format("INFO names %u segments, but holds content bytes for at most %zu",
                               unsigned(r.segmentCount), kMaxSegments);
        return std::nullopt;
    }
    r.segmentContent.assign(p + kSegmentContent, p + kSegmentContent + r.segmentCount);
    return r;
}

uint8_t SegmentContentByte(int32_t audioCode, int32_t videoCode) {
    uint8_t audio = 0;
    switch (audioCode & 0xFF) {
        case 0: audio = 0x00; break;
        case 1: audio = 0x01; break;
        case 2: audio = 0x02; break;
        case 6: audio = 0x82; break;
        case 7: audio = 0x43; break;
        case 10: audio = 0x02; break;
        case 11: audio = 0x83; break;
        case 14: audio = 0xC2; break;
        default: audio = 0x00; break;
    }
    return uint8_t(audio + uint8_t(videoCode));
}

StillResolution StillResolutionOf(uint8_t segmentContent) {
    switch ((segmentContent >> 2) & 0x07) {
        case 1:  // NTSC
        case 5:  // PAL
            return StillResolution::Normal;
        case 2:
        case 6:
            return StillResolution::High;
        default:
            return StillResolution::NotStill;
    }
}

InfoVersion StandardInfoVersion(DiscKind kind) {
    switch (kind) {
        case DiscKind::Vcd30:
            return {2, 0};
        case DiscKind::Cvd:
            return {1, 1};
        case DiscKind::Svcd:
        case DiscKind::SuperVcd:
            break;
    }
    return {1, 0};
}

void InfoFileRecord::Inspect(InspectVisitor& v) const {
    v.Text("systemId", PrintableField(systemId));
    v.Number("version", version);
    v.Number("profileTag", profileTag);
    v.Text("album", PrintableField(albumId));
    v.Number("volume", volume);
    v.Number("volumeCount", volumeCount);
    v.BeginList("palTracks");
    for (size_t i = 0; i < kMaxPalTracks; ++i) {
        if (IsPalTrack(i)) v.Number("", int64_t(i) + 2);  // the first listed track is disc track 2
    }
    v.EndList();
    v.Number("psdSize", psdSize);
    v.Text("firstSegment", BcdAddressText(firstSegmentAddress.data()));
    v.Number("offsetMultiplier", offsetMultiplier);
    v.Number("lotEntries", lotEntryCount);
    v.Number("segments", segmentCount);
    v.BeginList("segmentContent");
    for (uint8_t b : segmentContent) v.Text("", Format("0x%02X", b));
    v.EndList();
    v.Text("segmentFlags", Format("0x%02X", segmentFlags));
}

}  // namespace qorvcd
