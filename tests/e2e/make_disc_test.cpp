// `qorvcd make`: ordinary phone-style clips (H.264/AAC in MP4) and a picture
// become a disc in one command. vcd-info must read the menu, the play lists
// and the chapter entries it authored; the script it leaves beside the disc
// must build the very same image; a bad input must leave nothing behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

std::string Clip(const std::string& name, const std::string& size, int rate) {
    return EnsureMedia("make-" + name + ".mp4",
                       "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" + size + ":rate=" +
                           std::to_string(rate) + ":duration=3 -f lavfi -i sine=frequency=440:duration=3 "
                           "-c:v libx264 -pix_fmt yuv420p -c:a aac -shortest -f mp4 {out}");
}

std::string Picture() {
    return EnsureMedia("make-picture.png",
                       "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=800x600 -frames:v 1 -f image2 "
                       "-c:v png {out}");
}

CommandResult Make(const std::string& folder, const std::string& arguments, const std::string& clock = "1700000000") {
    const std::string work = Quote(folder + "work");
    return RunCommand("mkdir -p " + work + " && SOURCE_DATE_EPOCH=" + clock + " " + Quote(CliPath()) +
                      " make -q --work-dir " + work + " " + arguments);
}

size_t EntriesIn(const std::string& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

class MakeDisc : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg", "vcd-info"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
    }
    TempDir dir;
};

TEST_F(MakeDisc, AMenuOverTwoVideosReadsBackAndItsScriptBuildsTheSameImage) {
    // A PAL clip first (the disc's norm) and an NTSC-rate 16:9 one converted to it.
    const std::string a = Clip("pal", "640x480", 25), b = Clip("wide", "640x360", 30);
    std::filesystem::copy_file(a, dir / "a.mp4");
    std::filesystem::copy_file(b, dir / "b.mp4");
    const CommandResult made = Make(dir.Path(), "--kind svcd --menu --image --title \"OUR TRIP\" -o " +
                                                    Quote(dir / "out/disc.cue") + " " + Quote(dir / "a.mp4") + " " +
                                                    Quote(dir / "b.mp4"));
    ASSERT_EQ(made.exitCode, 0) << made.output;

    const std::string info = Output("vcd-info --no-ext-psd -c " + Quote(dir / "out/disc.cue") + " 2>&1");
    EXPECT_EQ(Matches(info, kReaderComplaint).size(), 0u) << info;
    EXPECT_EQ(Matches(info, R"(album id: `OUR TRIP')").size(), 1u) << info;
    EXPECT_EQ(Matches(info, R"(^\s+[23]: \S+\s+\d+\s+XA)").size(), 2u) << info;  // the two video tracks
    // One PAL still: the menu picture; every segment is a still.
    const auto segments = Matches(info, R"(audio: no stream, video: (PAL still))");
    EXPECT_EQ(segments.size(), size_t(std::stoi(Matches(info, R"(number of segments: (\d+))").at(0).at(0)))) << info;
    EXPECT_FALSE(segments.empty());

    // The menu: a selection of two over the still, the start list (LID 1);
    // each choice plays its track and comes back to it.
    ASSERT_EQ(Matches(info, R"(selection list descriptor)").size(), 1u) << info;
    EXPECT_EQ(Matches(info, R"(NOS: 2 \| BSN: 1 \| LID: 1 )").size(), 1u) << info;
    EXPECT_EQ(Matches(info, R"(play-item: SEGMENT\[0\])").size(), 1u) << info;
    const auto choices = Matches(info, R"(ofs\[\d\]: LID\[(\d+)\])");
    ASSERT_EQ(choices.size(), 2u) << info;
    const auto plays = Matches(info, R"(play-item\[0\]: SEQUENCE\[(\d)\])");
    EXPECT_EQ(plays, (std::vector<std::vector<std::string>>{{"0"}, {"1"}})) << info;
    EXPECT_EQ(Matches(info, R"(next: LID\[1\] @0x0000 \| return: LID\[1\] @0x0000)").size(), 2u) << info;

    // The script it left builds the same image, byte for byte.
    const std::string script = ReadText(dir / "out/disc.txt");
    EXPECT_NE(script.find("\"../a.mp4\" PAL AUDIO 2 TIME 3"), std::string::npos) << script;
    const CommandResult rebuilt = BuildDisc(AllKinds()[1], dir / "out/disc.txt", dir / "again.img", dir.Path(), "",
                                            "SOURCE_DATE_EPOCH=1700000000 ");
    ASSERT_EQ(rebuilt.exitCode, 0) << rebuilt.output;
    EXPECT_TRUE(ReadBytes(dir / "out/disc.img") == ReadBytes(dir / "again.img"));
    EXPECT_EQ(EntriesIn(dir / "out"), 5u);  // BIN, cue, script, menu picture, image
}

TEST_F(MakeDisc, VideoCdChaptersAndSlideshowFollowTheVideos) {
    std::filesystem::copy_file(Clip("pal", "640x480", 25), dir / "a.mp4");
    std::filesystem::copy_file(Picture(), dir / "p.png");
    // Chapters every 1.2 s: one inside each 3 s video.
    const CommandResult made = Make(dir.Path(), "--kind vcd30 --chapters 0.02 -o " + Quote(dir / "out/vcd.cue") + " " +
                                                    Quote(dir / "a.mp4") + " " + Quote(dir / "a.mp4") + " --picture " +
                                                    Quote(dir / "p.png"));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_EQ(EntriesIn(dir / "out"), 3u);  // BIN, cue, script: no image, no menu

    const std::string info = Output("vcd-info --no-ext-psd -c " + Quote(dir / "out/vcd.cue") + " 2>&1");
    EXPECT_EQ(Matches(info, kReaderComplaint).size(), 0u) << info;
    // Each track's start, then its chapter a second in.
    const auto entries = Matches(info, R"(ENTRY\[\d+\]: track#\s+(\d+) .*LSN\s+(\d+))");
    ASSERT_EQ(entries.size(), 4u) << info;
    for (size_t i = 0; i < 4; i += 2) {
        EXPECT_EQ(entries[i][0], entries[i + 1][0]) << info;
        const long start = std::stol(entries[i][1]), chapter = std::stol(entries[i + 1][1]);
        EXPECT_TRUE(chapter > start + 40 && chapter < start + 250) << info;  // 75 sectors a second
    }
    // Track 1, its chapter (entry 2 is play item 101), track 2, its chapter, the picture.
    const auto plays = Matches(info, R"(play-item\[0\]: \S+ \(0x([0-9a-f]+)\))");
    EXPECT_EQ(plays, (std::vector<std::vector<std::string>>{{"0002"}, {"0065"}, {"0003"}, {"0067"}, {"03e8"}})) << info;
    EXPECT_EQ(Matches(info, R"(selection list descriptor)").size(), 0u) << info;
}

// Streams that already fit the kind are measured by the disc's own probe and
// packed as they are copied: without a codec module the disc is still made,
// while a clip that needs converting fails naming the module.
TEST_F(MakeDisc, StreamsThatFitNeedNoCodecModule) {
    const std::vector<std::string> streams = CopyKindMedia(AllKinds()[1], dir.Path());
    std::filesystem::copy_file(Clip("pal", "640x480", 25), dir / "b.mp4");
    const std::string noModule = "QORVCD_CODEC_MODULE=" + Quote(dir / "no-such-module.so") + " ";
    const CommandResult made = RunCommand(noModule + "SOURCE_DATE_EPOCH=1700000000 " + Quote(CliPath()) +
                                          " make -o " + Quote(dir / "out/disc.cue") + " " +
                                          Quote(streams[0]) + " " + Quote(streams[1]));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_EQ(made.output.find("warning"), std::string::npos) << made.output;  // TIME agrees with the build's probe
    EXPECT_TRUE(std::filesystem::exists(dir / "out/disc.bin"));
    // MPEG-1 streams are timed too: their chapters are there.
    const std::vector<std::string> vcd = CopyKindMedia(AllKinds()[0], dir / "vcd");
    const CommandResult chapters = RunCommand(noModule + Quote(CliPath()) + " make --kind vcd30 --chapters 0.02 -o " +
                                              Quote(dir / "vcd/out/disc.cue") + " " + Quote(vcd[0]));
    ASSERT_EQ(chapters.exitCode, 0) << chapters.output;
    EXPECT_FALSE(Matches(ReadText(dir / "vcd/out/disc.txt"), R"(PLAY MUSIC01 FROM (\d+))").empty())
        << ReadText(dir / "vcd/out/disc.txt");

    const CommandResult refused = RunCommand(noModule + Quote(CliPath()) + " make -o " + Quote(dir / "out2/disc.cue") +
                                             " " + Quote(dir / "b.mp4"));
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.output.find("no-such-module.so"), std::string::npos) << refused.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "out2"));
}

TEST_F(MakeDisc, ABadInputFailsNamingItAndLeavesNothing) {
    std::filesystem::copy_file(Clip("pal", "640x480", 25), dir / "a.mp4");
    WriteText(dir / "notes.mp4", "not a video\n");
    for (const std::string bad : {"missing.mp4", "notes.mp4"}) {
        const CommandResult made = Make(dir.Path(), "--menu -o " + Quote(dir / "out/disc.cue") + " " +
                                                        Quote(dir / "a.mp4") + " " + Quote(dir / bad));
        EXPECT_NE(made.exitCode, 0) << bad;
        EXPECT_NE(made.output.find(bad), std::string::npos) << made.output;
        EXPECT_FALSE(std::filesystem::exists(dir / "out")) << bad;  // the output folder is made only for a disc
    }
}

}  // namespace
}  // namespace qorvcd::test
