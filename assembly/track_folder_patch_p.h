// The extents of the track files in the track folder's directory: each track,
// as it begins, enters its first sector into the next track-file record. The
// folder's directory units are read from the image one at a time and written
// back once their records are done.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "assembly/track_observer_p.h"
#include "core/sector_unit.h"
#include "iso9660/track_file_record.h"

namespace qorvcd {

class TrackFolderPatch final : public TrackObserver {
public:
    explicit TrackFolderPatch(TrackWriteContext& writing) : w_(writing) {}

    // Reads the folder's first directory unit from image offset `position`
    // (none when the folder's directory was not written).
    bool Open(const std::optional<uint64_t>& position);

    bool BeginTrack(const TrackEntry& track, uint32_t firstSector) override;
    bool Finish() override;

private:
    bool ReadUnit();

    TrackWriteContext& w_;
    uint64_t unitOffset_ = 0;
    std::array<uint8_t, kForm1UnitSize> unit_{};
    size_t cursor_ = kFirstTrackFileRecord;  // into the unit's user data
};

}  // namespace qorvcd
