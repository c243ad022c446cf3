// On a Video CD 3.0 disc each segment's content byte says what the segment
// holds: a motion clip of several segments reads, and rips, as one item, and
// a still stays a still.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";

TEST(Vcd30Segments, AMotionClipOfSeveralSegmentsIsOneItemAndAStillStaysAStill) {
    if (const std::string tool = MissingTool({"ffmpeg", "vcd-info", "vcdxrip"}); !tool.empty())
        GTEST_SKIP() << "missing " << tool;
    TempDir dir;
    const std::string clip = EnsureMedia(
        "vcd30-segments-clip-7s.mpg", std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=352x288:rate=25 -f lavfi "
                                                             "-i sine=sample_rate=44100 -t 7 -target pal-vcd {out}");
    const std::string track = EnsureMedia(
        "vcd30-segments-track-3s.mpg", std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=352x288:rate=25 -f lavfi "
                                                              "-i sine=sample_rate=44100 -t 3 -target pal-vcd {out}");
    ASSERT_EQ(RunCommand(Quote(CliPath()) + " pack " + Quote(clip) + " " + Quote(dir / "CLIP.MPS") + " --kind vcd30").exitCode, 0);
    ASSERT_EQ(RunCommand(Quote(CliPath()) + " pack " + Quote(track) + " " + Quote(dir / "T.MPS") + " --kind vcd30").exitCode, 0);
    ASSERT_EQ(RunCommand(std::string(kFfmpeg) + "-f lavfi -i smptebars=size=352x288 -frames:v 1 -c:v bmp -f image2 " +
                         Quote(dir / "MENU.BMP")).exitCode, 0);
    WriteScript(dir / "disc.txt",
                {"[VCD]", "ALBUM = \"SEGMENTS\"", "VERSION = 2.0", "VOLUME = 1", "ANZVOL = 1", "[TRACK]",
                 "MPEGTRACK MUSIC01 T.MPS", "[PBC]", "SEGMENT", "SEGMENU = MENU.BMP", "SEGCLIP = CLIP.MPS", "ENDSEGMENT",
                 "SELECTION MAIN PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT PLAY1 TIMEOUT NONE WAIT 10 LOOP 1 "
                 "PLAYITEM SEGMENU ITEMS 1 PLAY1 2 CLIP ENDITEMS ENDSELECT",
                 "PLAYLIST PLAY1 PREVIOUS MAIN NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY MUSIC01 ENDPLAYLIST",
                 "PLAYLIST CLIP PREVIOUS MAIN NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY SEGCLIP ENDPLAYLIST"});
    const CommandResult build =
        RunCommand("mkdir -p " + Quote(dir / "work") + " && " + Quote(CliPath()) + " build " + Quote(dir / "disc.txt") +
                   " -o " + Quote(dir / "disc.img") + " --vcd30 --bin-cue --work-dir " + Quote(dir / "work"));
    ASSERT_EQ(build.exitCode, 0) << build.output;

    // The clip (sorted first by its ID) takes four segments: PAL motion with
    // stereo sound, then the same with the continuation bit; the bitmap is a
    // PAL still of normal resolution without sound.
    const FlatImage flat = InspectFlat(dir / "disc.img");
    std::vector<std::string> content;
    for (size_t i = 0; i < ListSize(flat, "info.segmentContent"); ++i)
        content.push_back(flat.at("info.segmentContent." + std::to_string(i)));
    EXPECT_EQ(content, (std::vector<std::string>{"0x1E", "0x3E", "0x3E", "0x3E", "0x14"}));

    const std::string info = Output("vcd-info --no-ext-psd -c " + Quote(dir / "disc.cue") + " 2>&1");
    EXPECT_EQ(info.find("is not number of segments"), std::string::npos) << info;
    RunCommand("mkdir -p " + Quote(dir / "rip") + " && cd " + Quote(dir / "rip") + " && vcdxrip -c ../disc.cue");
    std::vector<std::string> items;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "rip")) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("item")) items.push_back(name);
    }
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"item0001.mpg", "item0005.mpg"}));
}

}  // namespace
}  // namespace qorvcd::test
