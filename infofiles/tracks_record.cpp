#include "infofiles/tracks_record.h"

#include <algorithm>
#include <cstring>

#include "core/inspect_visitor.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

using namespace tracks_layout;

namespace {
// The count is one byte and the table must fit the record.
constexpr size_t kTrackLimit = kMaxTracks < 255 ? kMaxTracks : 255;
constexpr size_t kStandardTrackLimit = kMaxStandardTracks < 255 ? kMaxStandardTracks : 255;

size_t TrackLimit(TracksLayout layout) {
    return layout == TracksLayout::Standard ? kStandardTrackLimit : kTrackLimit;
}

// Where the standard layout's content byte of track k lies.
size_t ContentOffset(size_t count, size_t k) { return kFirstTrack + count * kStandardTimeSize + k; }

bool IsStandardContent(uint8_t content) {
    const uint8_t video = (content >> track_content::kVideoShift) & track_content::kVideoMask;
    return video == track_content::kNtscMotion || video == track_content::kPalMotion;
}

// A track's own playing time, whole frames of 1/75 s, as BCD minutes,
// seconds and frames.
std::array<uint8_t, 3> OwnPlayingTime(uint32_t hundredths) {
    const uint32_t seconds = hundredths / 100;
    const uint32_t frames = hundredths % 100 * kFramesPerSecond / 100;
    return {ToBcd(seconds / 60), ToBcd(seconds % 60), ToBcd(frames)};
}

bool TooManyTracks(size_t count, TracksLayout layout, std::string* why) {
    if (count <= TrackLimit(layout)) return false;
    if (why) *why = Format("TRACKS.SVD cannot list %zu tracks (at most %zu)", count, TrackLimit(layout));
    return true;
}
}  // namespace

uint8_t StandardTrackContent(bool pal, uint8_t audioInfo, uint8_t ogtInfo) {
    using namespace track_content;
    const uint8_t streams = uint8_t((audioInfo & 0x0F ? 1 : 0) + (audioInfo & 0xF0 ? 1 : 0));
    const uint8_t video = pal ? kPalMotion : kNtscMotion;
    const uint8_t ogt = ogtInfo < kMaxOgt ? ogtInfo : kMaxOgt;
    return uint8_t(streams | video << kVideoShift | ogt << kOgtShift);
}

void CumulativePlayingTime::Add(uint32_t hundredths) {
    total_ = float(double(total_) + double(hundredths) * 0.01);
}

std::array<uint8_t, 3> CumulativePlayingTime::Bcd() const {
    const uint32_t whole = uint32_t(total_);
    const double fraction = double(total_ - float(whole));
    const uint32_t frames = uint32_t(fraction * double(kFramesPerSecond));
    return {ToBcd(whole / 60), ToBcd(whole % 60), ToBcd(frames)};
}

std::optional<TracksRecord> BuildTracksRecord(std::span<const TracksFileTrack> tracks, std::string* why) {
    if (TooManyTracks(tracks.size(), TracksLayout::Cumulative, why)) return std::nullopt;
    TracksRecord record;
    record.trackCount = uint8_t(tracks.size());
    CumulativePlayingTime time;
    for (const TracksFileTrack& track : tracks) {
        time.Add(track.duration);
        record.tracks.push_back({time.Bcd(), track.ogtInfo, track.audioInfo});
    }
    return record;
}

std::optional<TracksRecord> BuildStandardTracksRecord(std::span<const TracksFileTrack> tracks, std::string* why) {
    if (TooManyTracks(tracks.size(), TracksLayout::Standard, why)) return std::nullopt;
    TracksRecord record;
    record.layout = TracksLayout::Standard;
    record.trackCount = uint8_t(tracks.size());
    for (const TracksFileTrack& track : tracks) {
        TracksRecordTrack row;
        row.time = OwnPlayingTime(track.duration);
        row.content = StandardTrackContent(track.pal, track.audioInfo, track.ogtInfo);
        record.tracks.push_back(row);
    }
    return record;
}

std::vector<uint8_t> TracksRecord::Encode() const {
    std::vector<uint8_t> out(kInfoFileSize, 0);
    std::memcpy(out.data(), fileId.data(), kFileIdSize);
    out[kVersion] = version;
    out[kReserved9] = 0;  // reserved
    out[kTrackCount] = trackCount;
    if (layout == TracksLayout::Standard) {
        const size_t count = std::min(tracks.size(), kMaxStandardTracks);
        for (size_t k = 0; k < count; ++k) {
            std::memcpy(out.data() + kFirstTrack + k * kStandardTimeSize, tracks[k].time.data(), kStandardTimeSize);
            out[ContentOffset(count, k)] = tracks[k].content;
        }
        return out;
    }
    const size_t count = std::min(tracks.size(), kMaxTracks);
    for (size_t k = 0; k < count; ++k) {
        uint8_t* entry = out.data() + kFirstTrack + k * kTrackSize;
        std::memcpy(entry + kTimeInTrack, tracks[k].time.data(), 3);
        entry[kOgtInTrack] = tracks[k].ogtInfo;
        entry[kAudioInTrack] = tracks[k].audioInfo;
    }
    return out;
}

std::optional<TracksRecord> TracksRecord::Decode(std::span<const uint8_t> bytes, std::string* why) {
    auto fail = [why](const std::string& text) -> std::optional<TracksRecord> {
        if (why) *why = text;
        return std::nullopt;
    };
    if (bytes.size() < kInfoFileSize)
        return fail(Format("TRACKS.SVD holds %zu bytes, expected %u", bytes.size(), kInfoFileSize));
    const uint8_t* p = bytes.data();
    TracksRecord r;
    std::memcpy(r.fileId.data(), p, kFileIdSize);
    if (std::memcmp(p, kFileId, kFileIdSize) != 0) return fail("TRACKS.SVD does not begin with TRACKSVD");
    r.version = p[kVersion];
    r.trackCount = p[kTrackCount];
    bool standard = r.trackCount > 0 && r.trackCount <= kStandardTrackLimit;
    for (size_t k = 0; standard && k < r.trackCount; ++k) standard = IsStandardContent(p[ContentOffset(r.trackCount, k)]);
    if (standard) {
        r.layout = TracksLayout::Standard;
        for (size_t k = 0; k < r.trackCount; ++k) {
            TracksRecordTrack track;
            std::memcpy(track.time.data(), p + kFirstTrack + k * kStandardTimeSize, kStandardTimeSize);
            track.content = p[ContentOffset(r.trackCount, k)];
            r.tracks.push_back(track);
        }
        return r;
    }
    if (r.trackCount > kTrackLimit) {
        return fail(Format("TRACKS.SVD names %u tracks, but holds at most %zu", unsigned(r.trackCount),
                           kTrackLimit));
    }
    for (size_t k = 0; k < r.trackCount; ++k) {
        const uint8_t* e = p + kFirstTrack + k * kTrackSize;
        TracksRecordTrack track;
        std::memcpy(track.time.data(), e + kTimeInTrack, 3);
        track.ogtInfo = e[kOgtInTrack];
        track.audioInfo = e[kAudioInTrack];
        r.tracks.push_back(track);
    }
    return r;
}

void TracksRecord::Inspect(InspectVisitor& v) const {
    v.Text("fileId", PrintableField(fileId));
    v.Number("version", version);
    v.Number("count", trackCount);
    if (layout == TracksLayout::Standard) v.Text("layout", "standard");
    v.BeginList("tracks");
    for (const TracksRecordTrack& t : tracks) {
        v.BeginObject("");
        if (layout == TracksLayout::Standard) {
            using namespace track_content;
            v.Text("time", BcdAddressText(t.time.data()));
            v.Text("content", Format("0x%02X", t.content));
            v.Number("audioStreams", t.content & kAudioMask);
            v.Number("video", (t.content >> kVideoShift) & kVideoMask);
            v.Number("ogt", t.content >> kOgtShift);
            v.EndObject();
            continue;
        }
        v.Text("time", BcdAddressText(t.time.data()));
        v.Text("ogt", Format("0x%02X", t.ogtInfo));
        v.Text("audio", Format("0x%02X", t.audioInfo));
        v.EndObject();
    }
    v.EndList();
}

}  // namespace qorvcd
