#include "infofiles/tracks_record.h"

#include <cstring>

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

bool EncodeTracksFile(std::span<const TracksFileTrack> tracks,
                      std::array<uint8_t, kInfoFileSize>& out, std::string& error) {
    if (tracks.size() > kTrackLimit) {
        error = Format("TRACKS.SVD cannot list %zu tracks (at most %zu)", tracks.size(), kTrackLimit);
        return false;
    }
    out.fill(0);
    std::memcpy(out.data(), kFileId, kFileIdSize);
    out[kVersion] = kTracksFileVersion;
    out[kReserved9] = 0;  // reserved
    out[kTrackCount] = uint8_t(tracks.size());
    CumulativePlayingTime time;
    uint8_t* entry = out.data() + kFirstTrack;
    for (const TracksFileTrack& track : tracks) {
        time.Add(track.duration);
        const std::array<uint8_t, 3> bcd = time.Bcd();
        std::memcpy(entry + kTimeInTrack, bcd.data(), bcd.size());
        entry[kOgtInTrack] = track.ogtInfo;
        entry[kAudioInTrack] = track.audioInfo;
        entry += kTrackSize;
    }
    return true;
}

bool DecodeTracksFile(std::span<const uint8_t> bytes, TracksRecord& record, std::string& error) {
    if (bytes.size() < kInfoFileSize) {
        error = Format("TRACKS.SVD holds %zu bytes, expected %u", bytes.size(), kInfoFileSize);
        return false;
    }
    const uint8_t* p = bytes.data();
    TracksRecord r;
    std::memcpy(r.fileId.data(), p, kFileIdSize);
    if (std::memcmp(p, kFileId, kFileIdSize) != 0) {
        error = "TRACKS.SVD does not begin with TRACKSVD";
        return false;
    }
    r.version = p[kVersion];
    r.trackCount = p[kTrackCount];
    if (r.trackCount > kTrackLimit) {
        error = Format("TRACKS.SVD names %u tracks, but holds at most %zu", unsigned(r.trackCount),
                       kTrackLimit);
        return false;
    }
    for (size_t k = 0; k < r.trackCount; ++k) {
        const uint8_t* e = p + kFirstTrack + k * kTrackSize;
        TracksRecordTrack track;
        std::memcpy(track.time.data(), e + kTimeInTrack, 3);
        track.ogtInfo = e[kOgtInTrack];
        track.audioInfo = e[kAudioInTrack];
        r.tracks.push_back(track);
    }
    record = std::move(r);
    return true;
}

}  // namespace qorvcd
