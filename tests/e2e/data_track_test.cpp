// A disc of each kind with its data track only: the author's folder lists and
// an application folder. Our inspector and, after export, Debian's cd-info,
// iso-info and iso-read must see the same files at the same places.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

class DataTrackDisc : public ::testing::TestWithParam<KindCase> {
protected:
    void SetUp() override {
        const std::string tool = MissingTool({"ffmpeg", "cd-info", "iso-info", "iso-read"});
        if (!tool.empty()) GTEST_SKIP() << "missing " << tool;
        const KindCase& kind = GetParam();
        CopyKindMedia(kind, dir.Path());
        std::string binary(5000, '\0');
        for (size_t i = 0; i < binary.size(); ++i) binary[i] = char(i * 7 + 3);
        RunCommand("mkdir -p " + Quote(dir / "more") + " " + Quote(dir / "title/comp"));
        const std::pair<const char*, std::string> files[] = {
            {"readme.txt", "A plain text file on the disc.\n"}, {"notes.bin", binary}, {"more/deep.txt", "deeper"},
            {"title/index.htm", "<html></html>"}, {"title/comp/HELP.CHM", "help pages"},
            {"title/comp/SND.WAV", std::string(3000, 'w')}};
        for (const auto& [path, text] : files) WriteText(dir / path, text);
        for (const char* clip : {"clip.mpg", "title/comp/MOV.MPG"}) WriteBytes(dir / clip, ReadBytes(dir / "CLIP.MPS"));

        std::vector<std::string> script = {"[VCD]"};
        if (*kind.mode) script.push_back(std::string("MODE = ") + kind.mode);
        script.insert(script.end(), {"ALBUM = \"DATA DISC\"", "VERSION = 2.0", "VOLUME = 1", "ANZVOL = 1", "[TRACK]",
                                     "[PBC]", "[ISO9660]", "VOLUME_ID = DATA_ONLY", "[VCD30]", "FOLDER \\DOCS",
                                     "  README.TXT readme.txt", "  NOTES.BIN notes.bin", "  CLIP.MPG clip.mpg",
                                     "ENDFOLDER", "FOLDER \\DOCS\\MORE", "  DEEP.TXT more\\deep.txt", "ENDFOLDER"});
        if (*kind.appFolder) script.insert(script.end(), {"TITLEHOMEDIR = title", "HOMEPAGE = index.htm"});
        script.push_back("ENDFILE");
        WriteScript(dir / "disc.txt", script);
    }

    TempDir dir;
};

TEST_P(DataTrackDisc, IndependentReadersSeeWhatTheInspectorSees) {
    const KindCase& kind = GetParam();
    const CommandResult build = BuildDisc(kind, dir / "disc.txt", dir / "disc.img", dir.Path());
    ASSERT_EQ(build.exitCode, 0) << build.output;
    EXPECT_EQ(RunCommand("find " + Quote(dir / "work") + " -type f").output, "");  // no work files left behind

    const std::string json = Output(Quote(CliPath()) + " inspect --json " + Quote(dir / "disc.img"));
    EXPECT_NE(json.find("\"errors\": []"), std::string::npos) << json;
    const FlatImage flat = InspectFlat(dir / "disc.img");
    EXPECT_EQ(ListSize(flat, "tracks"), 1u);
    EXPECT_EQ(flat.at("volume.volumeId"), "DATA_ONLY");
    EXPECT_EQ(flat.at("info.album"), "DATA DISC");
    EXPECT_EQ(flat.at("info.path"), kind.infoPath);

    // The author's files keep their bytes' count; an MPEG file counts 2048
    // bytes a sector; the application files go to the kind's data folder.
    const std::vector<ListedFile> inspected = InspectedFiles(flat);
    const uint32_t clipSize = uint32_t(ReadBytes(dir / "CLIP.MPS").size() / 2336 * 2048);
    const std::string app = std::string("/DATA/") + kind.appFolder + "/";
    std::vector<std::pair<std::string, uint32_t>> sizes = {{"/DOCS/README.TXT", 31}, {"/DOCS/NOTES.BIN", 5000},
                                                           {"/DOCS/MORE/DEEP.TXT", 6}, {"/DOCS/CLIP.MPG", clipSize},
                                                           {kind.infoPath, 2048}};
    if (*kind.appFolder)
        sizes.insert(sizes.end(), {{app + "SND.WAV", 3000}, {app + "MOV.MPG", clipSize}, {app + "HELP.CHM", 10}});
    for (const auto& [path, size] : sizes)
        EXPECT_TRUE(std::any_of(inspected.begin(), inspected.end(), [&](const auto& f) { return f.path == path && f.size == size; }))
            << path << " is not on the disc with " << size << " bytes";

    Output(Quote(CliPath()) + " export " + Quote(dir / "disc.img") + " -o " + Quote(dir / "disc.cue") + " --iso " +
           Quote(dir / "disc.iso"));
    const std::string cdInfo = Output("cd-info --no-cddb --iso9660 --cue-file " + Quote(dir / "disc.cue"));
    EXPECT_EQ(Matches(cdInfo, kReaderComplaint).size(), 0u) << cdInfo;
    const std::string isoInfo = Output("iso-info -l -i " + Quote(dir / "disc.iso"));
    EXPECT_NE(isoInfo.find("Volume      : DATA_ONLY"), std::string::npos) << isoInfo;
    EXPECT_EQ(ParseIsoListing(cdInfo), inspected) << cdInfo;
    EXPECT_EQ(ParseIsoListing(isoInfo), inspected) << isoInfo;

    // Form 1 files read back through the plain ISO image hold the sources' bytes.
    for (const char* file : {"readme.txt", "notes.bin", "more/deep.txt"}) {
        Output("iso-read -i " + Quote(dir / "disc.iso") + " -e /docs/" + file + " -o " + Quote(dir / "back"));
        EXPECT_EQ(ReadBytes(dir / "back"), ReadBytes(dir / file)) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DataTrackDisc, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorvcd::test
