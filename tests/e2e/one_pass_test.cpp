// The BIN and cue sheet a build writes in the same pass as its image, or
// instead of it, are byte for byte what the export makes from the finished
// image: every sector, the ones the layout rewrites after writing them
// included (directory records, the track folder, ENTRIES, SEARCH.DAT, the
// PSD, SCANDATA, the CVD track table, the volume descriptor).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "session/qorvcd_c.h"
#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> NamesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

class OnePassBinCue : public ::testing::TestWithParam<KindCase> {};

TEST_P(OnePassBinCue, TheBuildsBinAndCueAreTheExportsOfItsImage) {
    if (const std::string tool = MissingTool({"ffmpeg"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
    const KindCase& kind = GetParam();
    TempDir dir;
    CopyKindMedia(kind, dir.Path());
    RunCommand("mkdir -p " + Quote(dir / "image") + " " + Quote(dir / "export") + " " + Quote(dir / "both") + " " +
               Quote(dir / "bin"));
    WriteWholeDiscWithFiles(kind, dir.Path());
    const std::string clock = "SOURCE_DATE_EPOCH=1000000 ";

    // The old route: the image, then its export.
    ASSERT_EQ(BuildDisc(kind, dir / "disc.txt", dir / "image/disc.img", dir.Path(), "", clock).exitCode, 0);
    const CommandResult exported = RunCommand(Quote(CliPath()) + " export " + Quote(dir / "image/disc.img") + " -o " +
                                              Quote(dir / "export/disc.cue"));
    ASSERT_EQ(exported.exitCode, 0) << exported.output;
    // The image and its BIN/CUE from one pass, and the BIN/CUE alone.
    const CommandResult both = BuildDisc(kind, dir / "disc.txt", dir / "both/disc.img", dir.Path(), "--bin-cue", clock);
    ASSERT_EQ(both.exitCode, 0) << both.output;
    const CommandResult alone = BuildDisc(kind, dir / "disc.txt", dir / "bin/disc.cue", dir.Path(), "", clock);
    ASSERT_EQ(alone.exitCode, 0) << alone.output;
    EXPECT_NE(alone.output.find(dir / "bin/disc.bin"), std::string::npos) << alone.output;

    const std::string bin = ReadText(dir / "export/disc.bin");
    const std::string cue = ReadText(dir / "export/disc.cue");
    ASSERT_GT(bin.size(), 300u * 2352);
    EXPECT_TRUE(ReadText(dir / "both/disc.bin") == bin) << "the BIN written beside the image differs";
    EXPECT_EQ(ReadText(dir / "both/disc.cue"), cue);
    EXPECT_TRUE(ReadText(dir / "both/disc.img") == ReadText(dir / "image/disc.img")) << "the image differs";
    EXPECT_TRUE(ReadText(dir / "bin/disc.bin") == bin) << "the BIN written alone differs";
    EXPECT_EQ(ReadText(dir / "bin/disc.cue"), cue);
    EXPECT_EQ(NamesIn(dir / "bin"), (std::set<std::string>{"disc.bin", "disc.cue"}));
    EXPECT_EQ(NamesIn(dir / "both"), (std::set<std::string>{"disc.bin", "disc.cue", "disc.img"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, OnePassBinCue, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

// A program stream that fits the kind, named in the script as it came from
// the multiplexer, is packed into units as it is copied into its track: the
// disc is the one built from the stream packed first with `qorvcd pack`.
class PackedOnCopy : public ::testing::TestWithParam<KindCase> {};

TEST_P(PackedOnCopy, AProgramStreamGivesTheDiscOfItsPackedFile) {
    if (const std::string tool = MissingTool({"ffmpeg"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
    const KindCase& kind = GetParam();
    TempDir dir;
    const std::vector<std::string> sources = CopyKindMedia(kind, dir.Path());
    WriteBytes(dir / "A.MPG", ReadBytes(sources[0]));
    WriteBytes(dir / "B.MPG", ReadBytes(sources[1]));
    WriteText(dir / "A.EP", kind.vcd30 ? "" : "PAL\r\nAUDIO 2\r\nTIME 3\r\n1.0\r\n");
    std::vector<std::string> script = WholeDiscScript(kind);
    WriteScript(dir / "packed.txt", script);
    for (std::string& line : script) {
        for (const char* track : {"A.MPS", "B.MPS"}) {
            if (const size_t at = line.find(track); at != std::string::npos && line.starts_with("MPEGTRACK"))
                line.replace(at + 2, 3, "MPG");
        }
    }
    WriteScript(dir / "streams.txt", script);
    RunCommand("mkdir -p " + Quote(dir / "packed") + " " + Quote(dir / "streams"));
    const std::string clock = "SOURCE_DATE_EPOCH=1000000 ";

    const CommandResult packed = BuildDisc(kind, dir / "packed.txt", dir / "packed/disc.cue", dir.Path(), "", clock);
    ASSERT_EQ(packed.exitCode, 0) << packed.output;
    const CommandResult streams = BuildDisc(kind, dir / "streams.txt", dir / "streams/disc.img", dir.Path(), "--bin-cue", clock);
    ASSERT_EQ(streams.exitCode, 0) << streams.output;
    EXPECT_EQ(streams.output.find("Converting"), std::string::npos) << "converted instead of packed as copied:\n"
                                                                     << streams.output;
    EXPECT_NE(streams.output.find("Adding " + std::string(kind.trackPrefix) + "01." + (kind.vcd30 ? "DAT" : "MPG") +
                                  " from A.MPG"),
              std::string::npos)
        << streams.output;
    EXPECT_TRUE(ReadText(dir / "streams/disc.bin") == ReadText(dir / "packed/disc.bin")) << "the BINs differ";
    EXPECT_EQ(ReadText(dir / "streams/disc.cue"), ReadText(dir / "packed/disc.cue"));

    // A standard disc fills the scan information of the stream's units as
    // packed, in the pre-scan as in the copy.
    if (kind.vcd30) return;
    RunCommand("mkdir -p " + Quote(dir / "packed-std") + " " + Quote(dir / "streams-std"));
    const CommandResult packedStd =
        BuildDisc(kind, dir / "packed.txt", dir / "packed-std/disc.cue", dir.Path(), "--standard", clock);
    ASSERT_EQ(packedStd.exitCode, 0) << packedStd.output;
    const CommandResult streamsStd =
        BuildDisc(kind, dir / "streams.txt", dir / "streams-std/disc.cue", dir.Path(), "--standard", clock);
    ASSERT_EQ(streamsStd.exitCode, 0) << streamsStd.output;
    if (std::string(kind.packKind) != "cvd") {
        EXPECT_NE(streamsStd.output.find("scan information blocks of A.MPG"), std::string::npos) << streamsStd.output;
    }
    EXPECT_TRUE(ReadText(dir / "streams-std/disc.bin") == ReadText(dir / "packed-std/disc.bin")) << "the BINs differ";
}

INSTANTIATE_TEST_SUITE_P(Kinds, PackedOnCopy, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

// A BIN/CUE build that fails leaves neither file, nor anything else, behind;
// an existing BIN and cue sheet stay as they were.
TEST(OnePassBinCueFailure, AFailedBuildLeavesTheBinAndCueAsTheyWere) {
    if (const std::string tool = MissingTool({"ffmpeg"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
    const KindCase& kind = AllKinds()[1];
    TempDir dir;
    CopyKindMedia(kind, dir.Path());
    WriteScript(dir / "disc.txt", WholeDiscScript(kind));
    WriteText(dir / "B.MPS", std::string(2336 * 3, 'x'));  // no track format
    WriteText(dir / "disc.bin", "an older BIN");
    WriteText(dir / "disc.cue", "an older cue sheet");
    RunCommand("mkdir -p " + Quote(dir / "work"));
    const std::set<std::string> before = NamesIn(dir.Path());
    const CommandResult build = BuildDisc(kind, dir / "disc.txt", dir / "disc.cue", dir.Path());
    EXPECT_NE(build.exitCode, 0) << build.output;
    EXPECT_NE(build.output.find(">>> Fail <<<"), std::string::npos) << build.output;
    EXPECT_EQ(ReadText(dir / "disc.bin"), "an older BIN");
    EXPECT_EQ(ReadText(dir / "disc.cue"), "an older cue sheet");
    EXPECT_EQ(NamesIn(dir.Path()), before);
    EXPECT_TRUE(NamesIn(dir / "work/TEMP").empty());
}

// The C interface asks for the BIN and cue sheet with its flags.
TEST(OnePassBinCueCApi, FlagsAskForTheBinAndCueBesideOrInsteadOfTheImage) {
    if (const std::string tool = MissingTool({"ffmpeg"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
    const KindCase& kind = AllKinds()[1];
    TempDir dir;
    CopyKindMedia(kind, dir.Path());
    WriteScript(dir / "disc.txt", WholeDiscScript(kind));
    RunCommand("mkdir -p " + Quote(dir / "both") + " " + Quote(dir / "alone") + " " + Quote(dir / "refused"));
    ::setenv("SOURCE_DATE_EPOCH", "1000000", 1);
    const std::string script = dir / "disc.txt", work = dir.Path(), settings = SourceDir() + "/settings/";
    const auto build = [&](const std::string& target, unsigned flags) {
        qorvcd_build_options o{};
        o.image_path = target.c_str();
        o.script_path = script.c_str();
        o.work_dir = work.c_str();
        o.settings_dir = settings.c_str();
        return qorvcd_build_flags(&o, flags);
    };
    EXPECT_EQ(build(dir / "both/disc.img", QORVCD_BUILD_BIN_CUE), 0);
    EXPECT_EQ(build(dir / "alone/disc.cue", QORVCD_BUILD_BIN_CUE_ONLY), 0);
    EXPECT_EQ(build(dir / "refused/disc.cue", 0x80u), 2000);
    EXPECT_EQ(NamesIn(dir / "both"), (std::set<std::string>{"disc.bin", "disc.cue", "disc.img"}));
    EXPECT_EQ(NamesIn(dir / "alone"), (std::set<std::string>{"disc.bin", "disc.cue"}));
    EXPECT_TRUE(NamesIn(dir / "refused").empty());
    EXPECT_TRUE(ReadText(dir / "alone/disc.bin") == ReadText(dir / "both/disc.bin"));
    EXPECT_EQ(ReadText(dir / "alone/disc.cue"), ReadText(dir / "both/disc.cue"));
}

}  // namespace
}  // namespace qorvcd::test
