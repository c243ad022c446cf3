// The points a player jumps to while it scans a track: the SEARCH.DAT points
// (SVCD kinds), each on the last intra picture, and the SCANDATA points (CVD
// kinds), each on the unit itself. Both take a point every half second of
// playing time (SEARCH.DAT: every time interval of its header), up to two per
// second of all the tracks so far; a track that ends short is filled up with
// its last point. The work files are then copied into their reserved sectors.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "assembly/track_observer_p.h"
#include "mpeg/stream_times.h"
#include "platform/file.h"

namespace qorvcd {

struct ScanDataState;

// How many points the tracks written so far may have in all.
class PointBudget {
public:
    void AddTrack(uint32_t durationHundredths) { seconds_ = float(double(seconds_) + durationHundredths * 0.01); }
    uint32_t Limit() const { return 2 * uint32_t(seconds_); }

private:
    float seconds_ = 0.0f;  // playing time of the tracks, added up as they come
};

// Under `standard`: the intra pictures of one track in presentation order,
// each with the sector a player starts it from, and the points of the track
// taken from them once it has been written.
class TrackAccessPoints {
public:
    void Begin(uint32_t firstSector);
    void OnUnit(const uint8_t* pack, uint32_t sector);
    // One sector per half second below the track's playing time (the
    // standards' interval): the last intra picture shown at or before it, the
    // track's first when none is; the track's first sector when it has no
    // intra picture.
    std::vector<uint32_t> Points(uint32_t durationHundredths) const;

private:
    struct Intra {
        uint64_t displayIndex;
        uint32_t sector;
    };
    uint32_t SectorOf(uint64_t offset) const;

    PictureClock clock_;
    std::vector<PictureClock::Picture> pictures_;  // scratch
    std::vector<Intra> intra_;
    // Where recent units' video bytes begin in the stream: an access point
    // lies at most a few units before its picture ends.
    std::deque<std::pair<uint64_t, uint32_t>> unitStarts_;
    uint32_t firstSector_ = 0;
};

class SearchPointRecorder final : public TrackObserver {
public:
    SearchPointRecorder(TrackWriteContext& writing, uint64_t position);

    // Opens the SEARCH.DAT work file behind its header.
    bool Open();

    bool BeginTrack(const TrackEntry& track, uint32_t firstSector) override;
    bool OnUnit(const TrackEntry& track, const TrackUnit& unit) override;
    void EndTrack(const TrackEntry& track) override;
    bool Finish() override;

private:
    bool Append(uint32_t sector);
    uint32_t PointSector() const;

    TrackWriteContext& w_;
    const uint64_t position_;
    const bool standard_;
    TrackAccessPoints access_;
    File search_;
    uint64_t end_ = 0;
    uint8_t interval_ = 1;  // half seconds between points
    uint32_t count_ = 0;
    PointBudget budget_;
    // In the current track:
    uint32_t firstSector_ = 0;
    std::optional<uint32_t> lastIntraSector_;
    double nextTime_ = 0.0;
};

class ScanPointRecorder final : public TrackObserver {
public:
    // `scan` has its work file open; `position` is SCANDATA.DAT's first unit.
    ScanPointRecorder(TrackWriteContext& writing, ScanDataState& scan, uint64_t position)
        : w_(writing), scan_(scan), position_(position) {}

    // Goes to the entries reserved for the tracks and enters the first
    // track's start, `firstTrackSector`, as the first.
    bool Open(uint32_t firstTrackSector);

    bool BeginTrack(const TrackEntry& track, uint32_t firstSector) override;
    bool OnUnit(const TrackEntry& track, const TrackUnit& unit) override;
    void EndTrack(const TrackEntry& track) override;
    bool Finish() override;

private:
    bool AppendAddress(uint32_t sector);
    bool AppendPoint(uint32_t sector);

    TrackWriteContext& w_;
    ScanDataState& scan_;
    const uint64_t position_;
    uint64_t end_ = 0;
    PointBudget budget_;
    // In the current track:
    uint32_t lastUnitSector_ = 0;
    double nextTime_ = 0.0;
};

}  // namespace qorvcd
