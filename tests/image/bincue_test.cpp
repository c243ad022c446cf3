// Raw sector assembly checked against a BIN made by an independent authoring
// tool, the cue sheet convention, and the export's file handling.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/bincue.h"
#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

// A two-second PAL Video CD stream authored into a BIN by Debian's vcdimager.
std::string IndependentVcdBin() {
    const std::string mpg = test::EnsureMedia(
        "reader_pal_vcd.mpg",
        "ffmpeg -y -loglevel error -f lavfi -i testsrc=size=352x288:rate=25 -f lavfi "
        "-i sine=frequency=440:sample_rate=44100 -t 2 -target pal-vcd -f vcd {out}");
    return test::EnsureMedia("reader_vcd2.bin",
                       "d=$(mktemp -d) && vcdimager -t vcd2 -c \"$d/t.cue\" -b {out} '" + mpg +
                           "' >/dev/null; s=$?; rm -rf \"$d\"; exit $s");
}

SectorContent ContentOf(const uint8_t* raw) {
    SectorContent content;
    content.state = SectorState::Stored;
    content.subheader = Subheader::ReadFrom(raw + kRawSubheaderOffset);
    const bool form2 = raw[kRawSubheaderOffset + 2] & kSubmodeForm2;
    content.form = form2 ? RunForm::Form2 : RunForm::Form1;
    const size_t size = form2 ? kForm2DataSize : kForm1DataSize;
    content.data.assign(raw + kRawDataOffset, raw + kRawDataOffset + size);
    return content;
}

TEST(BinCueRawSectors, RebuildEverySectorOfAnIndependentBinByteForByte) {
    if (!test::HaveProgram("ffmpeg") || !test::HaveProgram("vcdimager")) GTEST_SKIP() << "ffmpeg or vcdimager missing";
    const std::vector<uint8_t> bin = test::ReadBytes(IndependentVcdBin());
    ASSERT_GT(bin.size(), 300 * kRawSectorSize);
    ASSERT_EQ(bin.size() % kRawSectorSize, 0u);

    size_t form1 = 0, form2WithEdc = 0, mismatches = 0;
    RawSector rebuilt;
    for (size_t i = 0; i < bin.size() / kRawSectorSize; ++i) {
        const uint8_t* raw = bin.data() + i * kRawSectorSize;
        ASSERT_EQ(raw[kRawModeOffset], 2) << "sector " << i;
        const SectorContent content = ContentOf(raw);
        BuildRawSector(uint32_t(i), content, rebuilt.data());
        if (content.form == RunForm::Form1) {
            ++form1;
        } else if (GetLe32(raw + kRawForm2EdcOffset) == 0) {
            // The Form 2 EDC is optional on the disc; a zero one is not ours to match.
            std::memset(rebuilt.data() + kRawForm2EdcOffset, 0, 4);
        } else {
            ++form2WithEdc;
        }
        if (std::memcmp(rebuilt.data(), raw, kRawSectorSize) != 0 && ++mismatches <= 3) {
            size_t at = 0;
            while (rebuilt[at] == raw[at]) ++at;
            ADD_FAILURE() << "sector " << i << " differs first at byte " << at;
        }
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_GT(form1, 100u);        // the ISO file system and control files
    EXPECT_GT(form2WithEdc, 50u);  // the MPEG track
}

TEST(BinCueRawSectors, UnstoredSectorIsEmptyForm2WithAddress) {
    SectorContent gap;
    gap.state = SectorState::Gap;
    RawSector raw;
    BuildRawSector(300, gap, raw.data());  // disc address 00:06:00
    const uint8_t head[16] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0x00, 0x06, 0x00, 2};
    EXPECT_EQ(std::memcmp(raw.data(), head, 16), 0);
    const uint8_t subheader[8] = {0, 0, 0x20, 0, 0, 0, 0x20, 0};
    EXPECT_EQ(std::memcmp(raw.data() + 16, subheader, 8), 0);
    for (size_t i = kRawDataOffset; i < kRawForm2EdcOffset; ++i) ASSERT_EQ(raw[i], 0) << i;
    EXPECT_EQ(GetLe32(raw.data() + kRawForm2EdcOffset), ComputeEdc(raw.data() + 16, kForm2UnitSize));
    EXPECT_NE(GetLe32(raw.data() + kRawForm2EdcOffset), 0u);
}

TEST(BinCueSheet, TimesAndIndexesFollowTheTracks) {
    EXPECT_EQ(CueTime(74), "00:00:74");
    EXPECT_EQ(CueTime(4500 * 12 + 75 * 34 + 5), "12:34:05");

    std::vector<ImageTrack> tracks(3);
    tracks[0].number = 1;
    tracks[0].sectorCount = 310;
    tracks[1].number = 2;
    tracks[1].startSector = 462;  // 310 + 152
    tracks[1].sectorCount = 1010;
    tracks[2].number = 3;
    tracks[2].startSector = 1624;
    const std::string cue = MakeCueSheet("disc.bin", tracks);
    EXPECT_EQ(cue,
              "FILE \"disc.bin\" BINARY\r\n"
              "  TRACK 01 MODE2/2352\r\n"
              "    INDEX 01 00:00:00\r\n"
              "  TRACK 02 MODE2/2352\r\n"
              "    INDEX 00 00:04:12\r\n"
              "    INDEX 01 00:06:12\r\n"
              "  TRACK 03 MODE2/2352\r\n"
              "    INDEX 00 00:19:49\r\n"
              "    INDEX 01 00:21:49\r\n");
    EXPECT_EQ(BinPathForCue("/a/b.c/disc.cue"), "/a/b.c/disc.bin");
    EXPECT_EQ(BinPathForCue("/a/b.c/disc"), "/a/b.c/disc.bin");
}

TEST(BinCueExport, DamagedImageLeavesNoOutputFiles) {
    test::TempDir dir;
    test::WriteBytes(dir / "bad.img", std::vector<uint8_t>(5000, 0x11));
    std::string error;
    BinCueRequest request{dir / "bad.img", dir / "out.cue", dir / "out.iso"};
    EXPECT_FALSE(ExportBinCue(request, &error));
    EXPECT_NE(error.find("not a disc image"), std::string::npos) << error;
    for (const char* name : {"out.cue", "out.bin", "out.iso", "out.cue.part", "out.bin.part", "out.iso.part"})
        EXPECT_FALSE(test::FileExists(dir / name)) << name;
}

}  // namespace
}  // namespace qorvcd
