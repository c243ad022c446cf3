// The PSD descriptor and LOT decoders against damaged input.
#include "content/psd_records.h"

#include <gtest/gtest.h>

#include "content/lot.h"

namespace qorvcd {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(PsdRecordsTest, DecodersRefuseShortOrForeignRecords) {
    std::string error;
    PlayListRecord play;
    Bytes bytes(kPlayListSize, 0);
    bytes[0] = 0x10;
    EXPECT_FALSE(play.Decode(bytes.data(), 15, error));
    EXPECT_NE(error.find("needs 16"), std::string::npos) << error;
    bytes[0] = 0x18;
    EXPECT_FALSE(play.Decode(bytes.data(), bytes.size(), error));

    // A selection whose count runs past the data it was given.
    SelectionRecord sel;
    Bytes s(24, 0);
    s[0] = 0x18;
    s[2] = 3;
    EXPECT_FALSE(sel.Decode(s.data(), s.size(), error));
    s[2] = 2;
    EXPECT_TRUE(sel.Decode(s.data(), s.size(), error)) << error;
    EXPECT_EQ(sel.targets.size(), 2u);

    EndListRecord end;
    Bytes e{0x1F, 1, 0, 2, 0, 0, 0};
    EXPECT_FALSE(end.Decode(e.data(), e.size(), error));
}

TEST(LotTest, BuildAndDecode) {
    const Bytes lot = BuildLot({0, 2, 5});
    ASSERT_EQ(lot.size(), kLotSize);
    EXPECT_EQ(Bytes(lot.begin(), lot.begin() + 10), (Bytes{0, 0, 0, 0, 0, 2, 0, 5, 0xFF, 0xFF}));
    std::vector<uint16_t> offsets;
    std::string error;
    ASSERT_TRUE(DecodeLot(lot.data(), lot.size(), offsets, error));
    EXPECT_EQ(offsets, (std::vector<uint16_t>{0, 2, 5}));
    EXPECT_FALSE(DecodeLot(lot.data(), 2048, offsets, error));
    EXPECT_NE(error.find("2048"), std::string::npos);
}

TEST(PlaybackControlDecodeTest, BadDescriptorsAreReportedPerList) {
    // List 1 at 0 is fine, list 2 points past the PSD, list 3 has an unknown
    // type, list 4 is a play list cut short by the end of the PSD.
    const Bytes lot = BuildLot({0, 100, 2, 3});
    Bytes psd(32, 0);
    psd[0] = 0x1F;
    psd[16] = 0x42;
    psd[24] = 0x10;
    std::vector<PsdListView> lists;
    std::string error;
    ASSERT_TRUE(
        DecodePlaybackControl(lot.data(), lot.size(), psd.data(), psd.size(), lists, error));
    ASSERT_EQ(lists.size(), 4u);
    EXPECT_TRUE(lists[0].error.empty());
    EXPECT_NE(lists[1].error.find("beyond"), std::string::npos) << lists[1].error;
    EXPECT_NE(lists[2].error.find("unknown"), std::string::npos) << lists[2].error;
    EXPECT_NE(lists[3].error.find("needs 16"), std::string::npos) << lists[3].error;
    EXPECT_FALSE(DecodePlaybackControl(lot.data(), 100, psd.data(), psd.size(), lists, error));
}

}  // namespace
}  // namespace qorvcd
