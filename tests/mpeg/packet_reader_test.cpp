#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "image/sector_unit.h"
#include "mpeg/packet_reader.h"
#include "platform/file.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::StreamBuilder;

struct Packed {
    bool ok = false;
    std::string error;
    std::vector<std::string> shown;
    std::vector<uint8_t> bytes;
    bool outputExists = false;
};

Packed PackBytes(const std::vector<uint8_t>& stream, DiscKind kind) {
    test::TempDir dir;
    test::WriteBytes(dir / "in.mpg", stream);
    Packed r;
    r.ok = PackProgramStream(dir / "in.mpg", dir / "out.mps", kind,
                             [&](const std::string& t) { r.shown.push_back(t); }, &r.error);
    r.outputExists = test::FileExists(dir / "out.mps");
    if (r.outputExists) r.bytes = test::ReadBytes(dir / "out.mps");
    return r;
}

size_t UnitCount(const std::vector<uint8_t>& file) { return file.size() / kSectorModeUnitSize; }
const uint8_t* UnitAt(const std::vector<uint8_t>& file, size_t i) {
    return file.data() + i * kSectorModeUnitSize;
}
Subheader SubheaderOf(const std::vector<uint8_t>& file, size_t i) {
    return Subheader::ReadFrom(UnitAt(file, i));
}
bool HalvesEqual(const uint8_t* unit) { return std::equal(unit, unit + 4, unit + 4); }

// The id of the packet a pack carries: the first one, or the one after a
// system header. Read from the pack itself so the test does not trust the
// reader's own measurement.
uint8_t CarriedStream(const uint8_t* pack) {
    size_t at = (pack[4] & 0x40) ? 14 + (pack[13] & 7) : 12;
    if (pack[at + 3] == 0xBB) at += 6 + ((pack[at + 4] << 8) | pack[at + 5]);
    return pack[at + 3];
}

Subheader WithoutEndOfRecord(Subheader s) {
    s.submode &= uint8_t(~kSubmodeEndOfRecord);
    return s;
}

// ---------------------------------------------------------------------------
// Real ffmpeg streams: one unit per 2324-byte pack, the packs kept byte for byte.

struct RealCase {
    const char* name;
    std::string (*stream)();
    DiscKind kind;
};

void PrintTo(const RealCase& c, std::ostream* os) { *os << c.name; }

class RealStreamTest : public ::testing::TestWithParam<RealCase> {};

TEST_P(RealStreamTest, EveryPackBecomesOneUnitWithTheStreamIntact) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    const std::vector<uint8_t> input = test::ReadBytes(GetParam().stream());
    ASSERT_EQ(input.size() % kMaxPackSize, 0u) << "ffmpeg's VCD/SVCD packs are 2324 bytes";
    const Packed r = PackBytes(input, GetParam().kind);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.shown.empty()) << r.shown.front();
    ASSERT_EQ(r.bytes.size() % kSectorModeUnitSize, 0u);
    EXPECT_EQ(UnitCount(r.bytes), input.size() / kMaxPackSize);
    EXPECT_TRUE(test::PackAreasOf(r.bytes) == input) << "pack areas differ from the input stream";
    for (size_t i = 0; i < UnitCount(r.bytes); ++i) {
        const uint8_t* unit = UnitAt(r.bytes, i);
        ASSERT_TRUE(HalvesEqual(unit)) << "unit " << i;
        if (SubheaderOf(r.bytes, i) == kEmptyForm2Subheader) continue;
        EXPECT_TRUE(std::all_of(unit + kForm2UnitSize, unit + kSectorModeUnitSize,
                                [](uint8_t b) { return b == 0xFF; }))
            << "filler of unit " << i;
    }
}

TEST_P(RealStreamTest, SubheadersFollowTheCarriedStreamAndLastUnitsAreMarked) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    const Packed r = PackBytes(test::ReadBytes(GetParam().stream()), GetParam().kind);
    ASSERT_TRUE(r.ok) << r.error;
    long lastVideo = -1, lastAudio = -1;
    std::vector<size_t> marked;
    for (size_t i = 0; i < UnitCount(r.bytes); ++i) {
        const Subheader s = SubheaderOf(r.bytes, i);
        if (s.submode & kSubmodeEndOfRecord && s != kPaddingSubheader) marked.push_back(i);
        if (s == kEmptyForm2Subheader) continue;
        const uint8_t id = CarriedStream(UnitAt(r.bytes, i) + kSubheaderSize);
        if (id == 0xE0) {
            EXPECT_EQ(WithoutEndOfRecord(s), kVideoSubheader) << "unit " << i;
            lastVideo = long(i);
        } else if (id == 0xC0 || id == 0xC1) {
            EXPECT_EQ(WithoutEndOfRecord(s), kAudioSubheader) << "unit " << i;
            lastAudio = long(i);
        }
    }
    ASSERT_GE(lastVideo, 0);
    ASSERT_GE(lastAudio, 0);
    EXPECT_EQ(marked, (std::vector<size_t>{size_t(std::min(lastVideo, lastAudio)),
                                           size_t(std::max(lastVideo, lastAudio))}));
    EXPECT_EQ(SubheaderOf(r.bytes, size_t(lastVideo)).submode, 0x63);
    EXPECT_EQ(SubheaderOf(r.bytes, size_t(lastAudio)).submode, 0x65);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, RealStreamTest,
    ::testing::Values(RealCase{"PalVcd", test::PalVcdStream, DiscKind::Vcd30},
                      RealCase{"NtscVcd", test::NtscVcdStream, DiscKind::Vcd30},
                      RealCase{"ZeroSectorVcd", test::ZeroSectorVcdStream, DiscKind::Vcd30},
                      RealCase{"PalSvcd", test::PalSvcdStereoStream, DiscKind::Svcd},
                      RealCase{"PalSvcdTwoAudio", test::PalSvcdTwoAudioStream, DiscKind::Svcd},
                      RealCase{"NtscSuperVcd", test::NtscSvcdStream, DiscKind::SuperVcd}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PacketReaderZeroSectors, EachZeroSectorBecomesOneEmptyForm2Unit) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    const std::vector<uint8_t> input = test::ReadBytes(test::ZeroSectorVcdStream());
    std::vector<size_t> zeroSectors;
    for (size_t i = 0; i < input.size() / kMaxPackSize; ++i) {
        const auto* p = input.data() + i * kMaxPackSize;
        if (std::all_of(p, p + kMaxPackSize, [](uint8_t b) { return b == 0; })) zeroSectors.push_back(i);
    }
    ASSERT_FALSE(zeroSectors.empty()) << "the low audio rate should make ffmpeg write zero sectors";
    const Packed r = PackBytes(input, DiscKind::Vcd30);
    ASSERT_TRUE(r.ok) << r.error;
    std::vector<size_t> emptyUnits;
    for (size_t i = 0; i < UnitCount(r.bytes); ++i) {
        if (SubheaderOf(r.bytes, i) != kEmptyForm2Subheader) continue;
        emptyUnits.push_back(i);
        const uint8_t* unit = UnitAt(r.bytes, i);
        EXPECT_TRUE(std::all_of(unit + kSubheaderSize, unit + kSectorModeUnitSize,
                                [](uint8_t b) { return b == 0; }));
    }
    EXPECT_EQ(emptyUnits, zeroSectors);
}

// ---------------------------------------------------------------------------
// Hand-made streams: subheaders by id and kind, stuffing, the end code.

TEST(PacketReaderSubheaders, ChosenByStreamIdAndDiscKind) {
    const std::vector<uint8_t> stream = StreamBuilder()
                                            .Mpeg2PackHeader().Packet(0xBD, 200)
                                            .Mpeg2PackHeader().Packet(0xE1, 300)
                                            .Mpeg2PackHeader().Packet(0xE2, 300)
                                            .Mpeg2PackHeader().Packet(0xBE, 100)
                                            .Mpeg2PackHeader().Packet(0xC1, 400)
                                            .Data();
    struct Expect {
        DiscKind kind;
        Subheader private1, second, third;
    };
    for (const Expect& e : {Expect{DiscKind::Svcd, kSvcdPrivate1Subheader, kVideoSubheader, kVideoSubheader},
                            Expect{DiscKind::SuperVcd, kPrivate1Subheader, kVideoSubheader, kVideoSubheader},
                            Expect{DiscKind::Cvd, kPrivate1Subheader, kCvdSecondVideoSubheader, kVideoSubheader}}) {
        const Packed r = PackBytes(stream, e.kind);
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(UnitCount(r.bytes), 5u);
        EXPECT_EQ(SubheaderOf(r.bytes, 0), e.private1) << int(e.kind);
        // 0xE1 is the last video-id unit written before 0xE2, so only 0xE2 is marked.
        EXPECT_EQ(SubheaderOf(r.bytes, 1), e.second) << int(e.kind);
        EXPECT_EQ(WithoutEndOfRecord(SubheaderOf(r.bytes, 2)), e.third);
        EXPECT_EQ(SubheaderOf(r.bytes, 2).submode & kSubmodeEndOfRecord, kSubmodeEndOfRecord);
        EXPECT_EQ(SubheaderOf(r.bytes, 3), kPaddingSubheader);
        EXPECT_EQ(SubheaderOf(r.bytes, 4).submode, 0x65);
    }
}

TEST(PacketReaderSubheaders, SystemHeaderPackTakesTheStreamItCarriesElseTheFirstListed) {
    const std::vector<uint8_t> stream =
        StreamBuilder()
            .Mpeg2PackHeader().SystemHeader({0xE0, 0xC0, 0xC1}).Packet(0xBE, 500)  // announcement only
            .Mpeg2PackHeader().SystemHeader({0xE0, 0xC0, 0xC1}).Packet(0xC1, 700)  // carries audio
            .Mpeg2PackHeader().Packet(0xE0, 600)
            .Data();
    const Packed r = PackBytes(stream, DiscKind::Svcd);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(UnitCount(r.bytes), 3u);
    EXPECT_EQ(SubheaderOf(r.bytes, 0), kVideoSubheader);
    // The audio-carrying pack is the last audio unit, so it is marked.
    EXPECT_EQ(WithoutEndOfRecord(SubheaderOf(r.bytes, 1)), kAudioSubheader);
    EXPECT_EQ(SubheaderOf(r.bytes, 1).submode, 0x65);
    EXPECT_EQ(SubheaderOf(r.bytes, 2).submode, 0x63);
}

TEST(PacketReaderLayout, SeveralPacketsAndStuffingInOnePackStayInOneUnit) {
    const std::vector<uint8_t> stream = StreamBuilder()
                                            .Mpeg2PackHeader(0, 3).Packet(0xE0, 1000).Packet(0xBE, 900)
                                            .Mpeg1PackHeader().Packet(0xC0, 2312)  // exactly 2324
                                            .Data();
    const Packed r = PackBytes(stream, DiscKind::Svcd);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(UnitCount(r.bytes), 2u);
    EXPECT_EQ(SubheaderOf(r.bytes, 0).submode, 0x63);  // video, last video unit
    const uint8_t* first = UnitAt(r.bytes, 0);
    EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + 17 + 1900, first + kSubheaderSize));
    EXPECT_EQ(first[kSubheaderSize + 17 + 1900], 0xFF) << "filler follows a short pack";
    EXPECT_EQ(UnitAt(r.bytes, 1)[kForm2UnitSize - 1], 0x55) << "a full pack fills 2324 bytes";
}

TEST(PacketReaderLayout, VcdAudioPackClosingWithZerosRunsToTheNextPack) {
    const std::vector<uint8_t> stream = StreamBuilder()
                                            .Mpeg1PackHeader().Packet(0xC0, 2292).Zeros(20)
                                            .Mpeg1PackHeader().Packet(0xE0, 2000).PadPackTo(2324)
                                            .Data();
    const Packed r = PackBytes(stream, DiscKind::Vcd30);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(UnitCount(r.bytes), 2u);
    EXPECT_TRUE(test::PackAreasOf(r.bytes) == stream);
}

TEST(PacketReaderEndCode, EndUnitTakesThePreviousSubheaderAndIsMarked) {
    std::vector<uint8_t> stream = StreamBuilder()
                                      .Mpeg1PackHeader().Packet(0xC0, 400)
                                      .Mpeg1PackHeader().Packet(0xE0, 800)
                                      .EndCode()
                                      .Data();
    stream.push_back(0x42);  // anything after the end code is not part of the program
    const Packed r = PackBytes(stream, DiscKind::Vcd30);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(UnitCount(r.bytes), 3u);
    const uint8_t* end = UnitAt(r.bytes, 2);
    EXPECT_TRUE(std::equal(end + 8, end + 12, std::vector<uint8_t>{0, 0, 1, 0xB9}.begin()));
    EXPECT_TRUE(std::all_of(end + 12, end + kSectorModeUnitSize, [](uint8_t b) { return b == 0xFF; }));
    // The end unit stands for the last audio unit: the real audio unit stays unmarked.
    EXPECT_EQ(SubheaderOf(r.bytes, 0), kAudioSubheader);
    EXPECT_EQ(SubheaderOf(r.bytes, 1).submode, 0x63);
    EXPECT_EQ(SubheaderOf(r.bytes, 2).submode, 0x63);
    EXPECT_EQ(SubheaderOf(r.bytes, 2).coding, kVideoSubheader.coding);
}

TEST(PacketReaderEndCode, SingleUnitAtOffsetZeroIsStillMarked) {
    const Packed r = PackBytes(StreamBuilder().Mpeg1PackHeader().Packet(0xE0, 300).Data(), DiscKind::Vcd30);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(UnitCount(r.bytes), 1u);
    EXPECT_EQ(SubheaderOf(r.bytes, 0).submode, 0x63);
}

TEST(PacketReaderEndCode, EmptyInputGivesEmptyOutput) {
    const Packed r = PackBytes({}, DiscKind::Svcd);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.outputExists);
    EXPECT_TRUE(r.bytes.empty());
}

// ---------------------------------------------------------------------------
// Format errors: the message, and no output file.

struct ErrorCase {
    const char* name;
    std::vector<uint8_t> stream;
    const char* message;
};

class PacketReaderErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PacketReaderErrorTest, ShowsTheMessageAndLeavesNoFile) {
    const Packed r = PackBytes(GetParam().stream, DiscKind::Svcd);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.outputExists);
    ASSERT_EQ(r.shown.size(), 1u);
    EXPECT_EQ(r.shown[0], GetParam().message);
    EXPECT_EQ(r.error, GetParam().message);
}

std::vector<ErrorCase> ErrorCases() {
    const StreamBuilder good = StreamBuilder().Mpeg2PackHeader().Packet(0xE0, 1000);
    return {
        {"Garbage", StreamBuilder().Bytes({0x47, 0x40, 0x11, 0x10}).Zeros(300).Data(),
         "Error 500: MPEG-II ,PS format error!"},
        {"GarbageAfterGoodPack", StreamBuilder(good).PadPackTo(2324).Bytes({1, 2, 3, 4, 5, 6, 7}).Data(),
         "Error 500: MPEG-II ,PS format error!"},
        {"ShortZeroRun", StreamBuilder(good).PadPackTo(2324).Zeros(1000).Data(), "Error 500: MPEG-II ,PS format error!"},
        {"NoPacketStart", StreamBuilder().Mpeg2PackHeader().Bytes({0x12, 0x34, 0x56, 0x78, 0, 0}).Data(),
         "Error 200: MPEG-II ,PS format error!"},
        {"PackHeaderCut", StreamBuilder().Mpeg2PackHeader().Data(), "Error 200: MPEG-II ,PS format error!"},
        {"LowPacketId", StreamBuilder().Mpeg2PackHeader().Packet(0xB5, 100).Data(),
         "Error 300: Unkown format of MPEG Packet!"},
        {"UnknownSystemStream", StreamBuilder().Mpeg2PackHeader().SystemHeader({0xC5}).Packet(0xBE, 50).Data(),
         "Error 360: Unkown system head Packet!"},
        {"EmptySystemHeader", StreamBuilder().Mpeg2PackHeader().SystemHeader({}).Packet(0xBE, 50).Data(),
         "Error 360: Unkown system head Packet!"},
        {"UnknownStream", StreamBuilder(good).Mpeg2PackHeader().Packet(0xC5, 100).Data(),
         "Error 400: Unkown format of MPEG Packet!"},
        {"PacketPastPackArea", StreamBuilder().Mpeg2PackHeader().Packet(0xE0, 2400).Data(),
         "Error 600: PS Packet length > 2324!"},
        {"SecondPacketPastPackArea", StreamBuilder().Mpeg2PackHeader().Packet(0xE0, 2000).Packet(0xBE, 400).Data(),
         "Error 600: PS Packet length > 2324!"},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, PacketReaderErrorTest, ::testing::ValuesIn(ErrorCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PacketReaderFiles, MissingInputFailsWithoutCreatingTheOutput) {
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(PackProgramStream(dir / "absent.mpg", dir / "out.mps", DiscKind::Svcd, {}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(test::FileExists(dir / "out.mps"));
}

TEST(PacketReaderMeasure, NeverLooksPastTheWindow) {
    // A pack header whose packet claims more than the bytes given: measured
    // from what is there, never beyond.
    std::vector<uint8_t> w = StreamBuilder().Mpeg1PackHeader().Packet(0xE0, 100).Data();
    const PackLayout cut = MeasurePack(w.data(), 60);
    EXPECT_EQ(cut.error, PackError::None);
    EXPECT_EQ(cut.length, 60u);
    const PackLayout whole = MeasurePack(w.data(), w.size());
    EXPECT_EQ(whole.length, w.size());
    EXPECT_EQ(whole.contentId, 0xE0);
    EXPECT_EQ(MeasurePack(w.data(), 3).error, PackError::NoPackStart);
}

}  // namespace
}  // namespace qorvcd
