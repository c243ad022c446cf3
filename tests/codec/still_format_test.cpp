#include <gtest/gtest.h>

#include "codec/still_format.h"

namespace qorvcd::codec {
namespace {

struct SizeCase {
    DiscKind kind;
    int mode;
    int32_t bitmapHeight;
    int width;
    int height;
};

TEST(StillFormat, FrameSizeFollowsKindModeAndStandard) {
    const SizeCase cases[] = {
        {DiscKind::Vcd30, 2, 288, 352, 288},    {DiscKind::Vcd30, 2, 240, 352, 240},
        {DiscKind::Vcd30, 3, 576, 704, 576},    {DiscKind::Vcd30, 3, 480, 704, 480},
        {DiscKind::Svcd, 2, 576, 480, 576},     {DiscKind::Svcd, 2, 480, 480, 480},
        {DiscKind::Svcd, 3, 576, 704, 576},     {DiscKind::SuperVcd, 3, 480, 704, 480},
        {DiscKind::SuperVcd, 2, 576, 480, 576}, {DiscKind::Cvd, 2, 576, 352, 576},
        // A CVD still has one size whatever mode it is asked for.
        {DiscKind::Cvd, 3, 480, 352, 480},
        // A normal Video CD still from a full-height NTSC bitmap is still NTSC.
        {DiscKind::Vcd30, 2, 480, 352, 240},
    };
    for (const SizeCase& c : cases) {
        const StillFrameFormat f = StillFormatFor(c.kind, c.mode, c.bitmapHeight);
        EXPECT_EQ(f.width, c.width) << int(c.kind) << " mode " << c.mode << " height " << c.bitmapHeight;
        EXPECT_EQ(f.height, c.height) << int(c.kind) << " mode " << c.mode << " height " << c.bitmapHeight;
    }
}

TEST(StillFormat, StandardComesFromTheNearestFrameHeight) {
    EXPECT_EQ(StandardForHeight(240), VideoStandard::Ntsc);
    EXPECT_EQ(StandardForHeight(480), VideoStandard::Ntsc);
    EXPECT_EQ(StandardForHeight(486), VideoStandard::Ntsc);  // D1 NTSC capture
    EXPECT_EQ(StandardForHeight(288), VideoStandard::Pal);
    EXPECT_EQ(StandardForHeight(576), VideoStandard::Pal);
    EXPECT_EQ(StandardForHeight(1080), VideoStandard::Pal);
    EXPECT_EQ(StandardForHeight(100), VideoStandard::Ntsc);
    // Top-down bitmaps store a negative height.
    EXPECT_EQ(StandardForHeight(-480), VideoStandard::Ntsc);
}

TEST(StillFormat, AmbiguousHeightIsPal) {
    // 264 is as far from 240 as from 288; 528 as far from 480 as from 576.
    EXPECT_EQ(StandardForHeight(264), VideoStandard::Pal);
    EXPECT_EQ(StandardForHeight(528), VideoStandard::Pal);
}

TEST(StillFormat, FrameRateMatchesStandard) {
    const StillFrameFormat pal = StillFormatFor(DiscKind::Svcd, 2, 576);
    EXPECT_EQ(pal.frameRateNum, 25);
    EXPECT_EQ(pal.frameRateDen, 1);
    const StillFrameFormat ntsc = StillFormatFor(DiscKind::Svcd, 2, 480);
    EXPECT_EQ(ntsc.frameRateNum, 30000);
    EXPECT_EQ(ntsc.frameRateDen, 1001);
}

}  // namespace
}  // namespace qorvcd::codec
