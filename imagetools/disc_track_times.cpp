#include "imagetools/disc_track_times.h"

#include <algorithm>
#include <cstring>

#include "image/image_reader.h"

namespace qorvcd {

std::vector<DiscTrackTime> MeasureDiscTrackTimes(const std::string& imagePath) {
    std::vector<DiscTrackTime> out;
    ImageReader reader;
    if (!reader.Open(imagePath)) return out;
    for (const ImageTrack& track : reader.Tracks()) {
        if (track.number < 2) continue;
        DiscTrackTime entry;
        entry.number = track.number;
        entry.firstSector = track.startSector;
        entry.endSector = track.startSector + track.storedUnits;
        SectorContent content;
        const PackSource source = [&](uint64_t index, uint8_t* area, size_t& got) {
            if (!reader.ReadSector(uint32_t(entry.firstSector + index), content)) return false;
            got = std::min(content.data.size(), kMaxPackSize);
            std::memcpy(area, content.data.data(), got);
            return true;
        };
        entry.times = MeasurePackTimes(source, track.storedUnits, 0.0, &entry.why);
        if (!entry.times) entry.why = "its stream " + entry.why;
        out.push_back(std::move(entry));
    }
    return out;
}

}  // namespace qorvcd
