// Scripts that name the files people have (phone videos, PNG and JPEG
// pictures) build discs directly: the build converts them in its work folder,
// the log names the user's files, and the ripped disc holds the kind's codec,
// size and rate for as long as the sources last.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";

std::string PhoneVideo() {  // 1280x720, 30 fps, H.264 and AAC, 3 s
    return EnsureMedia("ordinary-phone-720p30.mp4",
                       std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=1280x720:rate=30 -f lavfi "
                                              "-i sine=frequency=440:sample_rate=48000 -t 3 -c:v libx264 "
                                              "-pix_fmt yuv420p -c:a aac -f mp4 {out}");
}
std::string SmallVideo() {  // 640x480, 25 fps, 2 s
    return EnsureMedia("ordinary-480p25.mp4",
                       std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=640x480:rate=25 -f lavfi "
                                              "-i sine=frequency=660:sample_rate=44100 -t 2 -c:v libx264 "
                                              "-pix_fmt yuv420p -c:a aac -f mp4 {out}");
}
std::string Png() {
    return EnsureMedia("ordinary-640x480.png", std::string(kFfmpeg) + "-f lavfi -i smptebars=size=640x480 -frames:v 1 -c:v png -f image2 {out}");
}
std::string Jpeg() {
    return EnsureMedia("ordinary-1920x1080.jpg",
                       std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=1920x1080 -frames:v 1 -c:v mjpeg -f image2 {out}");
}

struct Ripped {
    std::string codec;
    int width = 0, height = 0;
    std::string rate;
    double duration = 0;
};

Ripped Describe(const std::string& file) {
    Ripped r;
    const std::string out = Output("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height,"
                                   "r_frame_rate -show_entries format=duration -of default=nw=1 " + Quote(file));
    for (const auto& m : Matches(out, R"(^(\w+)=(.*)$)")) {
        if (m[0] == "codec_name") r.codec = m[1];
        if (m[0] == "width") r.width = std::atoi(m[1].c_str());
        if (m[0] == "height") r.height = std::atoi(m[1].c_str());
        if (m[0] == "r_frame_rate") r.rate = m[1];
        if (m[0] == "duration") r.duration = std::atof(m[1].c_str());
    }
    return r;
}

double Duration(const std::string& file) {
    return std::atof(Output("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(file)).c_str());
}

class OrdinaryFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg", "ffprobe", "vcdxrip", "vcd-info"}); !tool.empty())
            GTEST_SKIP() << "missing " << tool;
        for (const auto& [from, to] : {std::pair{PhoneVideo(), "phone.mp4"}, {SmallVideo(), "clip.mp4"},
                                       {Png(), "menu.png"}, {Jpeg(), "photo.jpg"}})
            WriteBytes(dir / to, ReadBytes(from));
    }
    // Builds `script` (CR LF lines) and rips its BIN/CUE into dir/rip.
    CommandResult BuildAndRip(const std::vector<std::string>& script, const std::string& options = "") {
        WriteScript(dir / "disc.txt", script);
        const CommandResult build =
            RunCommand("mkdir -p " + Quote(dir / "work") + " && " + Quote(CliPath()) + " build " + Quote(dir / "disc.txt") +
                       " -o " + Quote(dir / "disc.img") + " --bin-cue --work-dir " + Quote(dir / "work") + " " + options);
        RunCommand("mkdir -p " + Quote(dir / "rip") + " && cd " + Quote(dir / "rip") + " && vcdxrip -c ../disc.cue");
        return build;
    }
    TempDir dir;
};

TEST_F(OrdinaryFiles, APalSvcdScriptNamingPhoneVideosAndPicturesBuildsAndRipsBack) {
    const CommandResult build = BuildAndRip({
        "[VCD]", "MODE = SVCD", "ALBUM = \"PHONE\"", "VERSION = 1.0", "VOLUME = 1", "ANZVOL = 1", "[TRACK]",
        "MPEGTRACK AVSEQ01 phone.mp4 PAL AUDIO 2 TIME 3", "[PBC]", "SEGMENT",
        "SEGMENU = menu.png AUDIO 0 VIDEO 20", "SEGPHOT = photo.jpg AUDIO 0 VIDEO 20",
        "SEGCLIP = clip.mp4 AUDIO 1 VIDEO 28", "ENDSEGMENT",
        "SELECTION MAIN PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT PLAY1 TIMEOUT NONE WAIT 10 LOOP 1 "
        "PLAYITEM SEGMENU ITEMS 1 PLAY1 ENDITEMS ENDSELECT",
        "PLAYLIST PLAY1 PREVIOUS MAIN NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY AVSEQ01 ENDPLAYLIST"});
    ASSERT_EQ(build.exitCode, 0) << build.output;
    EXPECT_NE(build.output.find("Converting PHONE.MP4 for the disc..."), std::string::npos) << build.output;
    EXPECT_NE(build.output.find("Adding AVSEQ01.MPG from PHONE.MP4"), std::string::npos) << build.output;
    EXPECT_NE(build.output.find("It is PAL"), std::string::npos) << build.output;  // the line's PAL, not the 30 fps source
    EXPECT_EQ(RunCommand("ls -A " + Quote(dir / "work/TEMP")).output, "");

    const Ripped track = Describe(dir / "rip/avseq01.mpg");
    EXPECT_EQ(std::tuple(track.codec, track.width, track.height, track.rate),
              std::tuple(std::string("mpeg2video"), 480, 576, std::string("25/1")));
    EXPECT_NEAR(track.duration, Duration(dir / "phone.mp4"), 0.3);
    // Three segment items, all of the disc's PAL frame: two stills and the clip.
    int stills = 0, clips = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "rip")) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with("item")) continue;
        const Ripped item = Describe(entry.path().string());
        EXPECT_EQ(item.height, 576) << name;
        if (item.duration > 1.0) {
            ++clips;
            EXPECT_EQ(std::tuple(item.codec, item.width), std::tuple(std::string("mpeg2video"), 480)) << name;
            EXPECT_NEAR(item.duration, Duration(dir / "clip.mp4"), 0.3) << name;
        } else {
            ++stills;
        }
    }
    EXPECT_EQ(std::tuple(stills, clips), std::tuple(2, 1));
}

TEST_F(OrdinaryFiles, AVideoCd30ScriptNamingAPhoneVideoBuildsAnMpeg1Track) {
    const CommandResult build = BuildAndRip(
        {"[VCD]", "ALBUM = \"PHONE\"", "VERSION = 2.0", "VOLUME = 1", "ANZVOL = 1", "[TRACK]", "MPEGTRACK MUSIC01 phone.mp4",
         "MPEGTRACK MUSIC02 phone.mp4", "[PBC]"},
        "--vcd30");
    ASSERT_EQ(build.exitCode, 0) << build.output;
    // One conversion for the two tracks of one file.
    const std::string line = "Converting PHONE.MP4 for the disc...";
    const size_t first = build.output.find(line);
    EXPECT_TRUE(first != std::string::npos && build.output.find(line, first + 1) == std::string::npos)
        << build.output;
    for (const char* ripped : {"rip/avseq01.mpg", "rip/avseq02.mpg"}) {
        const Ripped track = Describe(dir / ripped);
        EXPECT_EQ(std::tuple(track.codec, track.width, track.height, track.rate),
                  std::tuple(std::string("mpeg1video"), 352, 240, std::string("30000/1001")))
            << ripped;
        EXPECT_NEAR(track.duration, Duration(dir / "phone.mp4"), 0.3) << ripped;
    }
}

}  // namespace
}  // namespace qorvcd::test
