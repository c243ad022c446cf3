// Raw sector assembly checked against a BIN made by an independent authoring
// tool, and the cue sheet convention.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imagetools/bincue.h"
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
    const bool form2 = raw[kRawSubheaderOffset + 2] & kSubmodeForm2;
    SectorContent c{SectorState::Stored, form2 ? RunForm::Form2 : RunForm::Form1, Subheader::ReadFrom(raw + kRawSubheaderOffset), {}};
    c.data.assign(raw + kRawDataOffset, raw + kRawDataOffset + (form2 ? kForm2DataSize : kForm1DataSize));
    return c;
}

TEST(BinCueRawSectors, RebuildEverySectorOfAnIndependentBinByteForByte) {
    if (!test::HaveProgram("ffmpeg") || !test::HaveProgram("vcdimager")) GTEST_SKIP() << "ffmpeg or vcdimager missing";
    const std::vector<uint8_t> bin = test::ReadBytes(IndependentVcdBin());
    ASSERT_GT(bin.size(), 300 * kRawSectorSize);

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
        if (std::memcmp(rebuilt.data(), raw, kRawSectorSize) != 0 && ++mismatches <= 3) ADD_FAILURE() << "sector " << i;
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_GT(form1, 100u);        // the ISO file system and control files
    EXPECT_GT(form2WithEdc, 50u);  // the MPEG track
}

TEST(BinCueSheet, TimesAndIndexesFollowTheTracks) {
    EXPECT_EQ(CueTime(4500 * 12 + 75 * 34 + 74), "12:34:74");
    const uint32_t layout[3][2] = {{0, 310}, {462, 1010}, {1624, 0}};  // start, sectors; gaps of 152
    std::vector<ImageTrack> tracks(3);
    for (unsigned i = 0; i < 3; ++i) {
        tracks[i].number = i + 1;
        tracks[i].startSector = layout[i][0];
        tracks[i].sectorCount = layout[i][1];
    }
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

}  // namespace
}  // namespace qorvcd
