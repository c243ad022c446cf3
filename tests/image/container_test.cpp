// The container's records as golden bytes and their refusal of damaged
// bytes; then the container as the writers drive it: the CVD signature, the
// root directory patch, the free-space check.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <cstdint>
#include <optional>

#include "image/container.h"
#include "image/container_records.h"
#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::ReadBytes;
using test::TempDir;

// Encodes `record` to exactly `bytes`, and reads them back as the same record.
template <typename Record>
void ExpectRecordBytes(const Record& record, const std::vector<uint8_t>& bytes) {
    EXPECT_EQ(record.Encode(), bytes);
    std::string why;
    const std::optional<Record> back = Record::Decode(bytes, &why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(*back, record);
}

// Why the record is refused from `bytes` after `damage` (offset, new byte),
// cut to `length` bytes; "decoded" when it is not refused.
template <typename Record>
std::string Refusal(std::vector<uint8_t> bytes, std::vector<std::pair<size_t, uint8_t>> damage,
                    size_t length = SIZE_MAX) {
    for (const auto& [at, value] : damage) bytes[at] = value;
    bytes.resize(std::min(length, bytes.size()));
    std::string why;
    return Record::Decode(bytes, &why) ? "decoded" : why;
}

TEST(ContainerRecords, GoldenBytesRoundTrip) {
    ImageHeader header;
    header.trackCount = 3;  // "imag", the placeholder text, then "disc" for two video tracks
    ExpectRecordBytes(header, {
        0x52, 0x49, 0x46, 0x46, 0x31, 0x00, 0x00, 0x00, 0x69, 0x6D, 0x61, 0x67, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x25, 0x00, 0x02, 0x00, 0x50, 0x6C, 0x61, 0x63, 0x65, 0x68, 0x6F, 0x6C,
        0x64, 0x65, 0x72, 0x20, 0x66, 0x6F, 0x72, 0x20, 0x74, 0x68, 0x65, 0x20, 0x69, 0x6D, 0x61, 0x67,
        0x65, 0x20, 0x68, 0x65, 0x61, 0x64, 0x65, 0x72, 0x00, 0x00, 0x52, 0x49, 0x46, 0x46, 0x8E, 0x00,
        0x00, 0x00, 0x64, 0x69, 0x73, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
        0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x12, 0x00,
        0x03, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});

    ExpectRecordBytes(TrackRecord::ForDataTrack(333), {32, 0, 0, 0, 0x4D, 0x01, 0, 0, 1, 0, 4, 0, 0, 0, 0, 0,
                                                       0,  0, 0, 0, 0,    0,    0, 8, 0, 0, 0, 0, 0, 0, 0, 0});
    ExpectRecordBytes(TrackRecord::ForVideoTrack(0x00012345),
                      {32, 0, 0, 0, 0x45, 0x23, 0x01, 0, 1, 0, 3, 0, 0, 0, 0, 0,
                       0,  0, 0, 0, 0,    0,    0x1C, 9, 0, 0, 0, 0, 0, 0, 0, 0});

    ExpectRecordBytes(InfoRecord{0x01020304, 176},
                      {'R', 'I', 'F', 'F', 4, 3, 2, 1, 'i', 'n', 'f', 'o', 176, 0, 0, 0, 0, 0, 0, 0});
    const TailHeader tail{300, 76, 98, 2};
    const std::vector<uint8_t> tailBytes = {'R', 'I', 'F', 'F', 0x2C, 1, 0, 0, 'o', 'f', 's', ' ',
                                            76,  0,   0,   0,   98,   0, 0, 0, 2,   0};
    ExpectRecordBytes(tail, tailBytes);
    // A record is read from the front of longer bytes (the reader hands it the rest of the tail).
    std::vector<uint8_t> longer = tailBytes;
    longer.insert(longer.end(), 10, 0xEE);
    EXPECT_EQ(TailHeader::Decode(longer), tail);

    TrackBlockHeader block;
    block.infoChunkSize = 5000;
    block.infoBodyOffset = 184;
    block.runCount = 2;
    ExpectRecordBytes(block, {'R', 'I', 'F', 'F', 0x88, 0x13, 0, 0, 'i', 'n', 'f', 'o', 184, 0, 0, 0, 0, 0, 0,
                              0x10, 2, 0});
    EXPECT_EQ(block.FirstUnitOffset(), 196u);  // the record at 176 is 20 bytes long

    // 10 reserved Form 2 sectors after a 1000-unit track at 0x1000: 0x23A560 to 0x240078.
    const RunRecord run{0x23A560, 0x23A560, 0x240078, RunForm::Form2};
    ExpectRecordBytes(run, {0x60, 0xA5, 0x23, 0, 0x60, 0xA5, 0x23, 0, 0x78, 0x00, 0x24, 0, 3, 0, 0, 0});
    // Reserved stretches count in their form's unit; a stored Form 2 run whose
    // reserved end was counted in 2056-byte steps counts its stored units only.
    EXPECT_EQ(run.SectorCount(), 10u);
    EXPECT_EQ((RunRecord{500, 500, 500 + 140 * 2056, RunForm::Form1}).SectorCount(), 140u);
    EXPECT_EQ((RunRecord{500, 500 + 150 * 2332, 500 + 150 * 2056, RunForm::Form2}).SectorCount(), 150u);
    EXPECT_EQ((RunRecord{500, 500, 500, RunForm::Form2}).SectorCount(), 0u);
}

TEST(ContainerRecords, DecodeRefusesShortBytesWrongMagicAndImpossibleValuesWithAReason) {
    ImageHeader header;
    header.trackCount = 2;
    const std::vector<uint8_t> hb = header.Encode();
    EXPECT_EQ(Refusal<ImageHeader>(hb, {}), "decoded");
    EXPECT_EQ(Refusal<ImageHeader>(hb, {}, 111), "image header: 111 bytes, expected 112");
    EXPECT_EQ(Refusal<ImageHeader>(hb, {{66, 'D'}}), "image header: found \"Disc\" at offset 66, expected \"disc\"");
    EXPECT_EQ(Refusal<ImageHeader>(hb, {{82, 0}, {96, 0}}), "image header: track count 0, expected 1 to 99");
    EXPECT_EQ(Refusal<ImageHeader>(hb, {{96, 5}}), "image header: track counts 2 and 5 disagree");
    // no video track while the count says one
    EXPECT_EQ(Refusal<ImageHeader>(hb, {{62, 78}}), "image header: disc chunk size 78, expected 110 for 2 tracks");

    const std::vector<uint8_t> tb = TrackRecord::ForDataTrack(1).Encode();
    EXPECT_EQ(Refusal<TrackRecord>(tb, {{10, 9}}), "track record: track kind 9, expected 3 or 4");
    EXPECT_EQ(Refusal<TrackRecord>(tb, {{0, 31}}), "track record: size field 31, expected 32");
    EXPECT_EQ(Refusal<InfoRecord>(InfoRecord{}.Encode(), {{0, 'r'}}),
              "info record: found \"rIFF\" at offset 0, expected \"RIFF\"");
    EXPECT_EQ(Refusal<TailHeader>(TailHeader{}.Encode(), {{11, 'x'}}),
              "tail header: found \"ofsx\" at offset 8, expected \"ofs \"");
    EXPECT_EQ(Refusal<TrackBlockHeader>(TrackBlockHeader{}.Encode(), {{8, 0x01}}),
              "track block header: found \".nfo\" at offset 8, expected \"info\"");
    EXPECT_EQ(Refusal<TrackBlockHeader>(TrackBlockHeader{}.Encode(), {{20, 0xFF}, {21, 0xFF}}),
              "track block header: negative run count -1");

    const auto run = [](uint32_t s, uint32_t e, uint32_t r) { return RunRecord{s, e, r, RunForm::Form1}.Encode(); };
    EXPECT_EQ(Refusal<RunRecord>(run(0, 2056, 2056), {}), "decoded");
    EXPECT_EQ(Refusal<RunRecord>(run(0, 2056, 2056), {}, 15), "run record: 15 bytes, expected 16");
    EXPECT_EQ(Refusal<RunRecord>(run(0, 2056, 2056), {{12, 4}}), "run record: form 4, expected 2 or 3");
    EXPECT_EQ(Refusal<RunRecord>(run(4112, 2056, 2056), {}), "run record: end 2056 before start 4112");
    EXPECT_EQ(Refusal<RunRecord>(run(100, 100, 50), {}), "run record: reserved end 50 before start 100");
    EXPECT_EQ(Refusal<RunRecord>(run(0, 2000, 2000), {}), "run record: 2000 stored bytes are not whole units of 2056");
}

TEST(ContainerRecords, LargestFieldValuesDecodeWhole) {
    const auto back = [](auto record) {
        const std::optional<decltype(record)> decoded = decltype(record)::Decode(record.Encode());
        EXPECT_EQ(decoded, record);
        return decoded.value_or(decltype(record){});
    };
    constexpr uint32_t kMax = 0xFFFFFFFF;
    ImageHeader header;
    header.trackCount = ImageHeader::kMaxTrackCount;
    EXPECT_EQ(back(header).trackCount, 99);
    back(TrackRecord{kMax, 0xFFFF, ContainerTrackKind::Video, 0xFFFE});
    back(InfoRecord{kMax, kMax - 1});
    back(TailHeader{kMax, kMax - 1, kMax - 2, 0xFFFF});
    back(TrackBlockHeader{kMax, kMax - 1, kMax - 2, 32767});
    const uint32_t lastUnit = kMax - kMax % 2332;  // the highest end of whole Form 2 units
    EXPECT_EQ(back(RunRecord{0, lastUnit, kMax, RunForm::Form2}).SectorCount(), lastUnit / 2332);
}

constexpr uint64_t kFirstUnit = 112 + 32 + 20;  // header, one track record, info record

struct Harness {
    TempDir dir;
    ImageContainer image;
    std::string imagePath = dir / "disc.img";

    explicit Harness(DiscKind kind = DiscKind::Svcd) {
        EXPECT_TRUE(image.CreateImage(imagePath));
        EXPECT_TRUE(image.CreateTail(dir / "qortail.tmp"));
        image.SetDiscKind(kind);
        image.BeginTail();
        image.BeginImage();
        image.SetSectorCounter(kSystemAreaSectors);
    }
    std::vector<uint8_t> Finish() {
        image.FinishImage();
        EXPECT_TRUE(image.Ok() && image.Close()) << image.Error();
        return ReadBytes(imagePath);
    }
};

TEST(ContainerEmptyDisc, CvdSignatureUnitOnlyForCvd) {
    for (DiscKind kind : {DiscKind::Cvd, DiscKind::Vcd30}) {
        Harness h(kind);
        h.image.CloseDataTrack(300);
        const std::vector<uint8_t> b = h.Finish();
        std::vector<uint8_t> expected(2056, 0);  // sector 0: all zero unless CVD
        if (kind == DiscKind::Cvd) {
            const uint8_t signature[] = {0x01, 0x00, 0x88, 0x00, 0x01, 0x00, 0x88, 0x00, 'H', 'Q', 'V', 'C', 'D', 'F',
                                         'L', 'T', 0x01, 0, 0, 0, 0x04, 0x00, 0x65, 0x00, 0x04, 0x00, 0x66, 0x00,
                                         0x04, 0x01, 0x67, 0x00, 0x04, 0x02, 0x68, 0x00, 0x04, 0x22};
            std::copy(std::begin(signature), std::end(signature), expected.begin());
        }
        EXPECT_EQ(std::vector<uint8_t>(b.begin() + kFirstUnit, b.begin() + kFirstUnit + 2056), expected);
    }
}

TEST(ContainerFinish, RootDirectoryRecordsPatchedToOneSector) {
    Harness h;
    h.image.CloseStoredRun();
    h.image.ReserveSectors(4);
    std::array<uint8_t, kForm1DataSize> dir{};
    dir[0] = 48;              // "." record with a stale length
    PutBoth32(dir.data() + 10, 4096);
    dir[32] = 1;
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
        EXPECT_EQ(log.Last(), "Warning :: Creating disk image through netwrok, I may need 65000 bytes free space");
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
