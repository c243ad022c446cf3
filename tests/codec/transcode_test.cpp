// Ordinary videos (phone-style H.264/AAC clips, a silent clip) turned into a
// disc kind's program stream, through the library and through `qorvcd pack`,
// checked with our own probe and with FFmpeg's view of the result.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "codec/transcode.h"
#include "core/results.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/packet_reader.h"
#include "mpeg/program_stream_probe.h"
#include "tests/codec/codec_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

namespace fs = std::filesystem;

const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";

// 1280x720 at 30 fps, H.264 with AAC sound: a 16:9 phone clip.
std::string WideClip() {
    return test::EnsureMedia("transcode-1280x720-30.mp4",
                             std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=1280x720:rate=30 -f lavfi -i "
                             "sine=frequency=440:sample_rate=48000 -t 3 -c:v libx264 -preset ultrafast "
                             "-pix_fmt yuv420p -c:a aac -ac 2 -f mp4 {out}");
}

// 640x480 at 25 fps without any sound.
std::string SilentClip() {
    return test::EnsureMedia("transcode-640x480-25-silent.mp4",
                             std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=640x480:rate=25 -t 3 "
                             "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -f mp4 {out}");
}

// A program stream made for the disc, as users made them before.
std::string DiscReadyStream(const std::string& target, const std::string& size) {
    return test::EnsureMedia("transcode-ready-" + target + ".mpg",
                             std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=" + size +
                                 ":rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 -t 3 -ac 2 -target " +
                                 target + " {out}");
}

test::CommandResult Pack(const test::TempDir& dir, const std::string& args) {
    // The work folder goes under dir/tmp, so the test sees that it is removed.
    fs::create_directories(dir / "tmp");
    return test::RunCommand("cd '" + dir.Path() + "' && TMPDIR='" + dir.Path() + "tmp' '" + test::CliPath() +
                            "' pack " + args + " 2>&1");
}

// Seconds of video (frames over rate) and of audio (MP2 frames of 1152 samples) in a program stream.
struct Durations {
    double video = 0;
    double audio = 0;
};
Durations Measure(const std::string& programStream) {
    Durations d;
    const std::string video = test::ProbeVideo(programStream);  // codec,width,height,rate,frames
    std::vector<std::string> fields;
    size_t from = 0;
    for (size_t at; (at = video.find(',', from)) != std::string::npos; from = at + 1) fields.push_back(video.substr(from, at - from));
    fields.push_back(video.substr(from));
    if (fields.size() == 5) {
        const size_t slash = fields[3].find('/');
        const double rate = std::stod(fields[3].substr(0, slash)) / std::stod(fields[3].substr(slash + 1));
        d.video = std::stod(fields[4]) / rate;
    }
    const std::string audio = test::RunCommand("ffprobe -v error -select_streams a:0 -count_packets -show_entries "
                                               "stream=nb_read_packets -of csv=p=0 '" + programStream + "'").output;
    if (!audio.empty() && std::isdigit(static_cast<unsigned char>(audio[0]))) d.audio = std::stod(audio) * 1152 / 44100.0;
    return d;
}

MpegStreamInfo Probe(const std::string& sectorFile) {
    MpegStreamInfo info;
    ResetStreamInfo(info);
    ProbeMpegFile(info, sectorFile, nullptr, {});
    ClassifyVideoStandard(info);
    return info;
}

// Mean brightness of rows [from, to) of an RGB24 picture `width` wide.
double RowsBrightness(const std::vector<uint8_t>& rgb, int width, int from, int to) {
    double sum = 0;
    for (int y = from; y < to; ++y)
        for (int x = 0; x < width * 3; ++x) sum += rgb[size_t(y) * width * 3 + x];
    return sum / (double(to - from) * width * 3);
}

bool Ready() { return test::HaveProgram("ffmpeg") && test::FileExists(test::CliPath()); }

// A 16:9 H.264/AAC clip at 30 fps becomes an NTSC SVCD track: MPEG-2 480x480,
// MP2 stereo at 44.1 kHz, the same length, the picture letterboxed.
TEST(PackTranscode, AWidePhoneClipBecomesALetterboxedNtscSvcdTrack) {
    if (!Ready()) GTEST_SKIP() << "ffmpeg or the qorvcd program missing";
    test::TempDir dir;
    fs::copy_file(WideClip(), dir / "holiday.mp4");
    const test::CommandResult run = Pack(dir, "holiday.mp4 HOLIDAY.MPS --kind svcd");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("NTSC"), std::string::npos) << run.output;

    const uint64_t size = fs::file_size(dir / "HOLIDAY.MPS");
    EXPECT_TRUE(size > 0 && size % kSectorModeUnitSize == 0) << size;
    const MpegStreamInfo info = Probe(dir / "HOLIDAY.MPS");
    EXPECT_EQ(info.status, kOk);
    EXPECT_EQ(std::tuple(info.isMpeg2, info.width, info.height, info.videoStandard),
              std::tuple(1u, 480, 480, int32_t(VideoStandard::Ntsc)));
    EXPECT_EQ(std::tuple(info.audio[0].layer, info.audio[0].samplingRate, info.audio[0].audioClass),
              std::tuple(2, 44.1f, int32_t(AudioClass::Stereo)));

    const std::string stream = test::WritePackAreas(dir / "HOLIDAY.MPS", dir / "areas.mpg");
    const Durations d = Measure(stream);
    EXPECT_NEAR(d.video, 3.0, 0.3);
    EXPECT_NEAR(d.audio, 3.0, 0.3);

    // 16:9 in a 4:3 frame: 360 of 480 rows carry the picture, 60 black above and below.
    const std::vector<uint8_t> rgb = test::DecodeToRgb(stream, dir / "frame.rgb");
    ASSERT_EQ(rgb.size(), 480u * 480u * 3u);
    EXPECT_LT(RowsBrightness(rgb, 480, 0, 56), 24.0);
    EXPECT_LT(RowsBrightness(rgb, 480, 424, 480), 24.0);
    EXPECT_GT(RowsBrightness(rgb, 480, 70, 410), 50.0);

    // No work folder and no temporary file is left.
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
    }
}

// A silent 640x480 clip at 25 fps becomes a PAL Video CD 3.0 track with
// silence for its sound; --norm overrides the frame rate's norm.
TEST(PackTranscode, ASilentClipBecomesAVcdTrackWithSound) {
    if (!Ready()) GTEST_SKIP() << "ffmpeg or the qorvcd program missing";
    test::TempDir dir;
    fs::copy_file(SilentClip(), dir / "quiet.mp4");
    ASSERT_EQ(Pack(dir, "quiet.mp4 QUIET.MPS --kind vcd30").exitCode, 0);
    const MpegStreamInfo pal = Probe(dir / "QUIET.MPS");
    EXPECT_EQ(std::tuple(pal.status, pal.isMpeg2, pal.width, pal.height, pal.videoStandard),
              std::tuple(kOk, 0u, 352, 288, int32_t(VideoStandard::Pal)));
    EXPECT_EQ(std::tuple(pal.audio[0].layer, pal.audio[0].bitRate, pal.audio[0].samplingRate),
              std::tuple(2, 224, 44.1f));
    const Durations d = Measure(test::WritePackAreas(dir / "QUIET.MPS", dir / "areas.mpg"));
    EXPECT_NEAR(d.video, 3.0, 0.3);
    EXPECT_NEAR(d.audio, 3.0, 0.3);

    ASSERT_EQ(Pack(dir, "quiet.mp4 QUIET-N.MPS --kind cvd --norm ntsc").exitCode, 0);
    const MpegStreamInfo ntsc = Probe(dir / "QUIET-N.MPS");
    EXPECT_EQ(std::tuple(ntsc.isMpeg2, ntsc.width, ntsc.height, ntsc.videoStandard),
              std::tuple(1u, 352, 480, int32_t(VideoStandard::Ntsc)));
}

// A program stream that already fits its kind is packed exactly as the packer
// alone packs it; one that does not fit (MPEG-2 for a Video CD) is transcoded.
TEST(PackTranscode, StreamsThatFitThePackerArePackedUnchanged) {
    if (!Ready()) GTEST_SKIP() << "ffmpeg or the qorvcd program missing";
    test::TempDir dir;
    const struct {
        std::string stream;
        const char* kind;
        DiscKind discKind;
    } cases[] = {
        {DiscReadyStream("pal-svcd", "480x576"), "svcd", DiscKind::Svcd},
        {DiscReadyStream("pal-vcd", "352x288"), "vcd30", DiscKind::Vcd30},
        // The MPEG-2 kinds have always taken each other's frame sizes as they are.
        {DiscReadyStream("pal-svcd", "480x576"), "cvd", DiscKind::Cvd},
    };
    for (const auto& c : cases) {
        // The stream's own headers tell what FFmpeg sees: packing it needs no codec module.
        const std::optional<ProgramStreamVideo> own = ProbeProgramStreamVideo(c.stream);
        ASSERT_TRUE(own.has_value()) << c.stream;
        const codec::SourceFacts facts = codec::ProbeSource(c.stream);
        EXPECT_EQ(std::tuple(std::string(own->mpeg2 ? "mpeg2video" : "mpeg1video"), own->width, own->height),
                  std::tuple(facts.videoCodec, facts.width, facts.height));
        const std::string direct = dir / (std::string("direct-") + c.kind + ".mps");
        std::string error;
        ASSERT_TRUE(PackProgramStream(c.stream, direct, c.discKind, {}, &error)) << error;
        const std::string viaCli = std::string("cli-") + c.kind + ".mps";
        const test::CommandResult run = Pack(dir, "'" + c.stream + "' " + viaCli + " --kind " + c.kind);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(run.output.find("transcoded"), std::string::npos) << run.output;
        EXPECT_TRUE(test::ReadBytes(direct) == test::ReadBytes(dir / viaCli)) << c.kind;
    }
    const test::CommandResult run = Pack(dir, "'" + cases[0].stream + "' SVCD-AS-VCD.MPS --kind vcd30");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const MpegStreamInfo info = Probe(dir / "SVCD-AS-VCD.MPS");
    EXPECT_EQ(std::tuple(info.isMpeg2, info.width, info.height, info.videoStandard),
              std::tuple(0u, 352, 288, int32_t(VideoStandard::Pal)));
}

// Unreadable input fails naming the file and FFmpeg's reason, and leaves
// nothing; a cancelled transcoding stops with kCancelled.
TEST(PackTranscode, FailuresNameTheFileAndCancelStops) {
    if (!Ready()) GTEST_SKIP() << "ffmpeg or the qorvcd program missing";
    test::TempDir dir;
    test::WriteText(dir / "holiday.mp4", "this is a shopping list, not a video\n");
    const test::CommandResult run = Pack(dir, "holiday.mp4 OUT.MPS --kind svcd");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.output.find("holiday.mp4"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Invalid data"), std::string::npos) << run.output;
    EXPECT_FALSE(test::FileExists(dir / "OUT.MPS"));

    // The head of a real clip: the container opens but its pictures do not decode.
    std::vector<uint8_t> head = test::ReadBytes(WideClip());
    head.resize(4000);
    test::WriteBytes(dir / "cut.mp4", head);
    codec::TranscodeRequest request;
    request.inputPath = dir / "cut.mp4";
    request.outputPath = dir / "cut.mpg";
    codec::TranscodeOutcome cut = codec::TranscodeForDisc(request);
    EXPECT_EQ(cut.result, kStepFailed);
    EXPECT_NE(cut.error.find(dir / "cut.mp4"), std::string::npos) << cut.error;

    request.inputPath = WideClip();
    request.outputPath = dir / "cancelled.mpg";
    int polls = 0;
    request.cancelRequested = [&] { return ++polls > 20; };
    double lastDone = -1;
    request.progress = [&](double done, double total) {
        lastDone = done;
        EXPECT_NEAR(total, 3.0, 0.2);
    };
    const codec::TranscodeOutcome cancelled = codec::TranscodeForDisc(request);
    EXPECT_EQ(cancelled.result, kCancelled);
    EXPECT_LT(lastDone, 2.0);
}

}  // namespace
}  // namespace qorvcd

namespace qorvcd {
namespace {

// A program stream's facts as ProbeSource reports them.
codec::SourceFacts MpegFacts(const char* codec, int width, int height, double seconds, bool audio) {
    codec::SourceFacts f;
    f.readable = f.hasVideo = true;
    f.container = "mpeg";
    f.videoCodec = codec;
    f.width = width;
    f.height = height;
    f.duration = seconds;
    f.hasAudio = audio;
    return f;
}

TEST(FitsDiscKind, AHighResolutionStillGoesOnAsItIsButNotAHighResolutionMovie) {
    using codec::FitsDiscKind;
    const auto pal = std::optional(VideoStandard::Pal), ntsc = std::optional(VideoStandard::Ntsc);
    // One picture, no sound: a still of either resolution, in the kind's MPEG version.
    EXPECT_TRUE(FitsDiscKind(MpegFacts("mpeg1video", 704, 576, 0.04, false), DiscKind::Vcd30, std::nullopt));
    EXPECT_TRUE(FitsDiscKind(MpegFacts("mpeg2video", 704, 480, 0.0334, false), DiscKind::Svcd, ntsc));
    EXPECT_FALSE(FitsDiscKind(MpegFacts("mpeg2video", 704, 480, 0.0334, false), DiscKind::Svcd, pal));
    EXPECT_FALSE(FitsDiscKind(MpegFacts("mpeg2video", 704, 576, 0.04, false), DiscKind::Vcd30, std::nullopt));
    // Moving pictures or sound at that size are no still: they are made to fit.
    EXPECT_FALSE(FitsDiscKind(MpegFacts("mpeg1video", 704, 576, 3.0, false), DiscKind::Vcd30, std::nullopt));
    EXPECT_FALSE(FitsDiscKind(MpegFacts("mpeg1video", 704, 576, 0.04, true), DiscKind::Vcd30, std::nullopt));
    EXPECT_FALSE(FitsDiscKind(MpegFacts("mpeg1video", 704, 576, 0.0, false), DiscKind::Vcd30, std::nullopt));
    EXPECT_FALSE(FitsDiscKind(MpegFacts("mpeg1video", 704, 400, 0.04, false), DiscKind::Vcd30, std::nullopt));
    // The motion sizes as before.
    EXPECT_TRUE(FitsDiscKind(MpegFacts("mpeg1video", 352, 240, 3.0, true), DiscKind::Vcd30, ntsc));
}

}  // namespace
}  // namespace qorvcd
