// The segment item writer on items cut from a real packed stream.
#include <gtest/gtest.h>

#include <cstring>

#include "content/segment_items.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "image/segment_writer.h"
#include "infofiles/scan_data.h"
#include "iso9660/file_system_state.h"
#include "platform/bytes.h"
#include "tests/image/track_writer_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using namespace test;

// Track 1 up to the segment area (system area, then reserved up to 300),
// the items, and 10 reserved sectors.
struct SegmentDisc {
    TempDir dir;
    LogList log;
    BuildContext ctx;
    ImageContainer image;
    FileSystemState fs;
    ScanDataState scan;
    SegmentList segments;
    std::vector<uint8_t> units = PackedStream(dir.Path(), DiscKind::Svcd);
    uint32_t nextNumber = kFirstSegmentItemNumber;
    uint32_t endSector = 0;
    int result = 0;
    std::string imagePath = dir / "disc.img";

    explicit SegmentDisc(DiscKind kind = DiscKind::Svcd) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
    }

    std::string AddItem(size_t unitCount, SegmentOrigin origin = SegmentOrigin::AuthorFile) {
        SegmentItem item;
        item.number = nextNumber;
        item.id = Format("S%03zu", segments.Count());
        item.fileName = WriteUnits(dir / (item.id + ".mps"), units, 0, unitCount);
        item.origin = origin;
        item.segmentCount = SegmentCountOf(unitCount * kSectorModeUnitSize);
        nextNumber += item.segmentCount;
        fs.segmentSectors += item.segmentCount * 150;
        segments.Insert(item);
        return item.fileName;
    }

    void Write() {
        ASSERT_TRUE(image.CreateImage(imagePath));
        ASSERT_TRUE(image.CreateTail(dir / "tail.tmp"));
        image.BeginTail();
        image.BeginImage();
        image.SetSectorCounter(kSystemAreaSectors);
        image.ReserveSectors(300 - kSystemAreaSectors);
        image.SetSectorCounter(300);
        WriteSegmentItems(image, ctx, segments, fs, scan.IsOpen() ? &scan : nullptr, result);
        endSector = image.SectorCounter();
        image.CloseStoredRun();
        image.CloseDataTrack(endSector + 10);
        image.FinishImage();
        image.Close();
    }

    SectorContent Sector(uint32_t n) {
        ImageReader reader;
        EXPECT_TRUE(reader.Open(imagePath)) << reader.Error();
        SectorContent content;
        EXPECT_TRUE(reader.ReadSector(n, content)) << n;
        return content;
    }
    std::vector<RunRecord> Runs() {
        ImageReader reader;
        EXPECT_TRUE(reader.Open(imagePath)) << reader.Error();
        return reader.Tracks().empty() ? std::vector<RunRecord>{} : reader.Tracks()[0].runs;
    }
    bool SameAsFileUnit(const SectorContent& sector, size_t unit) const {
        return sector.state == SectorState::Stored &&
               std::memcmp(sector.data.data(), UnitAt(units, unit) + 8, kForm2DataSize) == 0;
    }
};

constexpr Subheader kEndUnit{0x01, 0x00, 0xE0, 0x00};

TEST(SegmentWriter, FewItemsReserveTheirFillerAndTheLastEndsWithAnEndUnit) {
    SegmentDisc disc;
    disc.AddItem(10);
    const std::string second = disc.AddItem(200);
    disc.Write();
    ASSERT_EQ(disc.result, 0) << disc.log.Last();
    EXPECT_EQ(disc.log.Lines().at(1), "Adding ITEM0002.MPG from " + second);
    EXPECT_EQ(disc.endSector, 651u);
    EXPECT_TRUE(disc.SameAsFileUnit(disc.Sector(309), 9));
    EXPECT_EQ(disc.Sector(310).state, SectorState::Reserved);
    EXPECT_TRUE(disc.SameAsFileUnit(disc.Sector(450), 0));
    EXPECT_TRUE(disc.SameAsFileUnit(disc.Sector(649), 199));
    EXPECT_EQ(disc.Sector(650).subheader, kEndUnit);

    const std::vector<RunRecord> runs = disc.Runs();
    ASSERT_GE(runs.size(), 5u);  // system area, reserve to 300, item, filler, last item
    EXPECT_EQ(runs[2].end - runs[2].start, 10u * 2332);
    EXPECT_EQ(runs[3].end, runs[3].start);
    EXPECT_EQ(runs[3].reservedEnd - runs[3].start, 140u * 2056);
    EXPECT_EQ(runs[4].end - runs[4].start, 201u * 2332);
    EXPECT_EQ(disc.segments.Count(), 0u);
}

TEST(SegmentWriter, ShortLastItemIsFilledToOneSegment) {
    SegmentDisc disc;
    disc.AddItem(100);
    disc.Write();
    ASSERT_EQ(disc.result, 0);
    EXPECT_EQ(disc.endSector, 450u);
    const SectorContent empty = disc.Sector(448);
    EXPECT_EQ(empty.subheader, kEmptyForm2Subheader);
    EXPECT_EQ(std::count(empty.data.begin(), empty.data.end(), 0), long(kForm2DataSize));
    EXPECT_EQ(disc.Sector(449).subheader, kEndUnit);
}

TEST(SegmentWriter, FiftyItemsStoreTheirFillerAsOneRunEach) {
    SegmentDisc disc;
    for (int i = 0; i < 50; ++i) disc.AddItem(2);
    disc.Write();
    ASSERT_EQ(disc.result, 0);
    EXPECT_EQ(disc.endSector, 300u + 50 * 150);
    const std::vector<RunRecord> runs = disc.Runs();
    ASSERT_GE(runs.size(), 52u);
    for (size_t i = 2; i < 52; ++i) {
        EXPECT_EQ(runs[i].end - runs[i].start, 150u * 2332) << i;
        EXPECT_EQ(runs[i].reservedEnd, runs[i].end) << i;
    }
    EXPECT_TRUE(disc.SameAsFileUnit(disc.Sector(300 + 49 * 150 + 1), 1));
    EXPECT_EQ(disc.Sector(300 + 3 * 150 + 2).subheader, kEmptyForm2Subheader);
    EXPECT_EQ(disc.Sector(300 + 50 * 150 - 1).subheader, kEndUnit);
}

TEST(SegmentWriter, FeedsScanDataAndReservesTheTracksEntries) {
    SegmentDisc disc(DiscKind::Cvd);
    ASSERT_TRUE(CreateScanData(disc.scan, disc.ctx));
    std::string error;
    const uint32_t durations[] = {1000};  // 10 s: 40 scan points
    ASSERT_TRUE(WriteScanTrackTimes(disc.scan, durations, error)) << error;
    for (int i = 0; i < 3; ++i) {
        disc.AddItem(2);
        AppendScanIndex(disc.scan);
    }
    disc.Write();
    ASSERT_EQ(disc.result, 0);
    disc.scan.scanDataFile.Close();
    const std::vector<uint8_t> work = ReadBytes(disc.dir / "scandata.dat");
    const size_t slot = 16 + 3 + 3 * 2 + 2 + 3 * 3;
    ASSERT_EQ(work.size(), slot + 40 * 3);
    EXPECT_EQ(disc.scan.scanDataTrackSlot, slot);
    EXPECT_EQ(GetLe16(&work[14]), 3);
    EXPECT_EQ(GetBe16(&work[slot - 11]), 9);  // the scan index after the items
    for (int i = 0; i < 3; ++i) EXPECT_EQ(MsfBcdToSector(&work[slot - 9 + 3 * i]), 300 + 150 * i);
    EXPECT_EQ(std::count(work.begin() + long(slot), work.end(), 0), 120);
}

TEST(SegmentWriter, MissingItemFailsAndConvertedItemsAreDeleted) {
    SegmentDisc disc;
    const std::string converted = disc.AddItem(2, SegmentOrigin::Converted);
    disc.Write();
    EXPECT_EQ(disc.result, 0);
    EXPECT_FALSE(FileExists(converted));

    SegmentDisc broken;
    File::Remove(broken.AddItem(2));
    broken.Write();
    EXPECT_EQ(broken.result, kSegmentWriteFailed);
    EXPECT_NE(broken.log.Last().find("Can't open"), std::string::npos);
}

}  // namespace
}  // namespace qorvcd
