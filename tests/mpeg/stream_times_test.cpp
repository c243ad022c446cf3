// Picture order, packet time stamps and the exact playing time of a stream.
#include <gtest/gtest.h>

#include <vector>

#include "mpeg/pack_header.h"
#include "mpeg/stream_times.h"

namespace qorvcd {
namespace {

// A picture header: start code, then temporal reference (10 bits) and coding type (3 bits).
void AddPicture(std::vector<uint8_t>& es, unsigned temporalReference, unsigned type) {
    es.insert(es.end(), {0, 0, 1, 0, uint8_t(temporalReference >> 2),
                         uint8_t(((temporalReference & 3) << 6) | (type << 3)), 0xFF, 0xF8});
}
void AddGroup(std::vector<uint8_t>& es) { es.insert(es.end(), {0, 0, 1, 0xB8, 0, 8, 0, 0}); }

TEST(PictureClock, GivesPresentationOrderAcrossGroupsAndPiecesCutAnywhere) {
    // Open groups: I(2) B(0) B(1) P(5) B(3) B(4), then the same again.
    std::vector<uint8_t> es = {0, 0, 1, 0xB3, 0x16, 0x01, 0x20, 0x23};  // 352x288, 4:3, 25 fps
    for (int g = 0; g < 2; ++g) {
        AddGroup(es);
        for (const auto& [tr, type] : {std::pair{2u, 1u}, {0u, 3u}, {1u, 3u}, {5u, 2u}, {3u, 3u}, {4u, 3u}})
            AddPicture(es, tr, type);
    }
    for (size_t cut = 1; cut < es.size(); ++cut) {
        PictureClock clock;
        std::vector<PictureClock::Picture> pictures;
        clock.Feed(es.data(), cut, pictures);
        clock.Feed(es.data() + cut, es.size() - cut, pictures);
        ASSERT_EQ(pictures.size(), 12u) << cut;
        const uint64_t expected[] = {2, 0, 1, 5, 3, 4, 8, 6, 7, 11, 9, 10};
        for (size_t i = 0; i < 12; ++i) EXPECT_EQ(pictures[i].displayIndex, expected[i]) << cut << " " << i;
        // The first intra picture starts at the sequence header, the second at its group header.
        EXPECT_EQ(pictures[0].accessOffset, 0u);
        EXPECT_EQ(pictures[6].accessOffset, 8u + 8 + 6 * 8);
        EXPECT_EQ(pictures[1].accessOffset, pictures[1].startOffset);
        EXPECT_EQ(clock.FrameRateCode(), 3);
    }
}

TEST(PacketPresentationTime, ReadsThePtsOfEitherSyntaxAndNothingWithout) {
    uint8_t mpeg2[19] = {0, 0, 1, 0xE0, 0, 13, 0x81, 0x80, 5};
    WriteTimestamp(mpeg2 + 9, kPtsOnlyPrefix, 123456789);
    EXPECT_EQ(PacketPresentationTime(mpeg2, sizeof mpeg2, PackSyntax::Mpeg2), 123456789);
    mpeg2[7] = 0x00;  // no PTS flag
    EXPECT_EQ(PacketPresentationTime(mpeg2, sizeof mpeg2, PackSyntax::Mpeg2), -1);
    EXPECT_EQ(PacketPresentationTime(mpeg2, 12, PackSyntax::Mpeg2), -1);  // cut short

    uint8_t mpeg1[20] = {0, 0, 1, 0xE0, 0, 14, 0xFF, 0x60, 0x2E};  // stuffing, buffer size, then PTS and DTS
    WriteTimestamp(mpeg1 + 9, kPtsBeforeDtsPrefix, 90000);
    EXPECT_EQ(PacketPresentationTime(mpeg1, sizeof mpeg1, PackSyntax::Mpeg1), 90000);
    mpeg1[9] = 0x0F;  // no time stamp
    EXPECT_EQ(PacketPresentationTime(mpeg1, sizeof mpeg1, PackSyntax::Mpeg1), -1);
}

TEST(StreamTimes, PlaysFromTheFirstPictureToTheEndOfTheLastRoundedUpToHundredths) {
    StreamTimes times{36600, 36600 + 99 * 3600, 3600};  // 100 pictures at 25 fps
    EXPECT_EQ(times.PlayingTicks(), 360000u);
    EXPECT_EQ(times.PlayingHundredths(), 400u);
    times = {100, 100 + 119 * 3003, 3003};  // 120 pictures at 29.97 fps: 4.004 s
    EXPECT_EQ(times.PlayingHundredths(), 401u);
    times = {kMaxTimestamp - 1000, 2600, 3600};  // across the clock's wrap
    EXPECT_EQ(times.PlayingTicks(), 3601u + 3600u);
}

}  // namespace
}  // namespace qorvcd
