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
    p.info.duration = 777;  // the probe only measures MPEG-2 playing time
    p.status = ProbeMpegFile(p.info, path, progress, [&](const std::string& t) { p.shown.push_back(t); });
    return p;
}

Probed PackAndProbe(const std::string& stream, DiscKind kind) {
    test::TempDir dir;
    const std::string packed = test::PackInto(dir.Path(), stream, kind);
    return ProbeFile(packed);
}

// ---------------------------------------------------------------------------
// Real ffmpeg streams, packed by the reader.

TEST(ProbeRealStreams, VcdStreamsGiveStandardSizeAndAudio) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    struct Case {
        std::string stream;
        int height;
        VideoStandard standard;
        int bitRate;
    };
    for (const Case& c : {Case{test::PalVcdStream(), 288, VideoStandard::Pal, 224},
                          Case{test::NtscVcdStream(), 240, VideoStandard::Ntsc, 224},
                          Case{test::ZeroSectorVcdStream(), 288, VideoStandard::Pal, 64}}) {
        SCOPED_TRACE(c.stream);
        Probed p = PackAndProbe(c.stream, DiscKind::Vcd30);
        ASSERT_EQ(p.status, kProbeOk);
        EXPECT_TRUE(p.shown.empty());
        EXPECT_EQ(p.info.isMpeg2, 0u);
        EXPECT_EQ(p.info.width, 352);
        EXPECT_EQ(p.info.height, c.height);
        EXPECT_EQ(ClassifyVideoStandard(p.info), int32_t(c.standard));
        EXPECT_EQ(p.info.videoStreamId, 0xE0u);
        // ffmpeg's VCD streams announce the audio in a later pack than the video.
        EXPECT_EQ(p.info.audio1Announced, 1u);
        AudioStreamInfo a;
        ASSERT_EQ(GetAudioStream(p.info, a, 0), 0);
        EXPECT_EQ(a.layer, 2);
        EXPECT_EQ(a.bitRate, c.bitRate);
        EXPECT_FLOAT_EQ(a.samplingRate, 44.1f);
        EXPECT_EQ(a.audioClass, int32_t(AudioClass::Stereo));
        EXPECT_EQ(p.info.duration, 777) << "MPEG-1 playing time is not measured";
    }
}

TEST(ProbeRealStreams, SvcdStreamsGiveStandardAudioClassesAndPlayingTime) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    struct Case {
        std::string stream;
        DiscKind kind;
        VideoStandard standard;
        int height;
        AudioClass first, second;
    };
    for (const Case& c : {Case{test::PalSvcdStereoStream(), DiscKind::Svcd, VideoStandard::Pal, 576,
                               AudioClass::Stereo, AudioClass::None},
                          Case{test::NtscSvcdStream(), DiscKind::SuperVcd, VideoStandard::Ntsc, 480,
                               AudioClass::Stereo, AudioClass::None},
                          Case{test::PalSvcdTwoAudioStream(), DiscKind::Svcd, VideoStandard::Pal, 576,
                               AudioClass::SingleChannel, AudioClass::SingleChannel}}) {
        SCOPED_TRACE(c.stream);
        Probed p = PackAndProbe(c.stream, c.kind);
        ASSERT_EQ(p.status, kProbeOk);
        EXPECT_TRUE(p.shown.empty());
        EXPECT_EQ(p.info.isMpeg2, 1u);
        EXPECT_EQ(p.info.width, 480);
        EXPECT_EQ(p.info.height, c.height);
        EXPECT_EQ(ClassifyVideoStandard(p.info), int32_t(c.standard));
        AudioStreamInfo a0, a1;
        ASSERT_EQ(GetAudioStream(p.info, a0, 0), 0);
        ASSERT_EQ(GetAudioStream(p.info, a1, 1), 0);
        EXPECT_EQ(a0.audioClass, int32_t(c.first));
        EXPECT_EQ(a1.audioClass, int32_t(c.second));
        EXPECT_EQ(p.info.audio2Announced, c.second == AudioClass::None ? 0u : 1u);
        // The streams are three seconds long.
        EXPECT_NEAR(PlayingTime(p.info), 300, 100);
    }
}

TEST(ProbeRealStreams, ShortMpeg2FileIsMeasuredFromItsLastUnit) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    test::TempDir dir;
    std::vector<uint8_t> packed = test::ReadBytes(test::PackInto(dir.Path(), test::PalSvcdStereoStream(), DiscKind::Svcd));
    packed.resize(30 * kSectorModeUnitSize);
    test::WriteBytes(dir / "short.mps", packed);
    Probed p = ProbeFile(dir / "short.mps");
    ASSERT_EQ(p.status, kProbeOk);
    EXPECT_GT(p.info.duration, 0);
    EXPECT_LT(p.info.duration, 100) << "30 units hold well under a second";
}

TEST(ProbeRealStreams, BrokenUnitInTheDurationSearchIsAFormatError) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    test::TempDir dir;
    std::vector<uint8_t> packed = test::ReadBytes(test::PackInto(dir.Path(), test::PalSvcdStereoStream(), DiscKind::Svcd));
    ASSERT_GT(packed.size(), 60 * kSectorModeUnitSize);
    const size_t searchStart = packed.size() - 46 * kSectorModeUnitSize;
    // Audio from here on, so the search steps back onto the broken unit.
    for (size_t at = searchStart; at < packed.size(); at += kSectorModeUnitSize) packed[at + 3] = 0x7F;
    packed[searchStart - kSectorModeUnitSize + 8] = 0x47;
    test::WriteBytes(dir / "broken.mps", packed);
    Probed p = ProbeFile(dir / "broken.mps");
    EXPECT_EQ(p.status, kProbeFormatError);
    EXPECT_EQ(p.info.status, kProbeFormatError);
    ASSERT_EQ(p.shown.size(), 1u);
    EXPECT_EQ(p.shown[0], "File " + dir / "broken.mps" + " format error!");
    EXPECT_EQ(p.info.width, 480) << "what the forward scan found is kept";
}

class CancellingSink : public ProgressSink {
public:
    bool PumpPendingMessages() override { return true; }
    void SetMessage(const std::string& text) override { message = text; }
    std::string message;
};

TEST(ProbeRealStreams, CancelDuringTheDurationSearch) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    test::TempDir dir;
    const std::string packed = test::PackInto(dir.Path(), test::PalSvcdStereoStream(), DiscKind::Svcd);
    CancellingSink sink;
    ProgressWindow window(&sink);
    Probed p = ProbeFile(packed, &window);
    EXPECT_EQ(p.status, kProbeCancelled);
    EXPECT_EQ(sink.message, "Searching " + packed + " for Audio, Video and OGT information\n");
}

// ---------------------------------------------------------------------------
// Files that are not sector-mode MPEG.

TEST(ProbeFailures, StatusesForUnusableFiles) {
    test::TempDir dir;
    EXPECT_EQ(ProbeFile(dir / "absent.mps").status, kProbeCannotOpen);
    test::WriteBytes(dir / "empty.mps", {});
    EXPECT_EQ(ProbeFile(dir / "empty.mps").status, kProbeFormatError);
    test::WriteBytes(dir / "text.mps", std::vector<uint8_t>(5000, 'x'));
    EXPECT_EQ(ProbeFile(dir / "text.mps").status, kProbeFormatError);
    // A plain program stream: its second pack is not where a unit's would be.
    const std::vector<uint8_t> plain = StreamBuilder()
                                           .Mpeg2PackHeader().SystemHeader({0xE0}).Packet(0xBE, 50).PadPackTo(2324)
                                           .Mpeg2PackHeader().Packet(0xE0, 2310)
                                           .Data();
    test::WriteBytes(dir / "plain.mpg", plain);
    Probed p = ProbeFile(dir / "plain.mpg");
    EXPECT_EQ(p.status, kProbeFormatError);
    EXPECT_EQ(FrameRate(p.info), double(kProbeFormatError));
    EXPECT_EQ(PlayingTime(p.info), kProbeFormatError);
}

// ---------------------------------------------------------------------------
// Audio frame headers, from hand-made MPEG-1 streams.

AudioStreamInfo ProbeAudioHeader(const uint8_t header[4], size_t skew = 0) {
    test::TempDir dir;
    const std::vector<uint8_t> stream = StreamBuilder()
                                            .Mpeg1PackHeader().SystemHeader({0xC0}).Packet(0xBE, 100)
                                            .Mpeg1PackHeader().Mpeg1AudioPacket(header, 600, skew)
                                            .Data();
    test::WriteBytes(dir / "a.mpg", stream);
    const std::string packed = test::PackInto(dir.Path(), dir / "a.mpg", DiscKind::Vcd30);
    Probed p = ProbeFile(packed);
    EXPECT_EQ(p.status, kProbeOk);
    AudioStreamInfo a;
    a.layer = 99;
    EXPECT_EQ(GetAudioStream(p.info, a, 0), 0);
    return a;
}

TEST(ProbeAudioHeaders, LayerRatesAndChannelModes) {
    const uint8_t dualForbidden[4] = {0xFF, 0xFD, 0xFC, 0x80};  // layer II, index 15, rate code 3, dual
    AudioStreamInfo a = ProbeAudioHeader(dualForbidden);
    EXPECT_EQ(a.layer, 2);
    EXPECT_EQ(a.bitRate, -1);
    EXPECT_EQ(a.samplingRate, 0.f);
    EXPECT_EQ(a.audioClass, int32_t(AudioClass::DualChannel));

    const uint8_t jointLayer3[4] = {0xFF, 0xFB, 0x94, 0x40};  // layer III, 128 kbit/s, 48 kHz, joint
    a = ProbeAudioHeader(jointLayer3);
    EXPECT_EQ(a.layer, 3);
    EXPECT_EQ(a.bitRate, 128);
    EXPECT_FLOAT_EQ(a.samplingRate, 48.0f);
    EXPECT_EQ(a.audioClass, int32_t(AudioClass::Stereo));
}

TEST(ProbeAudioHeaders, PayloadStartingInsideAFrameFindsTheNextHeader) {
    const uint8_t mono[4] = {0xFF, 0xFD, 0x84, 0xC0};  // layer II, 128 kbit/s, 48 kHz, single channel
    const AudioStreamInfo a = ProbeAudioHeader(mono, 37);
    EXPECT_EQ(a.layer, 2);
    EXPECT_EQ(a.bitRate, 128);
    EXPECT_EQ(a.audioClass, int32_t(AudioClass::SingleChannel));
}

// ---------------------------------------------------------------------------
// Queries on the record.

MpegStreamInfo ProbedWithRateCode(uint8_t code) {
    MpegStreamInfo info;
    info.status = kProbeOk;
    info.sequenceHeader = {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, uint8_t(0x20 | code)};
    return info;
}

TEST(ProbeQueries, FrameRateCodesAndVideoStandard) {
    struct Case {
        uint8_t code;
        double rate;
        VideoStandard standard;
    };
    for (const Case& c : {Case{0, -1.0, VideoStandard::Unknown}, Case{1, 23.976, VideoStandard::Unknown},
                          Case{2, 24.0, VideoStandard::Pal}, Case{3, 25.0, VideoStandard::Pal},
                          Case{4, 29.97, VideoStandard::Ntsc}, Case{5, 30.0, VideoStandard::Ntsc},
                          Case{6, 50.0, VideoStandard::Unknown}, Case{8, 60.0, VideoStandard::Unknown},
                          Case{9, 0.0, VideoStandard::Unknown}, Case{15, 0.0, VideoStandard::Unknown}}) {
        MpegStreamInfo info = ProbedWithRateCode(c.code);
        EXPECT_EQ(FrameRate(info), c.rate) << int(c.code);
        EXPECT_EQ(ClassifyVideoStandard(info), int32_t(c.standard)) << int(c.code);
        EXPECT_EQ(info.videoStandard, int32_t(c.standard));
    }
    MpegStreamInfo notProbed = ProbedWithRateCode(3);
    ResetStreamInfo(notProbed);
    notProbed.videoStandard = 1;
    EXPECT_EQ(FrameRate(notProbed), -1.0);
    EXPECT_EQ(ClassifyVideoStandard(notProbed), int32_t(VideoStandard::Unknown));
}

TEST(ProbeQueries, AudioStreamAndPlayingTimeAnswerWithTheStatusUntilProbed) {
    MpegStreamInfo info;
    info.audio[1] = {2, 224, 44.1f, 3};
    info.duration = 4321;
    ResetStreamInfo(info);
    AudioStreamInfo out{7, 7, 7.f, 7};
    EXPECT_EQ(GetAudioStream(info, out, 1), kProbeNotProbed);
    EXPECT_EQ(out.layer, 7) << "left untouched";
    EXPECT_EQ(PlayingTime(info), kProbeNotProbed);

    info.status = kProbeOk;
    EXPECT_EQ(GetAudioStream(info, out, 2), -1);
    EXPECT_EQ(GetAudioStream(info, out, -1), -1);
    EXPECT_EQ(out.layer, 7);
    EXPECT_EQ(GetAudioStream(info, out, 1), 0);
    EXPECT_EQ(out.bitRate, 224);
    EXPECT_EQ(out.audioClass, 3);
    EXPECT_EQ(PlayingTime(info), 4321);
}

// ---------------------------------------------------------------------------
// The track summary line.

TEST(DescribeTrackText, AudioClassNames) {
    const std::pair<unsigned, const char*> names[] = {
        {0, "None"}, {1, "Single channel"}, {2, "Stereo"}, {3, "Dual language"}, {4, "Unknow!!"},
        {6, "karaoke music only"}, {7, "Left-channel is karaoke music"}, {10, "karaoke music+vocal"},
        {11, "Right-channel is karaoke music"}, {14, "Multi-channel surround"}, {15, "Unknow!!"}};
    for (const auto& [nibble, name] : names) EXPECT_STREQ(AudioClassName(nibble), name) << nibble;
}

TEST(DescribeTrackText, KindsStandardsAndTimes) {
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
