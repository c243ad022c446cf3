// TRACKS.SVD: the playing time and the audio and overlay description of
// every video track (SVCD kinds), in one of two layouts: this format's own
// (per track the cumulative playing time, then the overlay and audio bytes)
// or the SVCD standard's (IEC 62107: every track's own playing time, then one
// content byte per track). Also home of the running playing time that
// SCANDATA shares.
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
// The standard layout: kStandardTimeSize bytes per track, then one content byte each.
inline constexpr size_t kStandardTimeSize = 3;
inline constexpr size_t kMaxStandardTracks = (kInfoFileSize - kFirstTrack) / (kStandardTimeSize + 1);
}  // namespace tracks_layout

// The standard's content byte of a track: bits 0-1 the audio streams (0 none,
// 1 one, 2 two), bits 2-4 the video (3 NTSC motion, 7 PAL motion), bit 5
// reserved, bits 6-7 the overlay streams (0 none, 1 stream 0, 2 streams 0 and
// 1, 3 all).
namespace track_content {
inline constexpr uint8_t kAudioMask = 0x03;
inline constexpr unsigned kVideoShift = 2;
inline constexpr uint8_t kVideoMask = 0x07;
inline constexpr uint8_t kNtscMotion = 3;
inline constexpr uint8_t kPalMotion = 7;
inline constexpr uint8_t kReservedBit = 0x20;
inline constexpr unsigned kOgtShift = 6;
inline constexpr uint8_t kMaxOgt = 3;
}  // namespace track_content

// The content byte of a track from its video standard (PAL or not), its
// audio byte (a class per stream nibble, 0 for no stream) and its overlay byte.
uint8_t StandardTrackContent(bool pal, uint8_t audioInfo, uint8_t ogtInfo);

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
    bool pal = false;       // the standard layout's video type
};

enum class TracksLayout : uint8_t {
    Cumulative,  // this format's own
    Standard,    // IEC 62107
};

struct TracksRecordTrack {
    // BCD minutes, seconds, frames: cumulative in this format's layout, the
    // track's own playing time in the standard's.
    std::array<uint8_t, 3> time{};
    uint8_t ogtInfo = 0;    // this format's layout
    uint8_t audioInfo = 0;  // this format's layout
    uint8_t content = 0;    // the standard layout

    bool operator==(const TracksRecordTrack&) const = default;
};

struct TracksRecord {
    std::array<uint8_t, tracks_layout::kFileIdSize> fileId{'T', 'R', 'A', 'C', 'K', 'S', 'V', 'D'};
    uint8_t version = kTracksFileVersion;
    uint8_t trackCount = 0;
    TracksLayout layout = TracksLayout::Cumulative;
    std::vector<TracksRecordTrack> tracks;  // trackCount of them

    // The 2048 bytes of the record; tracks past its table are not written.
    std::vector<uint8_t> Encode() const;
    // Nothing, with `why` set, when the bytes are too few, do not begin with
    // "TRACKSVD" or name more tracks than the table holds. The layout is told
    // by the content bytes: the standard's have a low nibble of C to F (video
    // type 3 or 7), which no BCD time byte of this format's layout has.
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
// The same in the standard's layout: each track's own playing time and its
// content byte.
std::optional<TracksRecord> BuildStandardTracksRecord(std::span<const TracksFileTrack> tracks,
                                                      std::string* why = nullptr);

}  // namespace qorvcd
