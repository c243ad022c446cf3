// Golden bytes of the container records, their round trips, and the refusal
// of bytes that are not the record asked for.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "image/container_records.h"

namespace qorvcd {
namespace {

template <size_t N>
std::array<uint8_t, N> Encoded(const auto& record) {
    std::array<uint8_t, N> bytes;
    bytes.fill(0xAA);  // any byte the encoder forgets shows up
    record.Encode(bytes.data());
    return bytes;
}

TEST(RecordsGolden, ImageHeaderForTwoVideoTracks) {
    ImageHeader header;
    header.trackCount = 3;
    const auto bytes = Encoded<ImageHeader::kSize>(header);
    // Hand-assembled from the record's table, V = 2.
    const std::vector<uint8_t> expected = {
        'R', 'I', 'F', 'F', 49, 0, 0, 0, 'i', 'm', 'a', 'g', 0, 0, 0, 0, 0, 0, 0, 0,  // 0..19
        37, 0, 2, 0,                                                                  // 20..23
        'P', 'l', 'a', 'c', 'e', 'h', 'o', 'l', 'd', 'e', 'r', ' ', 'f', 'o', 'r', ' ',
        't', 'h', 'e', ' ', 'i', 'm', 'a', 'g', 'e', ' ', 'h', 'e', 'a', 'd', 'e', 'r',  // 24..55
        0, 0,                                                                         // 56
        'R', 'I', 'F', 'F', 142, 0, 0, 0, 'd', 'i', 's', 'c', 0, 0, 0, 0, 0, 0, 0, 0,  // 58..77
        16, 0, 1, 0, 3, 0, 0, 0, 16, 0, 0, 0, 5, 0, 0, 0, 18, 0, 3, 0, 1, 0, 1, 0, 0, 0,
        3, 0,                                                                         // 78..105
        0, 0, 0, 0, 0, 0};                                                            // 106..111
    ASSERT_EQ(expected.size(), ImageHeader::kSize);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected);
}

TEST(RecordsGolden, TrackRecords) {
    const auto data = Encoded<TrackRecord::kSize>(TrackRecord::ForDataTrack(333));
    const std::array<uint8_t, 32> dataExpected = {32, 0, 0, 0, 0x4D, 0x01, 0, 0, 1, 0, 4, 0, 0, 0, 0, 0,
                                                  0,  0, 0, 0, 0,    0,    0, 8, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(data, dataExpected);

    const auto video = Encoded<TrackRecord::kSize>(TrackRecord::ForVideoTrack(0x00012345));
    const std::array<uint8_t, 32> videoExpected = {32, 0, 0, 0, 0x45, 0x23, 0x01, 0, 1, 0, 3, 0, 0, 0, 0, 0,
                                                   0,  0, 0, 0, 0,    0,    0x1C, 9, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(video, videoExpected);
}

TEST(RecordsGolden, InfoTailBlockAndRun) {
    InfoRecord info;
    info.chunkSize = 0x01020304;
    info.offset = 176;
    const std::array<uint8_t, 20> infoExpected = {'R', 'I', 'F', 'F', 4, 3, 2, 1, 'i', 'n',
                                                  'f', 'o', 176, 0,  0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Encoded<InfoRecord::kSize>(info), infoExpected);

    TailHeader tail;
    tail.tailLength = 300;
    tail.lastBlockOffset = 76;
    tail.afterLastBlockOffset = 98;
    tail.trackCount = 2;
    const std::array<uint8_t, 22> tailExpected = {'R', 'I', 'F', 'F', 0x2C, 1, 0, 0, 'o', 'f', 's',
                                                  ' ', 76,  0,   0,   0,    98, 0, 0, 0, 2, 0};
    EXPECT_EQ(Encoded<TailHeader::kSize>(tail), tailExpected);

    TrackBlockHeader block;
    block.infoChunkSize = 5000;
    block.infoBodyOffset = 184;
    block.runCount = 2;
    const std::array<uint8_t, 22> blockExpected = {'R', 'I', 'F', 'F', 0x88, 0x13, 0, 0, 'i', 'n', 'f',
                                                   'o', 184, 0,   0,   0,    0,    0, 0, 0x10, 2, 0};
    EXPECT_EQ(Encoded<TrackBlockHeader::kSize>(block), blockExpected);
    EXPECT_EQ(block.FirstUnitOffset(), 196u);  // the record at 176 is 20 bytes long

    // The reserved run of 10 empty Form 2 sectors after a 1000-unit track at s = 0x1000.
    RunRecord run{0x1000 + 2332000, 0x1000 + 2332000, 0x1000 + 2332000 + 23320, RunForm::Form2};
    // 0x1000 + 2332000 = 0x23A560; + 23320 = 0x240078.
    const std::array<uint8_t, 16> runExpected = {0x60, 0xA5, 0x23, 0, 0x60, 0xA5, 0x23, 0,
                                                 0x78, 0x00, 0x24, 0, 3,    0,    0,    0};
    EXPECT_EQ(Encoded<RunRecord::kSize>(run), runExpected);
    EXPECT_EQ(run.SectorCount(), 10u);
}

TEST(RecordsRoundTrip, ExtremeValuesReadBackAndRunsCountByForm) {
    TrackBlockHeader block;
    block.infoChunkSize = 0xFFFFFFF0;
    block.infoBodyOffset = 0x7FFFFFFF;
    block.runCount = 32767;
    auto bb = Encoded<TrackBlockHeader::kSize>(block);
    TrackBlockHeader blockBack;
    ASSERT_TRUE(blockBack.Decode(bb.data(), bb.size()));
    EXPECT_EQ(blockBack.infoChunkSize, 0xFFFFFFF0u);
    EXPECT_EQ(blockBack.infoBodyOffset, 0x7FFFFFFFu);
    EXPECT_EQ(blockBack.runCount, 32767);
    auto tb = Encoded<TrackRecord::kSize>(TrackRecord::ForVideoTrack(777));
    TrackRecord trackBack;
    ASSERT_TRUE(trackBack.Decode(tb.data(), tb.size()));
    EXPECT_EQ(trackBack.sectorCount, 777u);
    EXPECT_EQ(trackBack.kind, ContainerTrackKind::Video);

    // Reserved stretches count in their form's unit; a stored Form 2 run whose
    // reserved end was counted in 2056-byte steps counts its stored units only.
    EXPECT_EQ((RunRecord{500, 500, 500 + 140 * 2056, RunForm::Form1}).SectorCount(), 140u);
    EXPECT_EQ((RunRecord{500, 500 + 150 * 2332, 500 + 150 * 2056, RunForm::Form2}).SectorCount(), 150u);
    EXPECT_EQ((RunRecord{500, 500, 500, RunForm::Form2}).SectorCount(), 0u);
}

TEST(RecordsDecode, RefusesShortBytesWrongMagicAndImpossibleValues) {
    std::string error;
    ImageHeader header;
    header.trackCount = 2;
    const auto hb = Encoded<ImageHeader::kSize>(header);
    ImageHeader back;
    EXPECT_FALSE(back.Decode(hb.data(), ImageHeader::kSize - 1, &error));
    EXPECT_NE(error.find("111 bytes"), std::string::npos) << error;
    const std::vector<std::pair<size_t, uint8_t>> headerDamage[] = {
        {{66, 'D'}},            // "Disc"
        {{82, 0}, {96, 0}},     // no track
        {{96, 5}},              // the two counts disagree
        {{62, 78}},             // says no video track while the count says one
    };
    for (const auto& damage : headerDamage) {
        auto bytes = hb;
        for (const auto& [at, value] : damage) bytes[at] = value;
        EXPECT_FALSE(back.Decode(bytes.data(), bytes.size(), &error)) << damage[0].first;
    }
    auto tailBytes = Encoded<TailHeader::kSize>(TailHeader{});
    tailBytes[11] = 'x';  // "ofsx"
    EXPECT_FALSE(TailHeader{}.Decode(tailBytes.data(), tailBytes.size(), &error));
    TrackBlockHeader block;
    block.runCount = -1;
    auto blockBytes = Encoded<TrackBlockHeader::kSize>(block);
    EXPECT_FALSE(TrackBlockHeader{}.Decode(blockBytes.data(), blockBytes.size(), &error));
    auto kindNine = Encoded<TrackRecord::kSize>(TrackRecord::ForDataTrack(1));
    kindNine[10] = 9;
    EXPECT_FALSE(TrackRecord{}.Decode(kindNine.data(), kindNine.size(), &error));

    auto formFour = Encoded<RunRecord::kSize>(RunRecord{0, 2056, 2056, RunForm::Form1});
    formFour[12] = 4;
    EXPECT_FALSE(RunRecord{}.Decode(formFour.data(), formFour.size(), &error));
    for (const RunRecord& run : {RunRecord{4112, 2056, 2056, RunForm::Form1},  // backwards
                                 RunRecord{0, 2000, 2000, RunForm::Form1}}) {  // a partial unit
        const auto bytes = Encoded<RunRecord::kSize>(run);
        EXPECT_FALSE(RunRecord{}.Decode(bytes.data(), bytes.size(), &error)) << run.start;
    }
}

}  // namespace
}  // namespace qorvcd
