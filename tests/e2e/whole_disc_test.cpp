// Whole discs of each kind: two tracks, a still and a clip as segments, a menu
// and play lists, one starting a track later. vcd-info must read the control
// files as our inspector does; vcdxrip must rip the SVCD's source frames back;
// builds with a fixed clock must be byte for byte the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

// The play-item number behind the inspector's "track 2", "entry 3" (entries
// count from 100) or "segment 1000".
int PlayItemNumber(const std::string& text) {
    const int n = std::atoi(text.c_str() + text.find(' ') + 1);
    return text.rfind("entry", 0) == 0 ? 99 + n : n;
}

class WholeDisc : public ::testing::TestWithParam<KindCase> {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg", "vcd-info"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
        sources = CopyKindMedia(GetParam(), dir.Path());
        WriteScript(dir / "disc.txt", WholeDiscScript(GetParam()));
    }
    TempDir dir;
    std::vector<std::string> sources;
};

TEST_P(WholeDisc, VcdInfoReadsTheControlFilesAsTheInspectorDoes) {
    const CommandResult build = BuildDisc(GetParam(), dir / "disc.txt", dir / "disc.img", dir.Path(), "--bin-cue");
    ASSERT_EQ(build.exitCode, 0) << build.output;
    const FlatImage flat = InspectFlat(dir / "disc.img");
    ASSERT_EQ(ListSize(flat, "tracks"), 3u);

    const std::string info = Output("vcd-info --no-ext-psd -c " + Quote(dir / "disc.cue"));
    EXPECT_EQ(Matches(info, kReaderComplaint).size(), 0u) << info;
    EXPECT_EQ(Matches(info, R"(^S?VCD/(INFO|ENTRIES|LOT|PSD)\.)").size(), 4u) << info;

    // Entries: both track starts, then the play list's later start in track 3.
    const auto entries = Matches(info, R"(ENTRY\[\d+\]: track#\s+(\d+) .*LSN\s+(\d+))");
    ASSERT_EQ(entries.size(), 3u) << info;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string key = "entries.entries." + std::to_string(i) + ".";
        EXPECT_EQ(std::stol(entries[i][0]) + 1, NumberAt(flat, key + "track")) << i;
        EXPECT_EQ(std::stol(entries[i][1]), NumberAt(flat, key + "sector")) << i;
    }
    const int64_t third = NumberAt(flat, "tracks.2.startSector"), later = NumberAt(flat, "entries.entries.2.sector");
    EXPECT_EQ(NumberAt(flat, "entries.entries.0.sector"), NumberAt(flat, "tracks.1.startSector"));
    EXPECT_EQ(NumberAt(flat, "entries.entries.1.sector"), third);
    EXPECT_TRUE(later > third + 10 && later < third + NumberAt(flat, "tracks.2.sectors")) << later;  // a second in

    // Segments: the clip first (ID order), then the still, 150 sectors apart.
    const auto segments = Matches(info, R"(SEGMENT\[(\d+)\]: .*LSN\s+(\d+))");
    ASSERT_EQ(int64_t(segments.size()), NumberAt(flat, "info.segments")) << info;
    for (size_t i = 0; i < segments.size(); ++i) EXPECT_EQ(std::stol(segments[i][1]), long(300 + 150 * i));
    const int clipSegments = int((ReadBytes(dir / "CLIP.MPS").size() / 2336 + 149) / 150);
    EXPECT_EQ(int(segments.size()), clipSegments + 1);

    // Menu and play lists, in list order, and what each plays.
    const auto items = Matches(info, R"(play-item(?:\[0\])?: \S+ \(0x([0-9a-f]+)\))");
    ASSERT_EQ(items.size(), 4u) << info;
    const int expected[] = {1000 + clipSegments, 2, 102, 1000};  // menu still, track 2, entry 3, clip
    for (size_t i = 0; i < items.size(); ++i) {
        const int inspected = PlayItemNumber(flat.at("playbackControl.lists." + std::to_string(i) + ".playItem"));
        EXPECT_EQ(std::stoi(items[i][0], nullptr, 16), inspected) << i;
        EXPECT_EQ(inspected, expected[i]) << i;
    }
}

class SvcdDisc : public WholeDisc {};

TEST_P(SvcdDisc, RippedTracksPlayTheSourceFrames) {
    if (const std::string tool = MissingTool({"vcdxrip", "ffprobe"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
    ASSERT_EQ(BuildDisc(GetParam(), dir / "disc.txt", dir / "disc.img", dir.Path(), "--bin-cue").exitCode, 0);
    const std::string rip = Output("mkdir " + Quote(dir / "rip") + " && cd " + Quote(dir / "rip") + " && vcdxrip --cue-file=" +
                                   Quote(dir / "disc.cue") + " -p");
    const auto frames = [](const std::string& path) {
        return Output("ffmpeg -nostdin -hide_banner -loglevel error -i " + Quote(path) + " -map 0:v -f framemd5 - | grep -v '^#'");
    };

    const FlatImage flat = InspectFlat(dir / "disc.img");
    double cumulative = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string ripped = dir / ("rip/avseq0" + std::to_string(i + 1) + ".mpg");
        ASSERT_TRUE(FileExists(ripped)) << rip;
        const std::string sourceFrames = frames(sources[i]);
        EXPECT_GT(std::count(sourceFrames.begin(), sourceFrames.end(), '\n'), 40);
        EXPECT_EQ(frames(ripped), sourceFrames) << ripped;
        // TRACKS.SVD holds the running playing time as minutes, seconds, frames.
        cumulative += std::atof(
            Output("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(sources[i])).c_str());
        int m = 0, s = 0, f = 0;
        ASSERT_EQ(std::sscanf(flat.at("tracksFile.tracks." + std::to_string(i) + ".time").c_str(), "%d:%d:%d", &m, &s, &f), 3);
        EXPECT_NEAR(m * 60 + s + f / 75.0, cumulative, 1.0 * (i + 1)) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SvcdDisc, ::testing::Values(AllKinds()[1]),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(WholeDisc, FixedClockBuildsAreByteIdentical) {
    std::vector<std::vector<uint8_t>> images;  // two with one clock, under other names; one with another clock
    for (const auto& [name, epoch] : {std::pair{"one", "1700000000"}, {"two", "1700000000"}, {"three", "1600000000"}}) {
        const std::string image = dir / name + "/" + name + ".img", clock = std::string("SOURCE_DATE_EPOCH=") + epoch + " ";
        ASSERT_EQ(BuildDisc(GetParam(), dir / "disc.txt", image, dir / name + "/", "", clock).exitCode, 0);
        images.push_back(ReadBytes(image));
    }
    ASSERT_GT(images[0].size(), 100000u);
    EXPECT_TRUE(images[0] == images[1]);
    EXPECT_FALSE(images[0] == images[2]);  // the clock does reach the image
}

INSTANTIATE_TEST_SUITE_P(Kinds, WholeDisc, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorvcd::test
