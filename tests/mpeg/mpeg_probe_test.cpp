#include <gtest/gtest.h>

#include "image/sector_unit.h"
#include "mpeg/mpeg_probe.h"
#include "session/progress_window.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::StreamBuilder;

struct Probed {
    MpegStreamInfo info;
    int32_t status = 1;
    std::vector<std::string> shown;
};

Probed ProbeFile(const std::string& path, ProgressWindow* progress = nullptr) {
    Probed p;
    ResetStreamInfo(p.info);
    p.info.duration = 777;  // only MPEG-2 playing time is measured
    p.status = ProbeMpegFile(p.info, path, progress, [&](const std::string& t) { p.shown.push_back(t); });
    return p;
}

TEST(ProbeRealStreams, StandardSizeAudioAndPlayingTime) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    struct Case {
        std::string stream;
        DiscKind kind;
        VideoStandard standard;
        int width, height, bitRate;
        AudioClass first, second;
    };
    const Case cases[] = {
        {test::PalVcdStream(), DiscKind::Vcd30, VideoStandard::Pal, 352, 288, 224, AudioClass::Stereo,
         AudioClass::None},
        {test::NtscVcdStream(), DiscKind::Vcd30, VideoStandard::Ntsc, 352, 240, 224, AudioClass::Stereo,
         AudioClass::None},
        {test::ZeroSectorVcdStream(), DiscKind::Vcd30, VideoStandard::Pal, 352, 288, 64, AudioClass::Stereo,
         AudioClass::None},
        {test::NtscSvcdStream(), DiscKind::SuperVcd, VideoStandard::Ntsc, 480, 480, -2, AudioClass::Stereo,
         AudioClass::None},
        {test::PalSvcdTwoAudioStream(), DiscKind::Svcd, VideoStandard::Pal, 480, 576, -2,
         AudioClass::SingleChannel, AudioClass::SingleChannel}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stream);
        test::TempDir dir;
        Probed p = ProbeFile(test::PackInto(dir.Path(), c.stream, c.kind));
        ASSERT_EQ(p.status, kProbeOk);
        EXPECT_TRUE(p.shown.empty());
        const bool mpeg2 = c.kind != DiscKind::Vcd30;
        EXPECT_EQ(p.info.isMpeg2, mpeg2 ? 1u : 0u);
        EXPECT_EQ(p.info.width, c.width);
        EXPECT_EQ(p.info.height, c.height);
        EXPECT_EQ(ClassifyVideoStandard(p.info), int32_t(c.standard));
        AudioStreamInfo a0, a1;
        ASSERT_EQ(GetAudioStream(p.info, a0, 0), 0);
        ASSERT_EQ(GetAudioStream(p.info, a1, 1), 0);
        EXPECT_EQ(a0.audioClass, int32_t(c.first));
        EXPECT_EQ(a1.audioClass, int32_t(c.second));
        EXPECT_EQ(p.info.audio2Announced, c.second == AudioClass::None ? 0u : 1u);
        if (mpeg2) {
            EXPECT_NEAR(PlayingTime(p.info), 300, 100);  // three seconds
        } else {
            // ffmpeg's VCD streams announce the audio in a later pack than the video.
            EXPECT_EQ(p.info.audio1Announced, 1u);
            EXPECT_EQ(a0.layer, 2);
            EXPECT_EQ(a0.bitRate, c.bitRate);
            EXPECT_FLOAT_EQ(a0.samplingRate, 44.1f);
            EXPECT_EQ(p.info.duration, 777);
        }
    }
}

class CancellingSink : public ProgressSink {
public:
    bool PumpPendingMessages() override { return true; }
    void SetMessage(const std::string& text) override { message = text; }
    std::string message;
};

// The playing time is read from the last units: short files, a broken unit
// there, and Cancel while searching.
TEST(ProbeRealStreams, DurationSearch) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    test::TempDir dir;
    const std::string packedPath = test::PackInto(dir.Path(), test::PalSvcdStereoStream(), DiscKind::Svcd);
    const std::vector<uint8_t> packed = test::ReadBytes(packedPath);
    ASSERT_GT(packed.size(), 60 * kSectorModeUnitSize);

    test::WriteBytes(dir / "short.mps",
                     std::vector<uint8_t>(packed.begin(), packed.begin() + 30 * kSectorModeUnitSize));
    Probed p = ProbeFile(dir / "short.mps");
    ASSERT_EQ(p.status, kProbeOk);
    EXPECT_GT(p.info.duration, 0);
    EXPECT_LT(p.info.duration, 100) << "30 units hold well under a second";

    std::vector<uint8_t> broken = packed;
    const size_t searchStart = broken.size() - 46 * kSectorModeUnitSize;
    // Audio from here on, so the search steps back onto the broken unit.
    for (size_t at = searchStart; at < broken.size(); at += kSectorModeUnitSize) broken[at + 3] = 0x7F;
    broken[searchStart - kSectorModeUnitSize + 8] = 0x47;
    test::WriteBytes(dir / "broken.mps", broken);
    p = ProbeFile(dir / "broken.mps");
    EXPECT_EQ(p.status, kProbeFormatError);
    EXPECT_EQ(p.shown, std::vector<std::string>{"File " + dir / "broken.mps" + " format error!"});
    EXPECT_EQ(p.info.width, 480) << "what the forward scan found is kept";

    CancellingSink sink;
    ProgressWindow window(&sink);
    EXPECT_EQ(ProbeFile(packedPath, &window).status, kProbeCancelled);
    EXPECT_EQ(sink.message, "Searching " + packedPath + " for Audio, Video and OGT information\n");
}

TEST(ProbeFailures, StatusesForUnusableFiles) {
    test::TempDir dir;
    EXPECT_EQ(ProbeFile(dir / "absent.mps").status, kProbeCannotOpen);
    test::WriteBytes(dir / "empty.mps", {});
    EXPECT_EQ(ProbeFile(dir / "empty.mps").status, kProbeFormatError);
    // A plain program stream: its second pack is not where a unit's would be.
    test::WriteBytes(dir / "plain.mpg", StreamBuilder()
                                            .Mpeg2PackHeader().SystemHeader({0xE0}).Packet(0xBE, 50).PadPackTo(2324)
                                            .Mpeg2PackHeader().Packet(0xE0, 2310)
                                            .Data());
    Probed p = ProbeFile(dir / "plain.mpg");
    EXPECT_EQ(p.status, kProbeFormatError);
    EXPECT_EQ(FrameRate(p.info), double(kProbeFormatError));
    EXPECT_EQ(PlayingTime(p.info), kProbeFormatError);
}

TEST(ProbeAudioHeaders, LayerRatesChannelModesAndSkew) {
    struct Case {
        uint8_t header[4];
        size_t skew;
        int layer, bitRate;
        float samplingRate;
        AudioClass audioClass;
    };
    const Case cases[] = {
        {{0xFF, 0xFD, 0xFC, 0x80}, 0, 2, -1, 0.f, AudioClass::DualChannel},  // rate index 15, code 3
        {{0xFF, 0xFB, 0x94, 0x40}, 0, 3, 128, 48.f, AudioClass::Stereo},     // joint stereo
        {{0xFF, 0xFD, 0x84, 0xC0}, 37, 2, 128, 48.f, AudioClass::SingleChannel},  // inside a frame
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        test::WriteBytes(dir / "a.mpg", StreamBuilder()
                                            .Mpeg1PackHeader().SystemHeader({0xC0}).Packet(0xBE, 100)
                                            .Mpeg1PackHeader().Mpeg1AudioPacket(c.header, 600, c.skew)
                                            .Data());
        Probed p = ProbeFile(test::PackInto(dir.Path(), dir / "a.mpg", DiscKind::Vcd30));
        ASSERT_EQ(p.status, kProbeOk);
        AudioStreamInfo a;
        ASSERT_EQ(GetAudioStream(p.info, a, 0), 0);
        EXPECT_EQ(a.layer, c.layer);
        EXPECT_EQ(a.bitRate, c.bitRate);
        EXPECT_FLOAT_EQ(a.samplingRate, c.samplingRate);
        EXPECT_EQ(a.audioClass, int32_t(c.audioClass));
    }
}

TEST(ProbeQueries, FrameRateCodesVideoStandardAndNotProbed) {
    const std::tuple<uint8_t, double, VideoStandard> cases[] = {
        {0, -1.0, VideoStandard::Unknown}, {1, 23.976, VideoStandard::Unknown}, {2, 24.0, VideoStandard::Pal},
        {3, 25.0, VideoStandard::Pal},     {4, 29.97, VideoStandard::Ntsc},     {5, 30.0, VideoStandard::Ntsc},
        {6, 50.0, VideoStandard::Unknown}, {8, 60.0, VideoStandard::Unknown},   {9, 0.0, VideoStandard::Unknown}};
    for (const auto& [code, rate, standard] : cases) {
        MpegStreamInfo info;
        info.status = kProbeOk;
        info.sequenceHeader = {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, uint8_t(0x20 | code)};
        EXPECT_EQ(FrameRate(info), rate) << int(code);
        EXPECT_EQ(ClassifyVideoStandard(info), int32_t(standard)) << int(code);
        EXPECT_EQ(info.videoStandard, int32_t(standard));
    }
    MpegStreamInfo info;
    info.audio[1] = {2, 224, 44.1f, 3};
    info.duration = 4321;
    ResetStreamInfo(info);
    AudioStreamInfo out{7, 7, 7.f, 7};
    EXPECT_EQ(FrameRate(info), -1.0);
    EXPECT_EQ(GetAudioStream(info, out, 1), kProbeNotProbed);
    EXPECT_EQ(PlayingTime(info), kProbeNotProbed);
    info.status = kProbeOk;
    EXPECT_EQ(GetAudioStream(info, out, 2), -1);
    EXPECT_EQ(GetAudioStream(info, out, -1), -1);
    EXPECT_EQ(out.layer, 7) << "left untouched";
    EXPECT_EQ(GetAudioStream(info, out, 1), 0);
    EXPECT_EQ(out.bitRate, 224);
    EXPECT_EQ(PlayingTime(info), 4321);
}

TEST(DescribeTrackText, ClassNamesKindsStandardsAndTimes) {
    const std::pair<unsigned, const char*> names[] = {
        {0, "None"}, {3, "Dual language"}, {4, "Unknow!!"}, {11, "Right-channel is karaoke music"},
        {14, "Multi-channel surround"}, {15, "Unknow!!"}};
    for (const auto& [nibble, name] : names) EXPECT_STREQ(AudioClassName(nibble), name) << nibble;
    EXPECT_EQ(DescribeTrack(DiscKind::Svcd, {int32_t(VideoStandard::Pal), 0x32, 12345}),
              "It is PAL, Audio#1 Stereo,Audio#2 Dual language, time(s) is 02:03.33");
    EXPECT_EQ(DescribeTrack(DiscKind::Cvd, {int32_t(VideoStandard::Unknown), 0x04, 0}),
              "It is NTSC, Audio#1 Unknow!!,Audio#2 None, time(s) is 00:00.00");
    EXPECT_EQ(DescribeTrack(DiscKind::SuperVcd, {int32_t(VideoStandard::Ntsc), 0x11, 366099}),
              "It is NTSC, Audio#1 Single channel,Audio#2 Single channel, time(s) is 61:00.74");
    EXPECT_EQ(DescribeTrack(DiscKind::Vcd30, {int32_t(VideoStandard::Pal), 0x22, 12345}),
              "It is PAL, Audio Stereo");
}

}  // namespace
}  // namespace qorvcd
