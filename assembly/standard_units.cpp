#include "assembly/standard_units.h"

#include "core/sector_unit.h"

namespace qorvcd {

void MarkEndOfFile(uint8_t* unit) {
    Subheader subheader = Subheader::ReadFrom(unit);
    subheader.submode |= kSubmodeEndOfFile;
    subheader.WriteTo(unit);
}

void RecodeStillUnit(uint8_t* unit, StillResolution resolution) {
    if (resolution == StillResolution::NotStill) return;
    Subheader subheader = Subheader::ReadFrom(unit);
    // Video units as the packet reader marks them: the video submode bit, the
    // first video channel and the motion-video coding. Audio, padding, empty
    // and private-stream units (channel 2 with the same coding) keep theirs.
    if ((subheader.submode & kSubmodeVideo) == 0 || subheader.channel != kVideoSubheader.channel ||
        subheader.coding != kVideoCoding) {
        return;
    }
    const bool high = resolution == StillResolution::High;
    subheader.channel = high ? kHighStillChannel : kNormalStillChannel;
    subheader.coding = high ? kHighStillCoding : kNormalStillCoding;
    subheader.WriteTo(unit);
}

}  // namespace qorvcd
