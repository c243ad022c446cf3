// The container as the writers drive it: golden bytes of an empty disc,
// run bookkeeping, sector lookup through the tail, and the final patches.
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

TEST(ContainerEmptyDisc, GoldenHeaderRecordsAndTail) {
    Harness h;
    h.image.CloseStoredRun();  // the system area
    h.image.CloseDataTrack(300);
    const std::vector<uint8_t> b = h.Finish();

    const uint64_t trackEnd = kFirstUnit + 16 * 2056;
    const size_t tailLength = 22 + 22 + 2 * 16;
    ASSERT_EQ(b.size(), trackEnd + tailLength);

    // Image header: fixed values, one track, a "disc" chunk of 78 bytes.
    EXPECT_EQ(Text(b, 0, 4), "RIFF");
    EXPECT_EQ(Le32(b, 4), 49u);
    EXPECT_EQ(Text(b, 8, 4), "imag");
    EXPECT_EQ(Le16(b, 20), 37);
    EXPECT_EQ(Le16(b, 22), 2);
    EXPECT_EQ(Text(b, 24, 32), "Placeholder for the image header");
    EXPECT_EQ(Text(b, 58, 4), "RIFF");
    EXPECT_EQ(Le32(b, 62), 78u);
    EXPECT_EQ(Text(b, 66, 4), "disc");
    const uint16_t fixed[] = {16, 1, 1, 0, 16, 0, 5, 0, 18, 1, 1, 1, 0, 3};
    for (size_t i = 0; i < std::size(fixed); ++i) EXPECT_EQ(Le16(b, 78 + 2 * i), fixed[i]) << i;

    // Track 1's record carries the final sector count.
    EXPECT_EQ(Le16(b, 112), 32);
    EXPECT_EQ(Le32(b, 116), 300u);
    EXPECT_EQ(Le16(b, 120), 1);
    EXPECT_EQ(Le16(b, 122), 4);
    EXPECT_EQ(Le16(b, 134), 2048);

    // Info record: size measured to the image end before the tail.
    EXPECT_EQ(Text(b, 144, 4), "RIFF");
    EXPECT_EQ(Le32(b, 148), uint32_t(trackEnd - 8 - 144));
    EXPECT_EQ(Text(b, 152, 4), "info");
    EXPECT_EQ(Le32(b, 156), 144u);

    // System area: sixteen all-zero units.
    for (size_t i = kFirstUnit; i < trackEnd; ++i) ASSERT_EQ(b[i], 0) << i;

    // Tail: header, one block with two runs.
    const size_t t = trackEnd;
    EXPECT_EQ(Text(b, t, 4), "RIFF");
    EXPECT_EQ(Le32(b, t + 4), tailLength);
    EXPECT_EQ(Text(b, t + 8, 4), "ofs ");
    EXPECT_EQ(Le32(b, t + 12), 22u);
    EXPECT_EQ(Le32(b, t + 16), 44u);
    EXPECT_EQ(Le16(b, t + 20), 1);
    EXPECT_EQ(Text(b, t + 22, 4), "RIFF");
    EXPECT_EQ(Le32(b, t + 26), uint32_t(trackEnd - 8 - 144));
    EXPECT_EQ(Text(b, t + 30, 4), "info");
    EXPECT_EQ(Le32(b, t + 34), 152u);
    EXPECT_EQ(Le32(b, t + 38), 0x10000000u);
    EXPECT_EQ(Le16(b, t + 42), 2);
    const size_t r = t + 44;
    EXPECT_EQ(Le32(b, r + 0), kFirstUnit);
    EXPECT_EQ(Le32(b, r + 4), trackEnd);
    EXPECT_EQ(Le32(b, r + 8), trackEnd);
    EXPECT_EQ(Le32(b, r + 12), 2u);
    EXPECT_EQ(Le32(b, r + 16), trackEnd);
    EXPECT_EQ(Le32(b, r + 20), trackEnd);
    EXPECT_EQ(Le32(b, r + 24), trackEnd + 284u * 2056);
    EXPECT_EQ(Le32(b, r + 28), 2u);
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
    EXPECT_EQ(runs[0].SectorCount(), 16u);
    EXPECT_EQ(runs[1].form, RunForm::Form2);
    EXPECT_EQ(runs[1].SectorCount(), 3u);
    EXPECT_EQ(runs[1].start, runs[0].end);
    EXPECT_EQ(runs[2].form, RunForm::Form1);
    EXPECT_EQ(runs[2].SectorCount(), 2u);
    EXPECT_EQ(runs[3].SectorCount(), 5u);
    EXPECT_FALSE(runs[3].StoresUnits());
    EXPECT_EQ(runs[4].SectorCount(), 10u);
    EXPECT_EQ(reader.Tracks()[0].record.sectorCount, 16u + 3 + 2 + 5 + 10);
    EXPECT_TRUE(reader.Warnings().empty());
}

TEST(ContainerVideoTrack, StoredRunThenTenReservedSectors) {
    Harness h(DiscKind::Svcd, 1);
    h.image.CloseDataTrack(300);
    h.image.AdvanceSectorCounter(kVideoTrackGap);
    h.image.OpenVideoTrack();
    const uint64_t s = h.image.ImagePosition();
    h.AppendMpeg(0x5A, 7);
    h.image.CloseVideoTrack(2, 7);
    h.image.AdvanceSectorCounter(kVideoTrackGap);
    h.Finish();

    ImageReader reader;
    ASSERT_TRUE(reader.Open(h.imagePath)) << reader.Error();
    ASSERT_EQ(reader.Tracks().size(), 2u);
    const ImageTrack& video = reader.Tracks()[1];
    ASSERT_EQ(video.runs.size(), 2u);
    EXPECT_EQ(video.runs[0].start, s);
    EXPECT_EQ(video.runs[0].end, s + 7 * 2332);
    EXPECT_EQ(video.runs[0].reservedEnd, s + 7 * 2332);
    EXPECT_EQ(video.runs[0].form, RunForm::Form2);
    EXPECT_EQ(video.runs[1].start, s + 7 * 2332);
    EXPECT_EQ(video.runs[1].end, s + 7 * 2332);
    EXPECT_EQ(video.runs[1].reservedEnd, s + 7 * 2332 + 10 * 2332);
    EXPECT_EQ(video.record.sectorCount, 7u);
    EXPECT_EQ(video.record.bytesPerSector, 2332);
    EXPECT_EQ(video.startSector, 300u + 152);
    EXPECT_EQ(reader.Header().trackCount, 2);
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

TEST(ContainerFinish, TailHeaderLengthZeroUntilFinished) {
    Harness h;
    h.image.CloseDataTrack(300);
    std::vector<uint8_t> tail = ReadBytes(h.dir / "qortail.tmp");  // may be unflushed: check after close
    h.image.CloseTail();
    tail = ReadBytes(h.dir / "qortail.tmp");
    ASSERT_GE(tail.size(), 22u);
    EXPECT_EQ(GetLe32(tail.data() + 4), 0u);
}

TEST(ContainerFreeSpace, NetworkPathWarnsAndShortDiskRefuses) {
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    {
        ImageContainer image;
        image.CreateImage("\\\\server\\share\\disc.img");  // cannot be created here; only the path counts
        EXPECT_TRUE(image.CheckFreeSpace(1000, ctx));
        EXPECT_EQ(log.Last(),
                  "Warning :: Creating disk image through netwrok, I may need 65000 bytes free space");
    }
    Harness h;
    EXPECT_TRUE(h.image.CheckFreeSpace(1000, ctx));
    EXPECT_FALSE(h.image.CheckFreeSpace(uint64_t(1) << 60, ctx));
    EXPECT_EQ(log.Last().rfind("Video track will need ", 0), 0u) << log.Last();
}

}  // namespace
}  // namespace qorvcd
