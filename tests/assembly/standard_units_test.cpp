// Which units of a still a standard build recodes, and where its disc ends.
#include "assembly/standard_units.h"

#include <gtest/gtest.h>

#include <array>

#include "assembly/layout.h"
#include "assembly/video_track_writer.h"
#include "core/sector_unit.h"

namespace qorvcd {
namespace {

std::array<uint8_t, kSectorModeUnitSize> UnitWith(const Subheader& subheader) {
    std::array<uint8_t, kSectorModeUnitSize> unit{};
    unit.fill(0xA5);
    subheader.WriteTo(unit.data());
    return unit;
}

TEST(StandardUnits, OnlyTheVideoUnitsOfAStillTakeTheStillCoding) {
    const struct {
        Subheader in;
        StillResolution resolution;
        Subheader out;
    } cases[] = {
        {kVideoSubheader, StillResolution::Normal, {0x01, 0x02, 0x62, 0x1F}},
        {kVideoSubheader, StillResolution::High, {0x01, 0x03, 0x62, 0x3F}},
        {{0x01, 0x01, 0x63, 0x0F},
         StillResolution::Normal,
         {0x01, 0x02, 0x63, 0x1F}},  // last video unit
        {{0x01, 0x01, 0xE3, 0x0F},
         StillResolution::High,
         {0x01, 0x03, 0xE3, 0x3F}},                                     // ... that ends the file
        {kVideoSubheader, StillResolution::NotStill, kVideoSubheader},  // motion
        {kAudioSubheader, StillResolution::Normal, kAudioSubheader},
        {kPaddingSubheader, StillResolution::High, kPaddingSubheader},  // video bit, its own coding
        {kPrivate1Subheader, StillResolution::Normal,
         kPrivate1Subheader},  // channel 2, video coding
        {kEmptyForm2Subheader, StillResolution::Normal, kEmptyForm2Subheader},
    };
    for (const auto& c : cases) {
        auto unit = UnitWith(c.in);
        RecodeStillUnit(unit.data(), c.resolution);
        EXPECT_EQ(Subheader::ReadFrom(unit.data()), c.out)
            << int(c.in.submode) << " " << int(c.resolution);
        EXPECT_EQ(Subheader::ReadFrom(unit.data() + 4), c.out);
    }
}

TEST(StandardUnits, TheDiscEndsBeforeTheGapThatNoTrackFollows) {
    EXPECT_EQ(DiscSectorCount(310, 0), 310u);  // track 1 alone: no gap counted
    EXPECT_EQ(DiscSectorCount(300 + 152 + 500 + 10 + 152, 1), 300u + 152 + 500 + 10);
    EXPECT_EQ(DiscSectorCount(100, 2), 100u);  // a counter short of a gap never wraps
    EXPECT_EQ(DiscSectorCount(kTrackLeadGap, 1), 0u);
}

}  // namespace
}  // namespace qorvcd
