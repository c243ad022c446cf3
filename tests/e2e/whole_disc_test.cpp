// Whole discs of each kind: two tracks, a bitmap still and an MPEG clip in
// the segment area, a menu and play lists, one of which starts a track at a
// later time. VCDImager's vcd-info must read the control files as our
// inspector does; vcdxrip must get the source frames back out of the SVCD;
// and builds with a fixed clock must be byte for byte the same.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

std::vector<std::string> WholeDiscScript(const KindCase& kind) {
    const std::string p = kind.trackPrefix;
    const auto clause = [&](const std::string& text) { return kind.vcd30 ? std::string() : " " + text; };
    std::vector<std::string> s = {"[VCD]"};
    if (*kind.mode) s.push_back(std::string("MODE = ") + kind.mode);
    s.insert(s.end(), {
        "ALBUM = \"WHOLE DISC\"", "VERSION = 2.0", "VOLUME = 1", "ANZVOL = 1", "[TRACK]",
        "MPEGTRACK " + p + "01 A.MPS" + clause("PAL AUDIO 2 TIME 3"),
        "MPEGTRACK " + p + "02 B.MPS" + clause("PAL AUDIO 2 TIME 2"),
        "[PBC]", "SEGMENT",
        "SEGMENU = MENU.BMP" + clause("AUDIO 0 VIDEO 20"),
        "SEGCLIP = CLIP.MPS" + clause("AUDIO 1 VIDEO 28"),
        "ENDSEGMENT",
        "SELECTION MAIN PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT PLAY1 TIMEOUT NONE WAIT 10 LOOP 1 "
        "PLAYITEM SEGMENU ITEMS 1 PLAY1 2 PLAY2 3 CLIP ENDITEMS ENDSELECT",
        "PLAYLIST PLAY1 PREVIOUS MAIN NEXT PLAY2 RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY " + p + "01 ENDPLAYLIST",
        "PLAYLIST PLAY2 PREVIOUS PLAY1 NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY " + p + "02 FROM 1.0 TO 2 ENDPLAYLIST",
        "PLAYLIST CLIP PREVIOUS NONE NEXT NONE RETURN MAIN WAIT 5 AUTOWAIT 0 PLAY SEGCLIP ENDPLAYLIST",
        "[ISO9660]", "VOLUME_ID = WHOLE_DISC"});
    return s;
}

// The play-item number a PSD descriptor holds for the inspector's text.
int PlayItemNumber(const std::string& text) {
    const size_t space = text.find(' ');
    const int n = std::atoi(text.c_str() + space + 1);
    return text.rfind("entry", 0) == 0 ? 99 + n : n;  // entries count from 100
}

class WholeDisc : public ::testing::TestWithParam<KindCase> {
protected:
    void SetUp() override {
        std::string missing;
        if (!HaveTools({"ffmpeg", "vcd-info"}, missing)) GTEST_SKIP() << missing << " is missing";
        sources = CopyKindMedia(GetParam(), dir.Path());
        WriteScript(dir / "disc.txt", WholeDiscScript(GetParam()));
    }
    TempDir dir;
    std::vector<std::string> sources;
};

TEST_P(WholeDisc, VcdInfoReadsTheControlFilesAsTheInspectorDoes) {
    const CommandResult build = BuildDisc(GetParam(), dir / "disc.txt", dir / "disc.img", dir.Path(), "--bin-cue");
    ASSERT_EQ(build.exitCode, 0) << build.output;
    // One bitmap, converted in three passes.
    for (const char* pass : {"^Passing 1, ", "^Passing 2, ", "^Passing 3, "})
        EXPECT_EQ(Matches(build.output, pass).size(), 1u) << pass << "\n" << build.output;

    bool decoded = false;
    const FlatImage flat = InspectFlat(dir / "disc.img", &decoded);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(ListSize(flat, "tracks"), 3u);

    const CommandResult info = RunCommand("vcd-info --no-ext-psd -c " + Quote(dir / "disc.cue"));
    ASSERT_EQ(info.exitCode, 0) << info.output;
    EXPECT_EQ(Matches(info.output, kReaderComplaint).size(), 0u) << info.output;
    EXPECT_EQ(Matches(info.output, R"(^S?VCD/(INFO|ENTRIES|LOT|PSD)\.)").size(), 4u) << info.output;

    // Track starts.
    const auto tracks = Matches(info.output, R"(^\s+([23]): \d\d:\d\d:\d\d\s+(\d+)\s+XA)");
    ASSERT_EQ(tracks.size(), 2u) << info.output;
    for (const auto& t : tracks)
        EXPECT_EQ(std::stol(t[1]), NumberAt(flat, "tracks." + std::to_string(std::stoi(t[0]) - 1) + ".startSector"));

    // Entries: both track starts, then the play list's later start in track 3.
    const auto entries = Matches(info.output, R"(ENTRY\[\d+\]: track#\s+(\d+) .*LSN\s+(\d+))");
    ASSERT_EQ(entries.size(), 3u) << info.output;
    ASSERT_EQ(ListSize(flat, "entries.entries"), 3u);
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string key = "entries.entries." + std::to_string(i) + ".";
        EXPECT_EQ(std::stol(entries[i][0]) + 1, NumberAt(flat, key + "track")) << i;
        EXPECT_EQ(std::stol(entries[i][1]), NumberAt(flat, key + "sector")) << i;
    }
    const int64_t thirdStart = NumberAt(flat, "tracks.2.startSector");
    EXPECT_EQ(NumberAt(flat, "entries.entries.0.sector"), NumberAt(flat, "tracks.1.startSector"));
    EXPECT_EQ(NumberAt(flat, "entries.entries.1.sector"), thirdStart);
    EXPECT_GT(NumberAt(flat, "entries.entries.2.sector"), thirdStart + 10);  // a second into the track
    EXPECT_LT(NumberAt(flat, "entries.entries.2.sector"), thirdStart + NumberAt(flat, "tracks.2.sectors"));

    // Segments: the clip first (ID order), then the still, 150 sectors apart.
    const auto segments = Matches(info.output, R"(SEGMENT\[(\d+)\]: .*LSN\s+(\d+))");
    ASSERT_EQ(int64_t(segments.size()), NumberAt(flat, "info.segments")) << info.output;
    for (size_t i = 0; i < segments.size(); ++i) EXPECT_EQ(std::stol(segments[i][1]), long(300 + 150 * i));
    const int clipSegments = int((ReadBytes(dir / "CLIP.MPS").size() / 2336 + 149) / 150);
    EXPECT_EQ(int(segments.size()), clipSegments + 1);

    // Menu and play lists, in list order, and what each plays.
    EXPECT_EQ(Matches(info.output, R"(^ LID\[\d+\]: offset)").size(), 4u);
    ASSERT_EQ(ListSize(flat, "playbackControl.lists"), 4u);
    const auto items = Matches(info.output, R"(play-item(?:\[0\])?: \S+ \(0x([0-9a-f]+)\))");
    ASSERT_EQ(items.size(), 4u) << info.output;
    const int expected[] = {1000 + clipSegments, 2, 102, 1000};  // menu still, track 2, entry 3, clip
    for (size_t i = 0; i < items.size(); ++i) {
        const int inspected = PlayItemNumber(flat.at("playbackControl.lists." + std::to_string(i) + ".playItem"));
        EXPECT_EQ(std::stoi(items[i][0], nullptr, 16), inspected) << i;
        EXPECT_EQ(inspected, expected[i]) << i;
    }
}

class SvcdDisc : public WholeDisc {};

double DurationOf(const std::string& path) {
    const CommandResult r = RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(path));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return std::atof(r.output.c_str());
}

std::string VideoFrameHashes(const std::string& path) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -i " + Quote(path) +
                                       " -map 0:v -f framemd5 - | grep -v '^#'");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}

TEST_P(SvcdDisc, RippedTracksPlayTheSourceFrames) {
    std::string missing;
    if (!HaveTools({"vcdxrip", "ffprobe"}, missing)) GTEST_SKIP() << missing << " is missing";
    ASSERT_EQ(BuildDisc(GetParam(), dir / "disc.txt", dir / "disc.img", dir.Path(), "--bin-cue").exitCode, 0);
    RunCommand("mkdir " + Quote(dir / "rip"));
    const CommandResult rip = RunCommand("cd " + Quote(dir / "rip") + " && vcdxrip --cue-file=" + Quote(dir / "disc.cue") + " -p");
    ASSERT_EQ(rip.exitCode, 0) << rip.output;

    const FlatImage flat = InspectFlat(dir / "disc.img", nullptr);
    double cumulative = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string ripped = dir / ("rip/avseq0" + std::to_string(i + 1) + ".mpg");
        ASSERT_TRUE(FileExists(ripped)) << rip.output;
        const std::string frames = VideoFrameHashes(sources[i]);
        EXPECT_GT(std::count(frames.begin(), frames.end(), '\n'), 40);
        EXPECT_EQ(VideoFrameHashes(ripped), frames) << ripped;
        const double duration = DurationOf(sources[i]);
        EXPECT_NEAR(DurationOf(ripped), duration, 0.05);
        // TRACKS.SVD holds the running playing time as minutes, seconds, frames.
        cumulative += duration;
        int m = 0, s = 0, f = 0;
        ASSERT_EQ(std::sscanf(flat.at("tracksFile.tracks." + std::to_string(i) + ".time").c_str(), "%d:%d:%d", &m, &s, &f), 3);
        EXPECT_NEAR(m * 60 + s + f / 75.0, cumulative, 1.0 * (i + 1)) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SvcdDisc, ::testing::Values(AllKinds()[1]),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(WholeDisc, FixedClockBuildsAreByteIdentical) {
    const std::string fixed = "SOURCE_DATE_EPOCH=1700000000 ";
    RunCommand("mkdir " + Quote(dir / "one") + " " + Quote(dir / "two") + " " + Quote(dir / "three"));
    const KindCase& kind = GetParam();
    ASSERT_EQ(BuildDisc(kind, dir / "disc.txt", dir / "one/a.img", dir / "one/", "", fixed).exitCode, 0);
    ASSERT_EQ(BuildDisc(kind, dir / "disc.txt", dir / "two/b.img", dir / "two/", "", fixed).exitCode, 0);
    ASSERT_EQ(BuildDisc(kind, dir / "disc.txt", dir / "three/c.img", dir / "three/", "",
                        "SOURCE_DATE_EPOCH=1600000000 ").exitCode, 0);
    const std::vector<uint8_t> first = ReadBytes(dir / "one/a.img");
    ASSERT_GT(first.size(), 100000u);
    EXPECT_TRUE(first == ReadBytes(dir / "two/b.img"));
    EXPECT_FALSE(first == ReadBytes(dir / "three/c.img"));  // the clock does reach the image
}

INSTANTIATE_TEST_SUITE_P(Kinds, WholeDisc, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorvcd::test
