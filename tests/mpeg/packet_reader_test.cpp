#include <gtest/gtest.h>

#include <algorithm>

#include "image/sector_unit.h"
#include "mpeg/packet_reader.h"
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

size_t UnitCount(const Packed& r) { return r.bytes.size() / kSectorModeUnitSize; }
const uint8_t* UnitAt(const Packed& r, size_t i) { return r.bytes.data() + i * kSectorModeUnitSize; }
Subheader SubheaderOf(const Packed& r, size_t i) { return Subheader::ReadFrom(UnitAt(r, i)); }
Subheader Unmarked(Subheader s) {
    s.submode &= uint8_t(~kSubmodeEndOfRecord);
    return s;
}
bool All(const uint8_t* from, const uint8_t* to, uint8_t value) {
    return std::all_of(from, to, [=](uint8_t b) { return b == value; });
}

// The id of the packet a pack carries: the first one, or the one after a
// system header. Read from the pack itself, not from the reader.
uint8_t CarriedStream(const uint8_t* pack) {
    size_t at = (pack[4] & 0x40) ? 14 + (pack[13] & 7) : 12;
    if (pack[at + 3] == 0xBB) at += 6 + ((pack[at + 4] << 8) | pack[at + 5]);
    return pack[at + 3];
}

// Real ffmpeg streams: one unit per 2324-byte pack kept byte for byte, the
// subheader following the carried stream, the last video and audio units
// marked, and each all-zero sector an empty Form 2 unit.
TEST(PacketReaderRealStreams, PacksKeptSubheadersAndMarks) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    const std::pair<std::string, DiscKind> cases[] = {
        {test::PalVcdStream(), DiscKind::Vcd30},
        {test::ZeroSectorVcdStream(), DiscKind::Vcd30},
        {test::PalSvcdTwoAudioStream(), DiscKind::Svcd},
        {test::NtscSvcdStream(), DiscKind::SuperVcd}};
    for (const auto& [stream, kind] : cases) {
        SCOPED_TRACE(stream);
        const std::vector<uint8_t> input = test::ReadBytes(stream);
        ASSERT_EQ(input.size() % kMaxPackSize, 0u);
        const Packed r = PackBytes(input, kind);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_TRUE(r.shown.empty());
        ASSERT_EQ(UnitCount(r), input.size() / kMaxPackSize);
        EXPECT_TRUE(test::PackAreasOf(r.bytes) == input);
        long lastVideo = -1, lastAudio = -1;
        std::vector<size_t> marked;
        for (size_t i = 0; i < UnitCount(r); ++i) {
            const uint8_t* unit = UnitAt(r, i);
            const Subheader s = SubheaderOf(r, i);
            ASSERT_TRUE(std::equal(unit, unit + 4, unit + 4)) << "unit " << i;
            const uint8_t* pack = input.data() + i * kMaxPackSize;
            const bool zeroSector = All(pack, pack + kMaxPackSize, 0);
            EXPECT_EQ(s == kEmptyForm2Subheader, zeroSector) << "unit " << i;
            if (zeroSector) continue;
            EXPECT_TRUE(All(unit + kForm2UnitSize, unit + kSectorModeUnitSize, 0xFF)) << i;
            if ((s.submode & kSubmodeEndOfRecord) && s != kPaddingSubheader) marked.push_back(i);
            const uint8_t id = CarriedStream(unit + kSubheaderSize);
            if (id == 0xE0) {
                EXPECT_EQ(Unmarked(s), kVideoSubheader) << "unit " << i;
                lastVideo = long(i);
            } else if (id == 0xC0 || id == 0xC1) {
                EXPECT_EQ(Unmarked(s), kAudioSubheader) << "unit " << i;
                lastAudio = long(i);
            }
        }
        ASSERT_TRUE(lastVideo >= 0 && lastAudio >= 0);
        EXPECT_EQ(marked, (std::vector<size_t>{size_t(std::min(lastVideo, lastAudio)),
                                               size_t(std::max(lastVideo, lastAudio))}));
        EXPECT_EQ(SubheaderOf(r, size_t(lastVideo)).submode, 0x63);
        EXPECT_EQ(SubheaderOf(r, size_t(lastAudio)).submode, 0x65);
    }
}

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
        Subheader private1, second;
    };
    for (const Expect& e : {Expect{DiscKind::Svcd, kSvcdPrivate1Subheader, kVideoSubheader},
                            Expect{DiscKind::SuperVcd, kPrivate1Subheader, kVideoSubheader},
                            Expect{DiscKind::Cvd, kPrivate1Subheader, kCvdSecondVideoSubheader}}) {
        const Packed r = PackBytes(stream, e.kind);
        ASSERT_EQ(UnitCount(r), 5u) << r.error;
        EXPECT_EQ(SubheaderOf(r, 0), e.private1) << int(e.kind);
        EXPECT_EQ(SubheaderOf(r, 1), e.second) << int(e.kind);  // not the last video unit
        EXPECT_EQ(SubheaderOf(r, 2).submode, 0x63);
        EXPECT_EQ(SubheaderOf(r, 3), kPaddingSubheader);
        EXPECT_EQ(SubheaderOf(r, 4).submode, 0x65);
    }
    // A system-header pack takes the stream it carries, else the first listed.
    const Packed sys = PackBytes(StreamBuilder()
                                     .Mpeg2PackHeader().SystemHeader({0xE0, 0xC0, 0xC1}).Packet(0xBE, 500)
                                     .Mpeg2PackHeader().SystemHeader({0xE0, 0xC0, 0xC1}).Packet(0xC1, 700)
                                     .Mpeg2PackHeader().Packet(0xE0, 600)
                                     .Data(),
                                 DiscKind::Svcd);
    ASSERT_EQ(UnitCount(sys), 3u) << sys.error;
    EXPECT_EQ(SubheaderOf(sys, 0), kVideoSubheader);
    EXPECT_EQ(SubheaderOf(sys, 1).submode, 0x65);
    EXPECT_EQ(SubheaderOf(sys, 2).submode, 0x63);
}

TEST(PacketReaderLayout, PacketsStuffingAndTrailingZerosStayInTheirUnit) {
    const std::vector<uint8_t> stream = StreamBuilder()
                                            .Mpeg2PackHeader(0, 3).Packet(0xE0, 1000).Packet(0xBE, 900)
                                            .Mpeg1PackHeader().Packet(0xC0, 2312)  // exactly 2324
                                            .Data();
    const Packed r = PackBytes(stream, DiscKind::Svcd);
    ASSERT_EQ(UnitCount(r), 2u) << r.error;
    const uint8_t* first = UnitAt(r, 0);
    EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + 17 + 1900, first + kSubheaderSize));
    EXPECT_EQ(first[kSubheaderSize + 17 + 1900], 0xFF) << "filler follows a short pack";
    EXPECT_EQ(UnitAt(r, 1)[kForm2UnitSize - 1], 0x55) << "a full pack fills 2324 bytes";

    // A VCD audio pack closing with zeros runs up to the next pack.
    const std::vector<uint8_t> zeros = StreamBuilder()
                                           .Mpeg1PackHeader().Packet(0xC0, 2292).Zeros(20)
                                           .Mpeg1PackHeader().Packet(0xE0, 2000).PadPackTo(2324)
                                           .Data();
    const Packed z = PackBytes(zeros, DiscKind::Vcd30);
    ASSERT_EQ(UnitCount(z), 2u) << z.error;
    EXPECT_TRUE(test::PackAreasOf(z.bytes) == zeros);
}

TEST(PacketReaderEndCode, EndUnitStandsForTheLastUnitOfItsStream) {
    std::vector<uint8_t> stream = StreamBuilder()
                                      .Mpeg1PackHeader().Packet(0xC0, 400)
                                      .Mpeg1PackHeader().Packet(0xE0, 800)
                                      .EndCode()
                                      .Data();
    stream.push_back(0x42);  // after the end code: not part of the program
    const Packed r = PackBytes(stream, DiscKind::Vcd30);
    ASSERT_EQ(UnitCount(r), 3u) << r.error;
    const uint8_t* end = UnitAt(r, 2);
    EXPECT_TRUE(std::equal(end + 8, end + 12, std::vector<uint8_t>{0, 0, 1, 0xB9}.begin()));
    EXPECT_TRUE(All(end + 12, end + kSectorModeUnitSize, 0xFF));
    EXPECT_EQ(SubheaderOf(r, 0), kAudioSubheader);
    EXPECT_EQ(SubheaderOf(r, 1).submode, 0x63);
    EXPECT_EQ(SubheaderOf(r, 2).submode, 0x63);

    // A single unit at offset zero is still marked; empty input packs to nothing.
    const Packed one = PackBytes(StreamBuilder().Mpeg1PackHeader().Packet(0xE0, 300).Data(), DiscKind::Vcd30);
    ASSERT_EQ(UnitCount(one), 1u);
    EXPECT_EQ(SubheaderOf(one, 0).submode, 0x63);
    const Packed empty = PackBytes({}, DiscKind::Svcd);
    EXPECT_TRUE(empty.ok && empty.outputExists && empty.bytes.empty()) << empty.error;
}

TEST(PacketReaderErrors, ShowTheMessageAndLeaveNoFile) {
    const StreamBuilder good = StreamBuilder().Mpeg2PackHeader().Packet(0xE0, 1000);
    const char* const k500 = "Error 500: MPEG-II ,PS format error!";
    const char* const k200 = "Error 200: MPEG-II ,PS format error!";
    const char* const k600 = "Error 600: PS Packet length > 2324!";
    const std::pair<std::vector<uint8_t>, const char*> cases[] = {
        {StreamBuilder().Bytes({0x47, 0x40, 0x11, 0x10}).Zeros(300).Data(), k500},
        {StreamBuilder(good).PadPackTo(2324).Bytes({1, 2, 3, 4, 5, 6, 7}).Data(), k500},
        {StreamBuilder(good).PadPackTo(2324).Zeros(1000).Data(), k500},
        {StreamBuilder().Mpeg2PackHeader().Bytes({0x12, 0x34, 0x56, 0x78, 0, 0}).Data(), k200},
        {StreamBuilder().Mpeg2PackHeader().Data(), k200},
        {StreamBuilder().Mpeg2PackHeader().Packet(0xB5, 100).Data(), "Error 300: Unkown format of MPEG Packet!"},
        {StreamBuilder().Mpeg2PackHeader().SystemHeader({0xC5}).Packet(0xBE, 50).Data(),
         "Error 360: Unkown system head Packet!"},
        {StreamBuilder(good).Mpeg2PackHeader().Packet(0xC5, 100).Data(), "Error 400: Unkown format of MPEG Packet!"},
        {StreamBuilder().Mpeg2PackHeader().Packet(0xE0, 2400).Data(), k600},
        {StreamBuilder().Mpeg2PackHeader().Packet(0xE0, 2000).Packet(0xBE, 400).Data(), k600},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Packed r = PackBytes(cases[i].first, DiscKind::Svcd);
        EXPECT_FALSE(r.ok) << i;
        EXPECT_FALSE(r.outputExists) << i;
        EXPECT_EQ(r.shown, std::vector<std::string>{cases[i].second}) << i;
        EXPECT_EQ(r.error, cases[i].second) << i;
    }
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(PackProgramStream(dir / "absent.mpg", dir / "out.mps", DiscKind::Svcd, {}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(test::FileExists(dir / "out.mps"));
}

TEST(PacketReaderMeasure, NeverLooksPastTheWindow) {
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
