// The playing time of each video track of a finished disc image, measured
// from the stream the track holds (its first and last pictures' time
// stamps), so a disc's own statements of its times and scan points can be
// judged against what it plays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mpeg/stream_times.h"

namespace qorvcd {

struct DiscTrackTime {
    unsigned number = 0;       // disc track number, 2 for the first video track
    uint32_t firstSector = 0;  // of its stream
    uint32_t endSector = 0;    // one past the stream's last stored unit
    std::optional<StreamTimes> times;
    std::string why;  // when the times could not be measured
};

// One entry per video track, in disc order; empty when the image cannot be
// opened.
std::vector<DiscTrackTime> MeasureDiscTrackTimes(const std::string& imagePath);

}  // namespace qorvcd
