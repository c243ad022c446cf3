#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "infofiles/scan_data.h"
#include "platform/bytes.h"
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

TEST(ScanData, HeaderAtCreation) {
    ContextFixture f(DiscKind::Cvd);
    ScanDataState state;
    ASSERT_TRUE(CreateScanData(state, f.ctx));
    EXPECT_TRUE(state.IsOpen());
    EXPECT_EQ(state.scanDataFile.Path(), f.dir / kScanDataWorkFile);
    EXPECT_EQ(WorkFileBytes(state), (Bytes{'S', 'C', 'A', 'N', '_', 'V', 'C', 'D', 1, 0, 0, 0, 0, 0, 0, 0}));
    DiscardScanData(state);
    EXPECT_FALSE(state.IsOpen());
    EXPECT_FALSE(test::FileExists(f.dir / kScanDataWorkFile));
    DiscardScanData(state);  // twice is harmless
}

TEST(ScanData, TrackTimesAndCountsLeastSignificantFirst) {
    ContextFixture f(DiscKind::SuperVcd);
    ScanDataState state;
    ASSERT_TRUE(CreateScanData(state, f.ctx));
    const uint32_t durations[] = {6150, 3000};
    std::string error;
    ASSERT_TRUE(WriteScanTrackTimes(state, durations, error)) << error;
    // P = 20 + 2 x 91.5 = 203 (CB 00), two tracks (02 00), then the cumulative times.
    EXPECT_EQ(WorkFileBytes(state), (Bytes{'S', 'C', 'A', 'N', '_', 'V', 'C', 'D', 1, 0, 0xCB, 0x00,
                                           0x02, 0x00, 0x00, 0x00, 0x01, 0x01, 0x37, 0x01, 0x31, 0x37}));
    EXPECT_EQ(state.scanDataFile.Position(), 22u);  // left at the end for what follows
}

TEST(ScanData, ScanIndexPerSegmentItem) {
    ContextFixture f(DiscKind::Cvd);
    ScanDataState state;
    ASSERT_TRUE(CreateScanData(state, f.ctx));
    std::string error;
    ASSERT_TRUE(WriteScanTrackTimes(state, {}, error));
    for (int i = 0; i < 3; ++i) AppendScanIndex(state);
    EXPECT_EQ(state.scanIndex, 9u);
    EXPECT_EQ(state.scanPointCount, 3u);
    const Bytes bytes = WorkFileBytes(state);
    EXPECT_EQ(Slice(bytes, 10, 4), (Bytes{20, 0, 0, 0}));
    EXPECT_EQ(Slice(bytes, 16, 6), (Bytes{0x00, 0x00, 0x00, 0x03, 0x00, 0x06}));
}

TEST(ScanData, InfoAppendsOneIndexPerItemAfterItsFirstByte) {
    ContextFixture f(DiscKind::SuperVcd);
    ScanDataState state;
    ASSERT_TRUE(CreateScanData(state, f.ctx));
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 2, 1, 1));
    segments.Insert(MakeItem("SEG02", 1, 1, 1));
    segments.Insert(MakeItem("SEG03", 3, 1, 1));
    const std::string scriptPath = f.dir / "disc.scr";
    test::WriteText(scriptPath, "[VCD]\r\n");
    ScriptReader reader;
    ASSERT_TRUE(reader.OpenScript(scriptPath));
    InfoFilesInput input;
    input.segments = &segments;
    input.scanData = &state;
    EXPECT_EQ(WriteInfoAndEntries(reader, f.ctx, input), 0);
    EXPECT_EQ(state.scanPointCount, 3u);
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
    EXPECT_EQ(state.scanIndex, 0u);
}

// A SCANDATA file as the disc holds it: counts big-endian, offset 10 the
// entry count (two segment items plus three track points).
Bytes DiscScanData() {
    Bytes b = Text("SCAN_VCD");
    for (const uint8_t x : {1, 0, 0x00, 0x05, 0x00, 0x01, 0x00, 0x02}) b.push_back(x);
    for (const uint8_t x : {0x00, 0x10, 0x00}) b.push_back(x);                    // one track time
    for (const uint8_t x : {0x00, 0x00, 0x00, 0x03, 0x00, 0x06}) b.push_back(x);  // indexes, end index
    for (const uint8_t x : {0x00, 0x06, 0x00, 0x00, 0x08, 0x00}) b.push_back(x);  // items at 300, 450
    for (const uint8_t x : {0x00, 0x10, 0x02, 0x00, 0x10, 0x40, 0x00, 0x11, 0x03}) b.push_back(x);
    return b;
}

TEST(ScanData, DecodeTheDiscForm) {
    Bytes bytes = DiscScanData();
    bytes.resize(2048, 0);  // the disc pads the file to whole sectors
    ScanDataRecord record;
    std::string error;
    ASSERT_TRUE(DecodeScanData(bytes, ScanDataForm::Disc, record, error)) << error;
    EXPECT_EQ(record.pointCount, 5);
    EXPECT_EQ(record.trackCount, 1);
    EXPECT_EQ(record.segmentItemCount, 2);
    EXPECT_EQ(record.trackTimes, (std::vector<std::array<uint8_t, 3>>{{0x00, 0x10, 0x00}}));
    EXPECT_EQ(record.segmentScanIndexes, (std::vector<uint16_t>{0, 3}));
    ASSERT_TRUE(record.endScanIndex.has_value());
    EXPECT_EQ(*record.endScanIndex, 6);
    EXPECT_EQ(record.segmentSectors, (std::vector<int64_t>{300, 450}));
    // 00:10:02 = 752 - 150; the padding is not read as points.
    EXPECT_EQ(record.scanPoints, (std::vector<int64_t>{602, 640, 678}));
}

TEST(ScanData, DecodeTheWorkFileAndTruncatedFiles) {
    ContextFixture f(DiscKind::SuperVcd);
    ScanDataState state;
    ASSERT_TRUE(CreateScanData(state, f.ctx));
    const uint32_t durations[] = {6150, 3000};
    std::string error;
    ASSERT_TRUE(WriteScanTrackTimes(state, durations, error));
    const Bytes work = WorkFileBytes(state);
    ScanDataRecord record;
    ASSERT_TRUE(DecodeScanData(work, ScanDataForm::WorkFile, record, error)) << error;
    EXPECT_EQ(record.pointCount, 203);
    EXPECT_EQ(record.trackCount, 2);
    EXPECT_EQ(record.trackTimes[1], (std::array<uint8_t, 3>{0x01, 0x31, 0x37}));
    EXPECT_FALSE(record.endScanIndex.has_value());  // the layout has not run yet

    const Bytes disc = DiscScanData();
    for (size_t cut : {size_t(10), size_t(18), size_t(22), size_t(29)}) {
        EXPECT_FALSE(DecodeScanData(std::span(disc.data(), cut), ScanDataForm::Disc, record, error))
            << cut;
    }
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
