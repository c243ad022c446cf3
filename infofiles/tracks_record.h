// TRACKS.SVD: the cumulative playing time and the audio and overlay
// description of every video track (SVCD kinds). Also home of the running
// playing time that SCANDATA shares.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "infofiles/info_file_names.h"

namespace qorvcd {

class InspectVisitor;

namespace tracks_layout {
inline constexpr char kFileId[] = "TRACKSVD";
inline constexpr size_t kFileIdSize = 8;
inline constexpr size_t kVersion = 8;
inline constexpr size_t kReserved9 = 9;
inline constexpr size_t kTrackCount = 10;   // one byte
inline constexpr size_t kFirstTrack = 11;
inline constexpr size_t kTrackSize = 5;     // BCD time (3), ogt, audio
inline constexpr size_t kTimeInTrack = 0;
inline constexpr size_t kOgtInTrack = 3;
inline constexpr size_t kAudioInTrack = 4;
inline constexpr size_t kMaxTracks = (kInfoFileSize - kFirstTrack) / kTrackSize;
}  // namespace tracks_layout

inline constexpr uint8_t kTracksFileVersion = 1;

// The playing time of the tracks so far, summed as the disc has always
// summed it (single precision, each addition in double) so the times in
// TRACKS.SVD and SCANDATA match the times players were built against.
class CumulativePlayingTime {
public:
    void Add(uint32_t hundredths);
    float Seconds() const { return total_; }
    // BCD minutes, seconds and frames of the running total.
    std::array<uint8_t, 3> Bcd() const;

private:
    float total_ = 0.0f;
};

// What TRACKS.SVD needs of one track.
struct TracksFileTrack {
    uint32_t duration = 0;  // hundredths of a second
    uint8_t ogtInfo = 0;
    uint8_t audioInfo = 0;
};

struct TracksRecordTrack {
    std::array<uint8_t, 3> time{};  // cumulative BCD minutes, seconds, frames
    uint8_t ogtInfo = 0;
    uint8_t audioInfo = 0;

    bool operator==(const TracksRecordTrack&) const = default;
};

struct TracksRecord {
    std::array<uint8_t, tracks_layout::kFileIdSize> fileId{'T', 'R', 'A', 'C', 'K', 'S', 'V', 'D'};
    uint8_t version = kTracksFileVersion;
    uint8_t trackCount = 0;
    std::vector<TracksRecordTrack> tracks;  // trackCount of them

    // The 2048 bytes of the record; tracks past its table are not written.
    std::vector<uint8_t> Encode() const;
    // Nothing, with `why` set, when the bytes are too few, do not begin with
    // "TRACKSVD" or name more tracks than the table holds.
    static std::optional<TracksRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    // Feeds the record's fields to the inspector.
    void Inspect(InspectVisitor& v) const;

    bool operator==(const TracksRecord&) const = default;
};

// The record of the disc's tracks, with their running times; nothing, with
// `why` set, when more tracks are given than its one-byte count or its table
// can hold.
std::optional<TracksRecord> BuildTracksRecord(std::span<const TracksFileTrack> tracks,
                                              std::string* why = nullptr);

}  // namespace qorvcd
