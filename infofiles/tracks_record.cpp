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
}  // namespace

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
    if (tracks.size() > kTrackLimit) {
        if (why) *why = Format("TRACKS.SVD cannot list %zu tracks (at most %zu)", tracks.size(), kTrackLimit);
        return std::nullopt;
    }
    TracksRecord record;
    record.trackCount = uint8_t(tracks.size());
    CumulativePlayingTime time;
    for (const TracksFileTrack& track : tracks) {
        time.Add(track.duration);
        record.tracks.push_back({time.Bcd(), track.ogtInfo, track.audioInfo});
    }
    return record;
}

std::vector<uint8_t> TracksRecord::Encode() const {
    std::vector<uint8_t> out(kInfoFileSize, 0);
    std::memcpy(out.data(), fileId.data(), kFileIdSize);
    out[kVersion] = version;
    out[kReserved9] = 0;  // reserved
    out[kTrackCount] = trackCount;
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
    v.BeginList("tracks");
    for (const TracksRecordTrack& t : tracks) {
        v.BeginObject("");
        v.Text("time", BcdAddressText(t.time.data()));
        v.Text("ogt", Format("0x%02X", t.ogtInfo));
        v.Text("audio", Format("0x%02X", t.audioInfo));
        v.EndObject();
    }
    v.EndList();
}

}  // namespace qorvcd
