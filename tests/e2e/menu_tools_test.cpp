// The user's views of a finished disc's menus, on the whole-disc SVCD (a
// menu MAIN with choices 1 PLAY1, 2 PLAY2, 3 CLIP; PLAY1 goes on to PLAY2;
// every play list returns to MAIN): the short `inspect` summary, the
// Graphviz graph of `inspect --graph` and `navigate`, which must follow the
// links exactly as a player does. The lists are numbered as the disc numbers
// them: MAIN 1 (the start list), PLAY1 2, PLAY2 3, CLIP 4.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>

#include "imagetools/inspect.h"
#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

const KindCase& Svcd() { return AllKinds()[1]; }

class MenuTools : public ::testing::Test {
protected:
    // One disc for every test here: a build takes seconds.
    static void SetUpTestSuite() {
        if (!MissingTool({"ffmpeg"}).empty()) return;
        dir_ = std::make_unique<TempDir>();
        CopyKindMedia(Svcd(), dir_->Path());
        WriteScript(*dir_ / "disc.txt", WholeDiscScript(Svcd()));
        const CommandResult build = BuildDisc(Svcd(), *dir_ / "disc.txt", *dir_ / "disc.img", dir_->Path());
        built_ = build.exitCode == 0;
        buildLog_ = build.output;
    }
    static void TearDownTestSuite() { dir_.reset(); }
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
        ASSERT_TRUE(built_) << buildLog_;
    }
    static std::string Image() { return *dir_ / "disc.img"; }
    static std::string Cli() { return Quote(CliPath()); }

    static std::unique_ptr<TempDir> dir_;
    static bool built_;
    static std::string buildLog_;
};
std::unique_ptr<TempDir> MenuTools::dir_;
bool MenuTools::built_ = false;
std::string MenuTools::buildLog_;

size_t LineCount(const std::string& text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

// The list numbers a navigation arrives at, in order ("list N, ..." lines).
std::vector<int> Visited(const std::string& output) {
    std::vector<int> lists;
    for (const auto& m : Matches(output, R"(^list (\d+), )")) lists.push_back(std::stoi(m[0]));
    return lists;
}

TEST_F(MenuTools, TheSummaryFitsAScreenAndNamesAlbumTracksSegmentsAndChoices) {
    const CommandResult r = RunCommand(Cli() + " inspect " + Quote(Image()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string& s = r.output;
    EXPECT_LE(LineCount(s), 60u) << s;
    EXPECT_NE(s.find("SVCD image"), std::string::npos) << s;
    EXPECT_NE(s.find("Album: \"WHOLE DISC\", disc 1 of 1"), std::string::npos) << s;
    EXPECT_NE(s.find("Volume: WHOLE_DISC"), std::string::npos) << s;
    // Both video tracks with their files and playing times (3 s and 2 s of media).
    const auto tracks = Matches(s, R"(^  track (\d+) +video +(\d+):(\d\d) +\S+ [KM]B +(\S+)$)");
    ASSERT_EQ(tracks.size(), 2u) << s;
    const std::string expected[][2] = {{"2", "/MPEGAV/AVSEQ01.MPG"}, {"3", "/MPEGAV/AVSEQ02.MPG"}};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(tracks[i][0], expected[i][0]);
        EXPECT_EQ(tracks[i][3], expected[i][1]);
        EXPECT_NEAR(std::stoi(tracks[i][1]) * 60 + std::stoi(tracks[i][2]), 3 - int(i), 1) << s;
    }
    // The clip (two segments) and the still, each a segment item with its own file.
    const auto segments = Matches(s, R"(^  segment (\d+) +(\d+) segments? +(/SEGMENT/\S+)$)");
    ASSERT_EQ(segments.size(), 2u) << s;
    EXPECT_EQ(segments[0][0], "1000");
    EXPECT_EQ(std::stoi(segments[1][0]), 1000 + std::stoi(segments[0][1]));
    EXPECT_NE(segments[0][2], segments[1][2]);
    const std::string clip = segments[0][0], still = segments[1][0];
    // Three entry points: both track starts and PLAY2's start a second in.
    EXPECT_NE(s.find("Entry points: 3"), std::string::npos) << s;
    EXPECT_EQ(Matches(s, R"(^  entry 2 +track 3 \+0 sectors$)").size(), 1u) << s;
    EXPECT_EQ(Matches(s, R"(^  entry 3 +track 3 \+[1-9]\d* sectors$)").size(), 1u) << s;
    // The menu, its choices and the lists behind them.
    EXPECT_NE(s.find("Menus: 4 lists, starting at list 1"), std::string::npos) << s;
    EXPECT_EQ(Matches(s, "^  list 1 +selection: segment " + still + R"( \(/SEGMENT/\S+\), wait 10 s; DEFAULT list 2$)").size(),
              1u) << s;
    EXPECT_EQ(Matches(s, R"(^ +choices: 1 -> list 2, 2 -> list 3, 3 -> list 4$)").size(), 1u) << s;
    EXPECT_EQ(Matches(s, R"(^  list 2 +play list: track 2 .*; PREVIOUS list 1; NEXT list 3; RETURN list 1$)").size(),
              1u) << s;
    EXPECT_EQ(Matches(s, "^  list 4 +play list: segment " + clip + R"( .*wait 5 s; RETURN list 1$)").size(), 1u) << s;
    EXPECT_NE(s.find("Warnings: none"), std::string::npos) << s;
}

TEST_F(MenuTools, FullAndJsonKeepTheDetailedViews) {
    DecodedImage decoded;
    std::string error;
    ASSERT_TRUE(DecodeImage(Image(), decoded, error)) << error;
    EXPECT_EQ(Output(Cli() + " inspect --full " + Quote(Image())), InspectText(decoded));
    EXPECT_EQ(Output(Cli() + " inspect --json " + Quote(Image())), InspectJson(decoded));
}

TEST_F(MenuTools, TheGraphNamesEveryListAndEveryLink) {
    TempDir out;
    const CommandResult r = RunCommand(Cli() + " inspect " + Quote(Image()) + " --graph " + Quote(out / "menus.dot"));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const std::string dot = ReadText(out / "menus.dot");
    EXPECT_EQ(dot.rfind("digraph", 0), 0u) << dot;

    std::set<std::tuple<int, int, std::string>> edges;
    for (const auto& m : Matches(dot, R"re(^\s*L(\d+) -> L(\d+) \[label="([^"]+)"\];$)re")) {
        edges.emplace(std::stoi(m[0]), std::stoi(m[1]), m[2]);
    }
    const std::set<std::tuple<int, int, std::string>> expected = {
        {1, 2, "1"},        {1, 3, "2"},    {1, 4, "3"},         {1, 2, "DEFAULT"},
        {2, 1, "PREVIOUS"}, {2, 3, "NEXT"}, {2, 1, "RETURN"},    {3, 2, "PREVIOUS"},
        {3, 1, "RETURN"},   {4, 1, "RETURN"}};
    EXPECT_EQ(edges, expected) << dot;

    // Every list is a node with its play item and wait; the start is marked.
    const auto nodes = Matches(dot, R"re(^\s*L(\d+) \[label="list \d+( \(start\))?\\n([a-z ]+)\\n([^\\]+)\\nwait ([^"]+)")re");
    ASSERT_EQ(nodes.size(), 4u) << dot;
    EXPECT_EQ(nodes[0][1], " (start)");
    EXPECT_EQ(nodes[0][2], "selection");
    EXPECT_EQ(nodes[0][4], "10 s");
    EXPECT_EQ(nodes[1][3].rfind("track 2 (/MPEGAV/AVSEQ01.MPG, 0:0", 0), 0u) << nodes[1][3];
    EXPECT_EQ(nodes[2][3].rfind("entry 3 (track 3 +", 0), 0u) << nodes[2][3];
    EXPECT_EQ(nodes[3][3].rfind("segment 1000 (/SEGMENT/", 0), 0u) << nodes[3][3];
    EXPECT_EQ(nodes[3][4], "5 s");
    EXPECT_EQ(Matches(dot, R"(^\s*start -> L1;$)").size(), 1u) << dot;

    if (HaveProgram("dot")) {
        EXPECT_NE(ReadText(out / "menus.svg").find("<svg"), std::string::npos);
    } else {
        EXPECT_FALSE(FileExists(out / "menus.svg"));
    }
}

TEST_F(MenuTools, AGraphThatWouldOverwriteTheImageIsRefused) {
    const std::vector<uint8_t> before = ReadBytes(Image());
    const CommandResult r = RunCommand(Cli() + " inspect " + Quote(Image()) + " --graph " + Quote(Image()));
    EXPECT_NE(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("would overwrite the image " + Image()), std::string::npos) << r.output;
    EXPECT_TRUE(ReadBytes(Image()) == before);
}

TEST_F(MenuTools, NavigateFollowsTheMenuAsAPlayerDoes) {
    const CommandResult r = RunCommand(Cli() + " navigate " + Quote(Image()) + " --keys \"1 return 2 next\"");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    // MAIN, 1 to PLAY1, RETURN to MAIN, 2 to PLAY2; PLAY2 has no NEXT.
    EXPECT_EQ(Visited(r.output), (std::vector<int>{1, 2, 1, 3})) << r.output;
    EXPECT_NE(r.output.find("list 3 has no NEXT link; staying at list 3"), std::string::npos) << r.output;
    // Each step shows what plays and what the keys do.
    EXPECT_EQ(Matches(r.output, R"(^list 1, selection \(start\): segment 10\d\d \(/SEGMENT/ITEM\d+\.MPG\), wait 10 s$)").size(),
              2u) << r.output;
    EXPECT_NE(r.output.find("  3 -> list 4\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("list 2, play list: track 2 (/MPEGAV/AVSEQ01.MPG, 0:0"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("list 3, play list: entry 3 (track 3 +"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("  PREVIOUS -> list 2, RETURN -> list 1\n"), std::string::npos) << r.output;
}

TEST_F(MenuTools, NavigateReadsKeysFromInputAndStaysOnKeysThatLeadNowhere) {
    // 9 is no choice; TIMEOUT is none on MAIN; DEFAULT leads to PLAY1, whose
    // end goes on to PLAY2; previous goes back to PLAY1.
    const CommandResult r = RunCommand("printf '3\\nreturn 9\\ntimeout, default\\ntimeout\\nprev\\nquit\\nnext\\n' | " +
                                       Cli() + " navigate " + Quote(Image()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Visited(r.output), (std::vector<int>{1, 4, 1, 2, 3, 2})) << r.output;
    EXPECT_NE(r.output.find("list 1 has no choice 9; staying at list 1"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("list 1 has no TIMEOUT link"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("> next"), std::string::npos) << r.output;  // nothing after quit
}

}  // namespace
}  // namespace qorvcd::test
