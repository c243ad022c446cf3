// The CVD track table in logical sector 0's user data: the number of video
// tracks (plus 5), then for each track its number - 1 and the BCD address of
// its first sector, entered as the track begins.
#pragma once

#include <cstddef>
#include <cstdint>

#include "assembly/track_observer_p.h"

namespace qorvcd {

class CvdTrackTable final : public TrackObserver {
public:
    explicit CvdTrackTable(TrackWriteContext& writing) : w_(writing) {}

    // Writes the track count field for `trackCount` video tracks.
    void Open(size_t trackCount);

    bool BeginTrack(const TrackEntry& track, uint32_t firstSector) override;

private:
    uint64_t UserData() const;

    TrackWriteContext& w_;
    size_t entries_ = 0;
};

}  // namespace qorvcd
