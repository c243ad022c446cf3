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

TEST(RecordsGolden, ImageHeaderWithoutVideoTracksHasDiscChunk78) {
    ImageHeader header;
    header.trackCount = 1;
    const auto bytes = Encoded<ImageHeader::kSize>(header);
    EXPECT_EQ(bytes[62], 78);
    EXPECT_EQ(bytes[82], 1);
    EXPECT_EQ(bytes[96], 1);
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

TEST(RecordsRoundTrip, EveryRecordReadsBackWhatWasWritten) {
    ImageHeader header;
    header.trackCount = 99;
    auto hb = Encoded<ImageHeader::kSize>(header);
    ImageHeader headerBack;
    ASSERT_TRUE(headerBack.Decode(hb.data(), hb.size()));
    EXPECT_EQ(headerBack.trackCount, 99);

    TrackRecord track = TrackRecord::ForVideoTrack(777);
    auto tb = Encoded<TrackRecord::kSize>(track);
    TrackRecord trackBack;
    ASSERT_TRUE(trackBack.Decode(tb.data(), tb.size()));
    EXPECT_EQ(trackBack.sectorCount, 777u);
    EXPECT_EQ(trackBack.kind, ContainerTrackKind::Video);
    EXPECT_EQ(trackBack.bytesPerSector, 2332);

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
    EXPECT_EQ(blockBack.flags, TrackBlockHeader::kFlags);

    RunRecord run{200, 200 + 3 * 2056, 200 + 3 * 2056, RunForm::Form1};
    auto rb = Encoded<RunRecord::kSize>(run);
    RunRecord runBack;
    ASSERT_TRUE(runBack.Decode(rb.data(), rb.size()));
    EXPECT_EQ(runBack.SectorCount(), 3u);
    EXPECT_EQ(runBack.form, RunForm::Form1);
}

TEST(RecordsRunSectors, StoredAndReservedRunsCountByTheirForm) {
    // Reserved Form 1 stretch of track 1: counted in 2056-byte steps.
    EXPECT_EQ((RunRecord{500, 500, 500 + 140 * 2056, RunForm::Form1}).SectorCount(), 140u);
    // A stored Form 2 run whose reserved end was counted in 2056-byte steps
    // (many segment items) still counts its stored units only.
    EXPECT_EQ((RunRecord{500, 500 + 150 * 2332, 500 + 150 * 2056, RunForm::Form2}).SectorCount(), 150u);
    // A run that stores nothing and reserves nothing covers no sector.
    EXPECT_EQ((RunRecord{500, 500, 500, RunForm::Form2}).SectorCount(), 0u);
}

TEST(RecordsDecode, RefusesShortBytesWrongMagicAndImpossibleValues) {
    std::string error;
    ImageHeader header;
    header.trackCount = 2;
    auto hb = Encoded<ImageHeader::kSize>(header);

    ImageHeader back;
    EXPECT_FALSE(back.Decode(hb.data(), ImageHeader::kSize - 1, &error));
    EXPECT_NE(error.find("111 bytes"), std::string::npos) << error;

    auto badMagic = hb;
    badMagic[66] = 'D';
    EXPECT_FALSE(back.Decode(badMagic.data(), badMagic.size(), &error));
    EXPECT_NE(error.find("\"Disc\""), std::string::npos) << error;

    auto zeroTracks = hb;
    zeroTracks[82] = zeroTracks[96] = 0;
    EXPECT_FALSE(back.Decode(zeroTracks.data(), zeroTracks.size(), &error));

    auto disagree = hb;
    disagree[96] = 5;
    EXPECT_FALSE(back.Decode(disagree.data(), disagree.size(), &error));

    auto wrongChunk = hb;
    wrongChunk[62] = 78;  // says no video track while the count says one
    EXPECT_FALSE(back.Decode(wrongChunk.data(), wrongChunk.size(), &error));

    TailHeader tail;
    auto tailBytes = Encoded<TailHeader::kSize>(tail);
    tailBytes[11] = 'x';  // "ofsx"
    TailHeader tailBack;
    EXPECT_FALSE(tailBack.Decode(tailBytes.data(), tailBytes.size(), &error));

    TrackBlockHeader block;
    block.runCount = -1;
    auto blockBytes = Encoded<TrackBlockHeader::kSize>(block);
    TrackBlockHeader blockBack;
    EXPECT_FALSE(blockBack.Decode(blockBytes.data(), blockBytes.size(), &error));

    RunRecord runBack;
    auto formFour = Encoded<RunRecord::kSize>(RunRecord{0, 2056, 2056, RunForm::Form1});
    formFour[12] = 4;
    EXPECT_FALSE(runBack.Decode(formFour.data(), formFour.size(), &error));
    auto backwards = Encoded<RunRecord::kSize>(RunRecord{4112, 2056, 2056, RunForm::Form1});
    EXPECT_FALSE(runBack.Decode(backwards.data(), backwards.size(), &error));
    auto partialUnit = Encoded<RunRecord::kSize>(RunRecord{0, 2000, 2000, RunForm::Form1});
    EXPECT_FALSE(runBack.Decode(partialUnit.data(), partialUnit.size(), &error));

    TrackRecord trackBack;
    auto kindNine = Encoded<TrackRecord::kSize>(TrackRecord::ForDataTrack(1));
    kindNine[10] = 9;
    EXPECT_FALSE(trackBack.Decode(kindNine.data(), kindNine.size(), &error));
}

}  // namespace
}  // namespace qorvcd
