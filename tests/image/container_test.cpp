// The container as the writers drive it: an empty disc, run bookkeeping,
// sector lookup through the tail, and the final patches.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "image/container.h"
#include "image/image_reader.h"
#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::ReadBytes;
using test::TempDir;

constexpr uint64_t kFirstUnit = 112 + 32 + 20;  // header, one track record, info record

struct Harness {
    TempDir dir;
    ImageContainer image;
    std::string imagePath = dir / "disc.img";

    explicit Harness(DiscKind kind = DiscKind::Svcd, uint16_t videoTracks = 0) {
        EXPECT_TRUE(image.CreateImage(imagePath));
        EXPECT_TRUE(image.CreateTail(dir / "qortail.tmp"));
        image.SetDiscKind(kind);
        image.SetVideoTrackCount(videoTracks);
        image.BeginTail();
        image.BeginImage();
        image.SetSectorCounter(kSystemAreaSectors);
    }
    void AppendData(uint8_t fill, uint32_t count = 1) {
        std::array<uint8_t, kForm1DataSize> data;
        data.fill(fill);
        for (uint32_t i = 0; i < count; ++i) {
            image.AppendForm1Unit(kDataSubheader, data.data());
            image.AdvanceSectorCounter();
        }
    }
    void AppendMpeg(uint8_t fill, uint32_t count = 1) {
        std::array<uint8_t, kSectorModeUnitSize> unit;
        unit.fill(fill);
        kVideoSubheader.WriteTo(unit.data());
        for (uint32_t i = 0; i < count; ++i) {
            image.AppendForm2Unit(unit.data());
            image.AdvanceSectorCounter();
        }
    }
    std::vector<uint8_t> Finish() {
        image.FinishImage();
        EXPECT_TRUE(image.Ok()) << image.Error();
        EXPECT_TRUE(image.Close());
        return ReadBytes(imagePath);
    }
};

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) { return GetLe32(b.data() + at); }
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return GetLe16(b.data() + at); }
std::string Text(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}

TEST(ContainerEmptyDisc, PatchedTrackRecordInfoSizeAndTailRuns) {
    Harness h;
    h.image.CloseStoredRun();  // the system area
    h.image.CloseDataTrack(300);
    const std::vector<uint8_t> b = h.Finish();
    const uint64_t trackEnd = kFirstUnit + 16 * 2056;
    const size_t tailLength = 22 + 22 + 2 * 16;
    ASSERT_EQ(b.size(), trackEnd + tailLength);
    EXPECT_EQ(Le32(b, 62), 78u);   // a "disc" chunk without video tracks
    EXPECT_EQ(Le32(b, 116), 300u);  // track 1's final sector count
    EXPECT_EQ(Le32(b, 148), uint32_t(trackEnd - 8 - 144));  // info size: to the image end before the tail
    for (size_t i = kFirstUnit; i < trackEnd; ++i) ASSERT_EQ(b[i], 0) << i;  // the system area

    const size_t t = trackEnd;
    EXPECT_EQ(Text(b, t + 8, 4), "ofs ");
    EXPECT_EQ(Le32(b, t + 4), tailLength);
    EXPECT_EQ(Le32(b, t + 12), 22u);
    EXPECT_EQ(Le32(b, t + 16), 44u);
    EXPECT_EQ(Le32(b, t + 26), uint32_t(trackEnd - 8 - 144));
    EXPECT_EQ(Le32(b, t + 34), 152u);
    EXPECT_EQ(Le16(b, t + 42), 2);
    const uint32_t runs[] = {uint32_t(kFirstUnit), uint32_t(trackEnd), uint32_t(trackEnd), 2,
                             uint32_t(trackEnd),   uint32_t(trackEnd), uint32_t(trackEnd + 284u * 2056), 2};
    for (size_t i = 0; i < std::size(runs); ++i) EXPECT_EQ(Le32(b, t + 44 + 4 * i), runs[i]) << i;
}

TEST(ContainerEmptyDisc, CvdSignatureUnitOnlyForCvd) {
    for (DiscKind kind : {DiscKind::Cvd, DiscKind::Vcd30}) {
        Harness h(kind);
        h.image.CloseDataTrack(300);
        const std::vector<uint8_t> b = h.Finish();
        const uint8_t* unit = b.data() + kFirstUnit;
        if (kind == DiscKind::Cvd) {
            const uint8_t sub[] = {0x01, 0x00, 0x88, 0x00, 0x01, 0x00, 0x88, 0x00};
            EXPECT_EQ(std::memcmp(unit, sub, 8), 0);
            EXPECT_EQ(Text(b, kFirstUnit + 8, 8), "HQVCDFLT");
            EXPECT_EQ(unit[8 + 8], 0x01);
            const uint8_t fixed[] = {0x04, 0x00, 0x65, 0x00, 0x04, 0x00, 0x66, 0x00, 0x04,
                                     0x01, 0x67, 0x00, 0x04, 0x02, 0x68, 0x00, 0x04, 0x22};
            EXPECT_EQ(std::memcmp(unit + 8 + 12, fixed, sizeof fixed), 0);
        } else {
            for (size_t i = 0; i < 2056; ++i) ASSERT_EQ(unit[i], 0) << i;
        }
    }
}

TEST(ContainerRuns, FormChangesSplitRunsAndReservedRunsCountSectors) {
    Harness h;
    h.image.CloseStoredRun();
    h.AppendMpeg(0x11, 3);   // Form 2 after Form 1: the system area run closes
    h.AppendData(0x22, 2);   // and back
    h.image.ReserveSectors(5);
    h.image.AdvanceSectorCounter(5);
    h.image.CloseDataTrack(h.image.SectorCounter() + 10);
    h.Finish();

    ImageReader reader;
    ASSERT_TRUE(reader.Open(h.imagePath)) << reader.Error();
    ASSERT_EQ(reader.Tracks().size(), 1u);
    const std::vector<RunRecord>& runs = reader.Tracks()[0].runs;
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs[0].form, RunForm::Form1);
    EXPECT_EQ(runs[1].form, RunForm::Form2);
    EXPECT_EQ(runs[1].start, runs[0].end);
    EXPECT_EQ(runs[2].form, RunForm::Form1);
    const uint32_t counts[] = {16, 3, 2, 5, 10};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(runs[i].SectorCount(), counts[i]) << i;
    EXPECT_FALSE(runs[3].StoresUnits());
    EXPECT_EQ(reader.Tracks()[0].record.sectorCount, 16u + 3 + 2 + 5 + 10);
    EXPECT_TRUE(reader.Warnings().empty());
}

TEST(ContainerLocateSector, StoredReservedGapAndMissing) {
    Harness h(DiscKind::Svcd, 1);
    h.image.CloseStoredRun();
    h.image.ReserveSectors(4);  // sectors 16..19
    h.AppendData(0x20, 1);      // sector 20
    h.image.SetSectorCounter(21);
    h.image.CloseDataTrack(300);
    h.image.OpenVideoTrack();
    h.AppendMpeg(0x77, 2);
    h.image.CloseVideoTrack(2, 2);

    std::array<uint8_t, kForm1UnitSize> unit;
    uint64_t offset = 0;
    unit.fill(0xEE);
    EXPECT_EQ(h.image.LocateSector(20, unit.data(), &offset), SectorLookup::Stored);
    EXPECT_EQ(offset, kFirstUnit + 32 + 16 * 2056);  // two track records
    EXPECT_EQ(unit[8], 0x20);

    unit.fill(0xEE);
    EXPECT_EQ(h.image.LocateSector(17, unit.data(), &offset), SectorLookup::Reserved);
    for (uint8_t byte : unit) ASSERT_EQ(byte, 0);  // left cleared
    EXPECT_EQ(h.image.LocateSector(299, unit.data(), &offset), SectorLookup::Reserved);
    EXPECT_EQ(h.image.LocateSector(300 + 151, unit.data(), &offset), SectorLookup::Reserved);  // gap
    EXPECT_EQ(h.image.LocateSector(300 + 152 + 1, unit.data(), &offset), SectorLookup::Stored);
    EXPECT_EQ(unit[8], 0x77);
    EXPECT_EQ(h.image.LocateSector(300 + 152 + 2 + 10, unit.data(), &offset), SectorLookup::Missing);
}

TEST(ContainerFinish, RootDirectoryRecordsPatchedToOneSector) {
    Harness h;
    h.image.CloseStoredRun();
    h.image.ReserveSectors(4);
    std::array<uint8_t, kForm1DataSize> dir{};
    dir[0] = 48;              // "." record with a stale length
    PutBoth32(dir.data() + 10, 4096);
    dir[32] = 1;
    dir[33] = 0x00;
    dir[48] = 48;             // ".." to be replaced by a copy of "."
    dir[48 + 33] = 0x01;
    dir[48 + 20] = 0x55;
    h.image.AppendForm1Unit(kLastDataSubheader, dir.data());
    h.image.SetSectorCounter(21);
    h.image.CloseDataTrack(300);
    const std::vector<uint8_t> b = h.Finish();
    const uint8_t* data = b.data() + kFirstUnit + 16 * 2056 + 8;
    EXPECT_EQ(GetLe32(data + 10), 2048u);
    EXPECT_EQ(GetBe32(data + 14), 2048u);
    EXPECT_EQ(std::memcmp(data + 48, data, 33), 0);  // ".." is now "."'s copy
    EXPECT_EQ(data[48 + 33], 0x01);
}

TEST(ContainerFreeSpace, NetworkPathWarnsAndShortDiskRefuses) {
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    {
        ImageContainer image;
        image.CreateImage("\\\\server\\share\\disc.img");  // only the path counts
        EXPECT_TRUE(image.CheckFreeSpace(1000, ctx));
        EXPECT_EQ(log.Last(),
                  "Warning :: Creating disk image through netwrok, I may need 65000 bytes free space");
        image.Close();
        File::Remove("\\\\server\\share\\disc.img");  // made in the current folder on POSIX
    }
    Harness h;
    EXPECT_TRUE(h.image.CheckFreeSpace(1000, ctx));
    EXPECT_FALSE(h.image.CheckFreeSpace(uint64_t(1) << 60, ctx));
    EXPECT_EQ(log.Last().rfind("Video track will need ", 0), 0u) << log.Last();
}

}  // namespace
}  // namespace qorvcd
