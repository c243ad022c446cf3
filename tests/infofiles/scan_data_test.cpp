#include <gtest/gtest.h>

#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "infofiles/scan_data.h"
#include "script/script_reader.h"
#include "tests/infofiles/info_test_support.h"

namespace qorvcd {
namespace {

using test::ContextFixture;
using test::MakeItem;
using test::Slice;
using test::Text;
using Bytes = std::vector<uint8_t>;

Bytes WorkFileBytes(ScanDataState& state) {
    state.scanDataFile.Flush();
    return test::ReadBytes(state.scanDataFile.Path());
}

TEST(ScanData, WorkFileHeaderTrackTimesAndDiscard) {
    ContextFixture f(DiscKind::SuperVcd);
    ScanDataState state;
    ASSERT_TRUE(CreateScanData(state, f.ctx));
    EXPECT_EQ(WorkFileBytes(state), Text(std::string("SCAN_VCD\x01\0\0\0\0\0\0\0", 16)));
    const uint32_t durations[] = {6150, 3000};
    std::string error;
    ASSERT_TRUE(WriteScanTrackTimes(state, durations, error)) << error;
    // P = 20 + 2 x 91.5 = 203 (CB 00), two tracks (02 00), then the cumulative times.
    const Bytes work = WorkFileBytes(state);
    EXPECT_EQ(Slice(work, 8, 14), (Bytes{1, 0, 0xCB, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x01, 0x37, 0x01, 0x31, 0x37}));
    EXPECT_EQ(state.scanDataFile.Position(), 22u);

    ScanDataRecord record;
    ASSERT_TRUE(DecodeScanData(work, ScanDataForm::WorkFile, record, error)) << error;
    EXPECT_EQ(record.pointCount, 203);
    EXPECT_EQ(record.trackTimes[1], (std::array<uint8_t, 3>{0x01, 0x31, 0x37}));
    EXPECT_FALSE(record.endScanIndex.has_value());

    DiscardScanData(state);
    EXPECT_FALSE(state.IsOpen());
    EXPECT_FALSE(test::FileExists(f.dir / kScanDataWorkFile));
    DiscardScanData(state);  // twice is harmless
}

TEST(ScanData, InfoAppendsOneIndexPerSegmentItem) {
    ContextFixture f(DiscKind::SuperVcd);
    ScanDataState state;
    ASSERT_TRUE(CreateScanData(state, f.ctx));
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 2, 1, 1));
    segments.Insert(MakeItem("SEG02", 1, 1, 1));
    segments.Insert(MakeItem("SEG03", 3, 1, 1));
    test::WriteText(f.dir / "disc.scr", "[VCD]\r\n");
    ScriptReader reader;
    ASSERT_TRUE(reader.OpenScript(f.dir / "disc.scr"));
    InfoFilesInput input;
    input.segments = &segments;
    input.scanData = &state;
    EXPECT_EQ(WriteInfoAndEntries(reader, f.ctx, input), 0);
    EXPECT_EQ(state.scanPointCount, 3u);
    EXPECT_EQ(state.scanIndex, 9u);
    EXPECT_EQ(Slice(WorkFileBytes(state), 16, 6), (Bytes{0x00, 0x00, 0x00, 0x03, 0x00, 0x06}));
}

TEST(ScanData, CreationFailureIsAWarningAndLaterStagesSkip) {
    ContextFixture f(DiscKind::Cvd);
    f.ctx.workFolder = f.dir / "absent/";
    ScanDataState state;
    EXPECT_FALSE(CreateScanData(state, f.ctx));
    EXPECT_EQ(f.log.Last(), "Warning :: Can't create " + f.ctx.workFolder + kScanDataWorkFile);
    std::string error;
    const uint32_t durations[] = {100};
    EXPECT_TRUE(WriteScanTrackTimes(state, durations, error));
    AppendScanIndex(state);
    EXPECT_EQ(state.scanPointCount, 0u);
}

TEST(ScanData, DecodeTheDiscFormAndRefuseDamagedOnes) {
    // Counts big-endian; two segment items plus three track points.
    Bytes disc = Text("SCAN_VCD");
    for (const uint8_t x : {1, 0, 0x00, 0x05, 0x00, 0x01, 0x00, 0x02,  // points, tracks, items
                            0x00, 0x10, 0x00,                          // one track time
                            0x00, 0x00, 0x00, 0x03, 0x00, 0x06,        // indexes, end index
                            0x00, 0x06, 0x00, 0x00, 0x08, 0x00,        // items at 300, 450
                            0x00, 0x10, 0x02, 0x00, 0x10, 0x40, 0x00, 0x11, 0x03})
        disc.push_back(x);
    Bytes padded = disc;
    padded.resize(2048, 0);  // padding is not read as points
    ScanDataRecord record;
    std::string error;
    ASSERT_TRUE(DecodeScanData(padded, ScanDataForm::Disc, record, error)) << error;
    EXPECT_EQ(record.trackCount, 1);
    EXPECT_EQ(record.segmentScanIndexes, (std::vector<uint16_t>{0, 3}));
    EXPECT_EQ(*record.endScanIndex, 6);
    EXPECT_EQ(record.segmentSectors, (std::vector<int64_t>{300, 450}));
    EXPECT_EQ(record.scanPoints, (std::vector<int64_t>{602, 640, 678}));  // 00:10:02 = 752 - 150

    for (size_t cut : {size_t(10), size_t(18), size_t(22), size_t(29)})
        EXPECT_FALSE(DecodeScanData(std::span(disc.data(), cut), ScanDataForm::Disc, record, error)) << cut;
    Bytes wrongId = disc;
    wrongId[0] = 'X';
    EXPECT_FALSE(DecodeScanData(wrongId, ScanDataForm::Disc, record, error));
    Bytes hugeCount = disc;
    hugeCount[12] = 0xFF;  // 65281 tracks in a file of 40 bytes
    EXPECT_FALSE(DecodeScanData(hugeCount, ScanDataForm::Disc, record, error));
    EXPECT_NE(error.find("65281"), std::string::npos) << error;
}

}  // namespace
}  // namespace qorvcd
