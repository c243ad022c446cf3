#include <gtest/gtest.h>

#include "codec/still_format.h"

namespace qorvcd::codec {
namespace {

TEST(StillFormat, FrameSizeAndRateFollowKindModeAndStandard) {
    const struct { DiscKind kind; int mode; int32_t bitmapHeight; int width; int height; int rate; } cases[] = {
        {DiscKind::Vcd30, 2, 288, 352, 288, 25},     {DiscKind::Vcd30, 3, 480, 704, 480, 30000},
        {DiscKind::Svcd, 2, 576, 480, 576, 25},      {DiscKind::Svcd, 3, 576, 704, 576, 25},
        {DiscKind::SuperVcd, 3, 480, 704, 480, 30000}, {DiscKind::Cvd, 2, 576, 352, 576, 25},
        {DiscKind::Cvd, 3, 480, 352, 480, 30000},    // one CVD size whatever the mode
        {DiscKind::Vcd30, 2, 480, 352, 240, 30000},  // full-height NTSC bitmap: still NTSC
    };
    for (const auto& c : cases) {
        const StillFrameFormat f = StillFormatFor(c.kind, c.mode, c.bitmapHeight);
        SCOPED_TRACE(std::to_string(int(c.kind)) + " mode " + std::to_string(c.mode) + " " +
                     std::to_string(c.bitmapHeight));
        EXPECT_EQ(f.width, c.width);
        EXPECT_EQ(f.height, c.height);
        EXPECT_EQ(f.frameRateNum, c.rate);
        EXPECT_EQ(f.frameRateDen, c.rate == 25 ? 1 : 1001);
    }
}

TEST(StillFormat, StandardComesFromTheNearestFrameHeight) {
    const std::pair<int32_t, VideoStandard> cases[] = {
        {240, VideoStandard::Ntsc}, {486, VideoStandard::Ntsc}, {100, VideoStandard::Ntsc},
        {288, VideoStandard::Pal},  {1080, VideoStandard::Pal}, {-480, VideoStandard::Ntsc},  // top-down
        {264, VideoStandard::Pal},  {528, VideoStandard::Pal},  // halfway between: PAL
    };
    for (const auto& [height, standard] : cases) EXPECT_EQ(StandardForHeight(height), standard) << height;
}

}  // namespace
}  // namespace qorvcd::codec
