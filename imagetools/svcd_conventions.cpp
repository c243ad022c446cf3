#include "imagetools/svcd_conventions_p.h"

#include <algorithm>
#include <cstring>

#include "image/image_reader.h"
#include "infofiles/tracks_record.h"
#include "iso9660/track_folder.h"
#include "mpeg/scan_information.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

constexpr char kStandardEntriesId[] = "ENTRYVCD";
// The scan information check reads the start of the first few tracks only,
// so that inspecting a full disc stays quick.
constexpr uint32_t kScanCheckUnits = 1500;  // 20 s of an SVCD track
constexpr size_t kScanCheckTracks = 4;

// The 8-byte identifier at the start of INFO, or "" without one.
std::string InfoSystemId(const DecodedImage& image) {
    if (!image.info || !image.info->error.empty() || image.info->bytes.size() < 8) return "";
    return std::string(image.info->bytes.begin(), image.info->bytes.begin() + 8);
}

bool IsSvcdInfo(const std::string& id) { return id == "SUPERVCD"; }

bool HasFolder(const DecodedImage& image, const std::string& name) {
    return std::any_of(image.entries.begin(), image.entries.end(), [&](const InspectedEntry& e) {
        return e.record.flags == FileFlags::Directory && e.path == "/" + name;
    });
}

// Blocks of one track that can be judged: their 10 s on either side and the
// I-picture after them lie within what was read (all of them when the whole
// track was read). `matching` counts those that hold their positions.
void JudgeTrack(const ScanInformationScanner& scan, bool wholeTrack, size_t& judged, size_t& matching) {
    const auto& pictures = scan.IntraPictures();
    const double lastSeconds = pictures.empty() ? 0 : pictures.back().seconds;
    for (const ScanBlockPlace& block : scan.Blocks()) {
        if (!wholeTrack && (block.seconds + kScanJumpSeconds >= lastSeconds)) continue;
        ++judged;
        const auto expected = EncodeScanOffsets(ScanOffsetsFor(block, pictures));
        if (std::equal(expected.begin(), expected.end(), block.payload.begin())) ++matching;
    }
}

}  // namespace

// Standard readers expect "ENTRYVCD" on every kind; this format's SVCD writes "ENTRYSVD".
std::optional<ConventionFinding> CheckEntriesSignature(const DecodedImage& image) {
    if (!image.entriesFile || !image.entriesFile->error.empty() || image.entriesFile->bytes.size() < 8) {
        return std::nullopt;
    }
    const std::string id(image.entriesFile->bytes.begin(), image.entriesFile->bytes.begin() + 8);
    const bool follows = id == kStandardEntriesId;
    return ConventionFinding{"ENTRIES signature", follows,
                             follows ? "\"" + id + "\""
                                     : "\"" + PrintableField(std::span<const uint8_t>(image.entriesFile->bytes.data(), 8)) +
                                           "\" (the standard: \"ENTRYVCD\")"};
}

// SVCD and CVD discs keep their tracks in \MPEG2, Video CDs in \MPEGAV.
std::optional<ConventionFinding> CheckTrackFolder(const DecodedImage& image) {
    const std::string id = InfoSystemId(image);
    if (id.empty()) return std::nullopt;
    const bool mpeg2Kind = id != "VIDEO_CD";
    const std::string expected = mpeg2Kind ? kMpeg2Folder : kMpegAvFolder;
    const std::string other = mpeg2Kind ? kMpegAvFolder : kMpeg2Folder;
    const bool follows = HasFolder(image, expected) && !HasFolder(image, other);
    return ConventionFinding{"track folder", follows,
                             follows ? "\\" + expected
                                     : "\\" + other + " (the standard: \\" + expected + ")"};
}

// The standard lists every track's own time, then a content byte per track.
std::optional<ConventionFinding> CheckTracksLayout(const DecodedImage& image) {
    if (!image.tracksFile || !image.tracksFile->error.empty()) return std::nullopt;
    const std::optional<TracksRecord> record = TracksRecord::Decode(image.tracksFile->bytes);
    if (!record || record->trackCount == 0) return std::nullopt;
    const bool follows = record->layout == TracksLayout::Standard;
    return ConventionFinding{"TRACKS.SVD layout", follows,
                             follows ? "playing times, then content bytes"
                                     : "cumulative time, overlay and audio per track (the standard: playing "
                                       "times, then content bytes)"};
}

// The scan information an SVCD encoder leaves in the video stream holds the
// positions of the I-pictures around it on a standard disc.
std::optional<ConventionFinding> CheckScanOffsets(const DecodedImage& image) {
    if (!IsSvcdInfo(InfoSystemId(image))) return std::nullopt;
    ImageReader reader;
    if (!reader.Open(image.imagePath)) return std::nullopt;
    size_t judged = 0, matching = 0, tracks = 0;
    SectorContent sector;
    for (const ImageTrack& track : reader.Tracks()) {
        if (track.number < 2 || tracks++ == kScanCheckTracks) continue;
        const uint32_t units = std::min(track.storedUnits, kScanCheckUnits);
        ScanInformationScanner scan;
        for (uint32_t n = 0; n < units; ++n) {
            if (!reader.ReadSector(track.startSector + n, sector)) return std::nullopt;
            if (sector.state != SectorState::Stored || sector.form != RunForm::Form2) continue;
            scan.FeedPack(n, sector.data.data(), sector.data.size());
        }
        JudgeTrack(scan, units == track.storedUnits, judged, matching);
    }
    if (judged == 0) return std::nullopt;
    const bool follows = matching == judged;
    return ConventionFinding{"scan offsets", follows,
                             Format("%zu of %zu scan information blocks hold the positions of their I-pictures",
                                    matching, judged)};
}

}  // namespace qorvcd
