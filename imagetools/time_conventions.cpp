#include "imagetools/time_conventions_p.h"

#include <algorithm>
#include <cmath>

#include "imagetools/disc_track_times.h"
#include "infofiles/search_record.h"
#include "mpeg/pack_header.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// "track 2: its stream ..." for the first track whose stream could not be timed.
std::optional<std::string> UntimedTrack(const std::vector<DiscTrackTime>& tracks) {
    for (const DiscTrackTime& t : tracks) {
        if (!t.times) return Format("track %u: %s", t.number, t.why.c_str());
    }
    return std::nullopt;
}

std::string SecondsText(double seconds) { return Format("%.2f s", seconds); }

}  // namespace

// TRACKS.SVD as the standard lays it out: the count at byte 10, then every
// track's own playing time (BCD minutes, seconds, frames of 1/75 s), then one
// description byte per track. Each time must be its stream's to a picture.
std::optional<ConventionFinding> CheckTrackTimes(const DecodedImage& image) {
    if (!image.tracksFile || !image.tracksFile->error.empty()) return std::nullopt;
    constexpr const char* kName = "track playing times";
    constexpr size_t kCountByte = 10, kFirstTime = 11, kTimeSize = 3;
    const std::vector<uint8_t>& bytes = image.tracksFile->bytes;
    if (bytes.size() <= kCountByte) return ConventionFinding{kName, false, "TRACKS.SVD is too short to hold its count"};
    const std::vector<DiscTrackTime> tracks = MeasureDiscTrackTimes(image.imagePath);
    const size_t count = bytes[kCountByte];
    if (count != tracks.size())
        return ConventionFinding{kName, false,
                                 Format("TRACKS.SVD counts %zu tracks, the disc has %zu", count, tracks.size())};
    const size_t used = kFirstTime + count * (kTimeSize + 1);
    if (used > bytes.size()) return ConventionFinding{kName, false, "TRACKS.SVD is too short for its tracks"};
    // The layout of a time and an audio and overlay byte per track fills the
    // bytes beyond (with its last track's audio byte at least).
    if (std::any_of(bytes.begin() + std::ptrdiff_t(used), bytes.end(), [](uint8_t b) { return b != 0; }))
        return ConventionFinding{kName, false,
                                 "TRACKS.SVD holds more than a time and a description byte per track (the standard: "
                                 "all the times, then one byte per track)"};
    if (const auto untimed = UntimedTrack(tracks)) return ConventionFinding{kName, false, *untimed};
    for (size_t k = 0; k < count; ++k) {
        const uint8_t* time = bytes.data() + kFirstTime + k * kTimeSize;
        const double stated = FromBcd(time[0]) * 60.0 + FromBcd(time[1]) + FromBcd(time[2]) / double(kFramesPerSecond);
        const StreamTimes& measured = *tracks[k].times;
        const double plays = double(measured.PlayingTicks()) / kMpegClockHz;
        constexpr double kRounding = 1e-6;  // seconds: a time exactly a picture off still agrees
        if (std::fabs(stated - plays) > measured.ticksPerPicture / kMpegClockHz + kRounding) {
            return ConventionFinding{kName, false,
                                     Format("track %u: %s in TRACKS.SVD, its stream plays %s (the standard: each "
                                            "track's own time, to a picture)",
                                            tracks[k].number, SecondsText(stated).c_str(), SecondsText(plays).c_str())};
        }
    }
    return ConventionFinding{kName, true, Format("the %zu tracks' times match their streams to a picture", count)};
}

// SEARCH.DAT as the standard fills it: per track, in disc order, one point
// per half second of its stream's playing time, each inside that track.
std::optional<ConventionFinding> CheckScanPoints(const DecodedImage& image) {
    if (!image.search || !image.search->error.empty()) return std::nullopt;
    constexpr const char* kName = "scan points";
    std::string why;
    const std::optional<SearchRecord> search = SearchRecord::Decode(image.search->bytes, &why);
    if (!search) return ConventionFinding{kName, false, why};
    const std::vector<DiscTrackTime> tracks = MeasureDiscTrackTimes(image.imagePath);
    if (const auto untimed = UntimedTrack(tracks)) return ConventionFinding{kName, false, *untimed};
    size_t next = 0;
    for (const DiscTrackTime& track : tracks) {
        const uint32_t wanted = StandardScanPointsFor(track.times->PlayingHundredths());
        for (uint32_t j = 0; j < wanted; ++j, ++next) {
            if (next >= search->points.size()) {
                return ConventionFinding{kName, false,
                                         Format("SEARCH.DAT ends at %zu points; a point per half second of every "
                                                "track asks more (track %u wants %u)",
                                                search->points.size(), track.number, wanted)};
            }
            const int64_t sector = search->points[next];
            if (sector < track.firstSector || sector >= track.endSector) {
                return ConventionFinding{kName, false,
                                         Format("point %zu, %.1f s into track %u, leads to sector %lld, outside the "
                                                "track (sectors %u to %u)",
                                                next, j * 0.5, track.number, static_cast<long long>(sector),
                                                track.firstSector, track.endSector - 1)};
            }
        }
    }
    if (next != search->points.size()) {
        return ConventionFinding{kName, false,
                                 Format("SEARCH.DAT holds %zu points, a point per half second of every track is %zu",
                                        search->points.size(), next)};
    }
    return ConventionFinding{kName, true, Format("%zu points, one per half second inside each track", next)};
}

}  // namespace qorvcd
