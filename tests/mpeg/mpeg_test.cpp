// The packet reader and the stream probe, on real ffmpeg streams and hand-made packs.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/sector_unit.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/packet_reader.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/scripted_progress.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::StreamBuilder;
using Subs = std::vector<Subheader>;

struct Packed {
    bool ok = false, outputExists = false;
    std::string error;
    std::vector<std::string> shown;
    std::vector<uint8_t> bytes;
    size_t Units() const { return bytes.size() / kSectorModeUnitSize; }
    const uint8_t* Unit(size_t i) const { return bytes.data() + i * kSectorModeUnitSize; }
    Subs All() const {
        Subs all;
        for (size_t i = 0; i < Units(); ++i) all.push_back(Subheader::ReadFrom(Unit(i)));
        return all;
    }
};

Subheader Marked(Subheader s) { return {s.file, s.channel, uint8_t(s.submode | kSubmodeEndOfRecord), s.coding}; }

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

bool Each(const uint8_t* from, const uint8_t* to, uint8_t v) { return std::all_of(from, to, [=](uint8_t b) { return b == v; }); }

// The stream id a pack carries, read from the pack itself (after any system header).
uint8_t CarriedStream(const uint8_t* pack) {
    size_t at = (pack[4] & 0x40) ? 14 + (pack[13] & 7) : 12;
    if (pack[at + 3] == 0xBB) at += 6 + ((pack[at + 4] << 8) | pack[at + 5]);
    return pack[at + 3];
}

struct Probed {
    MpegStreamInfo info;
    int32_t status = 1;
    std::vector<std::string> shown;
    AudioStreamInfo Audio(int i) const {
        AudioStreamInfo a;
        EXPECT_EQ(GetAudioStream(info, a, i), 0);
        return a;
    }
};

Probed ProbeFile(const std::string& path, Progress* progress = nullptr) {
    Probed p;
    ResetStreamInfo(p.info);
    p.info.duration = 777;  // only MPEG-2 playing time is measured
    p.status = ProbeMpegFile(p.info, path, progress, [&](const std::string& t) { p.shown.push_back(t); });
    return p;
}

// Each 2324-byte pack kept byte for byte in its own unit, the subheader following
// the carried stream, only the last video and audio units marked, all-zero
// sectors as empty Form 2 units; then what the probe reads from the packed file.
TEST(RealStreams, PackedUnitsAndProbedFacts) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    const std::tuple<std::string, DiscKind, VideoStandard, int, AudioClass, AudioClass> cases[] = {
        {test::PalVcdStream(), DiscKind::Vcd30, VideoStandard::Pal, 288, AudioClass::Stereo, AudioClass::None},
        {test::ZeroSectorVcdStream(), DiscKind::Vcd30, VideoStandard::Pal, 288, AudioClass::Stereo, AudioClass::None},
        {test::NtscSvcdStream(), DiscKind::SuperVcd, VideoStandard::Ntsc, 480, AudioClass::Stereo, AudioClass::None},
        {test::PalSvcdTwoAudioStream(), DiscKind::Svcd, VideoStandard::Pal, 576, AudioClass::SingleChannel,
         AudioClass::SingleChannel}};
    for (const auto& [stream, kind, standard, height, first, second] : cases) {
        SCOPED_TRACE(stream);
        test::TempDir dir;
        const std::vector<uint8_t> input = test::ReadBytes(stream);
        const std::string packed = test::PackInto(dir.Path(), stream, kind);
        Packed r;
        r.bytes = test::ReadBytes(packed);
        ASSERT_EQ(r.Units(), input.size() / kMaxPackSize);
        EXPECT_TRUE(test::PackAreasOf(r.bytes) == input);
        const Subs subs = r.All();
        size_t last[2] = {0, 0};  // video, audio
        std::vector<size_t> marked;
        for (size_t i = 0; i < r.Units(); ++i) {
            const uint8_t* unit = r.Unit(i);
            ASSERT_TRUE(std::equal(unit, unit + 4, unit + 4)) << i;
            const bool zero = Each(unit + kSubheaderSize, unit + kForm2UnitSize, 0);
            EXPECT_EQ(subs[i] == kEmptyForm2Subheader, zero) << i;
            if (zero) continue;
            EXPECT_TRUE(Each(unit + kForm2UnitSize, unit + kSectorModeUnitSize, 0xFF)) << i;
            if ((subs[i].submode & kSubmodeEndOfRecord) && subs[i] != kPaddingSubheader) marked.push_back(i);
            const uint8_t id = CarriedStream(unit + kSubheaderSize);
            if (id != 0xE0 && id != 0xC0 && id != 0xC1) continue;
            last[id == 0xE0 ? 0 : 1] = i;
            EXPECT_EQ(Marked(subs[i]), Marked(id == 0xE0 ? kVideoSubheader : kAudioSubheader)) << i;
        }
        EXPECT_EQ(marked, (std::vector<size_t>{std::min(last[0], last[1]), std::max(last[0], last[1])}));
        EXPECT_EQ(std::tuple(subs[last[0]], subs[last[1]]), std::tuple(Marked(kVideoSubheader), Marked(kAudioSubheader)));

        Probed p = ProbeFile(packed);
        ASSERT_TRUE(p.status == kOk && p.shown.empty()) << p.status;
        const bool mpeg2 = kind != DiscKind::Vcd30;
        EXPECT_EQ(std::tuple(p.info.isMpeg2, p.info.width, p.info.height, ClassifyVideoStandard(p.info)),
                  std::tuple(mpeg2 ? 1u : 0u, mpeg2 ? 480 : 352, height, int32_t(standard)));
        EXPECT_EQ(std::tuple(p.Audio(0).audioClass, p.Audio(1).audioClass, p.info.audio2Announced),
                  std::tuple(int32_t(first), int32_t(second), second == AudioClass::None ? 0u : 1u));
        // VCD: the audio is announced in a later pack than the video; no playing time is measured.
        if (!mpeg2) {
            EXPECT_EQ(std::tuple(p.info.audio1Announced, p.Audio(0).layer, p.Audio(0).bitRate, p.info.duration),
                      std::tuple(1u, 2, stream == test::PalVcdStream() ? 224 : 64, 777));
        } else {
            EXPECT_NEAR(PlayingTime(p.info), 300, 100);  // three seconds
        }
    }
}

TEST(PacketReader, SubheaderByStreamIdAndDiscKind) {
    const auto stream = StreamBuilder().Mpeg2PackHeader().Packet(0xBD, 200).Mpeg2PackHeader().Packet(0xE1, 300)
                            .Mpeg2PackHeader().Packet(0xE2, 300).Mpeg2PackHeader().Packet(0xBE, 100)
                            .Mpeg2PackHeader().Packet(0xC1, 400).Data();
    const std::tuple<DiscKind, Subheader, Subheader> cases[] = {
        {DiscKind::Svcd, kSvcdPrivate1Subheader, kVideoSubheader},
        {DiscKind::SuperVcd, kPrivate1Subheader, kVideoSubheader},
        {DiscKind::Cvd, kPrivate1Subheader, kCvdSecondVideoSubheader}};
    for (const auto& [kind, private1, second] : cases) {
        EXPECT_EQ(PackBytes(stream, kind).All(),
                  (Subs{private1, second, Marked(kVideoSubheader), kPaddingSubheader, Marked(kAudioSubheader)})) << int(kind);
    }
    // A pack with a system header takes the stream it carries, else the first listed.
    const Packed sys = PackBytes(StreamBuilder().Mpeg2PackHeader().SystemHeader({0xE0, 0xC0, 0xC1}).Packet(0xBE, 500)
                                     .Mpeg2PackHeader().SystemHeader({0xE0, 0xC0, 0xC1}).Packet(0xC1, 700)
                                     .Mpeg2PackHeader().Packet(0xE0, 600).Data(), DiscKind::Svcd);
    EXPECT_EQ(sys.All(), (Subs{kVideoSubheader, Marked(kAudioSubheader), Marked(kVideoSubheader)}));
}

TEST(PacketReader, UnitBoundariesTrailingZerosAndEndCode) {
    const auto stream = StreamBuilder().Mpeg2PackHeader(0, 3).Packet(0xE0, 1000).Packet(0xBE, 900)
                            .Mpeg1PackHeader().Packet(0xC0, 2312).Data();  // exactly 2324
    const Packed r = PackBytes(stream, DiscKind::Svcd);
    ASSERT_EQ(r.Units(), 2u) << r.error;
    EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + 1917, r.Unit(0) + kSubheaderSize));
    EXPECT_EQ(r.Unit(0)[kSubheaderSize + 1917], 0xFF) << "filler follows a short pack";
    EXPECT_EQ(r.Unit(1)[kForm2UnitSize - 1], 0x55) << "a full pack fills 2324 bytes";
    // A VCD audio pack closing with zeros runs up to the next pack.
    const auto zeros = StreamBuilder().Mpeg1PackHeader().Packet(0xC0, 2292).Zeros(20)
                           .Mpeg1PackHeader().Packet(0xE0, 2000).PadPackTo(2324).Data();
    EXPECT_TRUE(test::PackAreasOf(PackBytes(zeros, DiscKind::Vcd30).bytes) == zeros);
    // The end code gets a unit that stands for the last one of its stream; what follows is dropped.
    const Packed e = PackBytes(StreamBuilder().Mpeg1PackHeader().Packet(0xC0, 400).Mpeg1PackHeader()
                                   .Packet(0xE0, 800).EndCode().Bytes({0x42}).Data(), DiscKind::Vcd30);
    EXPECT_EQ(e.All(), (Subs{kAudioSubheader, Marked(kVideoSubheader), Marked(kVideoSubheader)}));
    ASSERT_EQ(e.Units(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(e.Unit(2) + 8, e.Unit(2) + 12), (std::vector<uint8_t>{0, 0, 1, 0xB9}));
    EXPECT_TRUE(Each(e.Unit(2) + 12, e.Unit(2) + kSectorModeUnitSize, 0xFF));
    const Packed none = PackBytes({}, DiscKind::Svcd);
    EXPECT_TRUE(none.ok && none.outputExists && none.bytes.empty()) << none.error;
    const auto w = StreamBuilder().Mpeg1PackHeader().Packet(0xE0, 100).Data();  // measured within the window only
    EXPECT_EQ(std::tuple(MeasurePack(w.data(), 60).length, MeasurePack(w.data(), w.size()).contentId,
                         MeasurePack(w.data(), 3).error), std::tuple(size_t(60), uint8_t(0xE0), PackError::NoPackStart));
}

TEST(PacketReader, ErrorsShowTheirMessageAndLeaveNoFile) {
    const StreamBuilder good = StreamBuilder().Mpeg2PackHeader().Packet(0xE0, 1000);
    const char *k500 = "Error 500: MPEG-II ,PS format error!", *k200 = "Error 200: MPEG-II ,PS format error!";
    const char* k600 = "Error 600: PS Packet length > 2324!";
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
    for (const auto& [stream, message] : cases) {
        const Packed r = PackBytes(stream, DiscKind::Svcd);
        EXPECT_EQ(std::tuple(r.ok, r.outputExists, r.error, r.shown),
                  std::tuple(false, false, std::string(message), std::vector<std::string>{message}));
    }
    // Through the command line: a failure exits 1, and the input is never the output.
    test::TempDir dir;
    const auto cli = [&](const std::string& args) {
        return test::RunCommand("cd '" + dir.Path() + "' && '" + test::CliPath() + "' " + args);
    };
    test::WriteBytes(dir / "bad.mpg", std::vector<uint8_t>(4000, 0x47));
    const test::CommandResult bad = cli("pack bad.mpg bad.mps");
    EXPECT_TRUE(bad.exitCode == 1 && bad.output.find(k500) != std::string::npos) << bad.output;
    EXPECT_FALSE(test::FileExists(dir / "bad.mps"));
    EXPECT_TRUE(cli("pack bad.mpg bad.mpg").exitCode != 0 && test::ReadBytes(dir / "bad.mpg").size() == 4000u);
    EXPECT_EQ(cli("probe bad.mpg").exitCode, 1);
}

// The playing time is read from the last units: short files, a broken unit there, Cancel.
TEST(MpegProbe, DurationSearch) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    test::TempDir dir;
    const std::string packedPath = test::PackInto(dir.Path(), test::PalSvcdStereoStream(), DiscKind::Svcd);
    std::vector<uint8_t> packed = test::ReadBytes(packedPath);
    test::WriteBytes(dir / "short.mps", std::vector<uint8_t>(packed.begin(), packed.begin() + 30 * kSectorModeUnitSize));
    Probed p = ProbeFile(dir / "short.mps");
    EXPECT_TRUE(p.status == kOk && p.info.duration > 0 && p.info.duration < 100) << p.info.duration;
    test::ScriptedProgress window(test::Always);
    EXPECT_EQ(ProbeFile(packedPath, &window).status, kProbeCancelled);
    EXPECT_EQ(window.messages.back(), "Searching " + packedPath + " for Audio, Video and OGT information\n");
    // Audio from the search start on, so the search steps back onto the broken unit before it.
    const size_t searchStart = packed.size() - 46 * kSectorModeUnitSize;
    for (size_t at = searchStart; at < packed.size(); at += kSectorModeUnitSize) packed[at + 3] = 0x7F;
    packed[searchStart - kSectorModeUnitSize + 8] = 0x47;
    test::WriteBytes(dir / "broken.mps", packed);
    p = ProbeFile(dir / "broken.mps");
    EXPECT_EQ(std::tuple(p.status, p.info.width), std::tuple(kProbeFormatError, 480));  // forward scan results kept
    EXPECT_EQ(p.shown, std::vector<std::string>{"File " + dir / "broken.mps" + " format error!"});
}

TEST(MpegProbe, UnusableFilesFrameRateCodesQueriesAndDescriptions) {
    test::TempDir dir;
    test::WriteBytes(dir / "empty.mps", {});
    // A plain program stream: its second pack is not where a unit's would be.
    test::WriteBytes(dir / "plain.mpg", StreamBuilder().Mpeg2PackHeader().SystemHeader({0xE0}).Packet(0xBE, 50)
                                            .PadPackTo(2324).Mpeg2PackHeader().Packet(0xE0, 2310).Data());
    const Probed plain = ProbeFile(dir / "plain.mpg");
    EXPECT_EQ(std::tuple(ProbeFile(dir / "absent.mps").status, ProbeFile(dir / "empty.mps").status, plain.status,
                         PlayingTime(plain.info)),
              std::tuple(kProbeCannotOpen, kProbeFormatError, kProbeFormatError, kProbeFormatError));
    const std::tuple<uint8_t, double, VideoStandard> cases[] = {
        {0, -1.0, VideoStandard::Unknown}, {1, 23.976, VideoStandard::Unknown}, {2, 24.0, VideoStandard::Pal},
        {3, 25.0, VideoStandard::Pal},     {4, 29.97, VideoStandard::Ntsc},     {5, 30.0, VideoStandard::Ntsc},
        {6, 50.0, VideoStandard::Unknown}, {8, 60.0, VideoStandard::Unknown},   {9, 0.0, VideoStandard::Unknown}};
    for (const auto& [code, rate, standard] : cases) {
        MpegStreamInfo info;
        info.status = kOk;
        info.sequenceHeader = {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, uint8_t(0x20 | code)};
        EXPECT_EQ(std::tuple(FrameRate(info), ClassifyVideoStandard(info)), std::tuple(rate, int32_t(standard))) << int(code);
    }
    MpegStreamInfo info;
    ResetStreamInfo(info);
    AudioStreamInfo out{7, 7, 7.f, 7};
    EXPECT_EQ(std::tuple(GetAudioStream(info, out, 1), PlayingTime(info)), std::tuple(kProbeNotProbed, kProbeNotProbed));
    info.status = kOk;
    EXPECT_EQ(std::tuple(GetAudioStream(info, out, 2), GetAudioStream(info, out, -1), out.layer), std::tuple(-1, -1, 7));
    EXPECT_EQ(DescribeTrack(DiscKind::Svcd, {int32_t(VideoStandard::Pal), 0x32, 12345}),
              "It is PAL, Audio#1 Stereo,Audio#2 Dual language, time(s) is 02:03.33");
    EXPECT_EQ(DescribeTrack(DiscKind::Cvd, {int32_t(VideoStandard::Unknown), 0x04, 366099}),
              "It is NTSC, Audio#1 Unknow!!,Audio#2 None, time(s) is 61:00.74");
    EXPECT_EQ(DescribeTrack(DiscKind::Vcd30, {int32_t(VideoStandard::Pal), 0x22, 12345}), "It is PAL, Audio Stereo");
}

}  // namespace
}  // namespace qorvcd
