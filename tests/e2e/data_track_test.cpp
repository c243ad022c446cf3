// A disc of each kind with its data track only: the author's folder lists and
// an application folder, no tracks or segments. The built image is decoded
// by our inspector and, after export, by Debian's cd-info, iso-info and
// iso-read, which must see the same files at the same places.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

class DataTrackDisc : public ::testing::TestWithParam<KindCase> {
protected:
    void SetUp() override {
        std::string missing;
        if (!HaveTools({"ffmpeg", "cd-info", "iso-info", "iso-read"}, missing)) GTEST_SKIP() << missing << " is missing";
        const KindCase& kind = GetParam();
        CopyKindMedia(kind, dir.Path());
        WriteText(dir / "readme.txt", "A plain text file on the disc.\n");
        std::string binary(5000, '\0');
        for (size_t i = 0; i < binary.size(); ++i) binary[i] = char(i * 7 + 3);
        WriteText(dir / "notes.bin", binary);
        RunCommand("mkdir -p " + Quote(dir / "more") + " " + Quote(dir / "title/comp"));
        WriteText(dir / "more/deep.txt", "deeper");
        WriteBytes(dir / "clip.mpg", ReadBytes(dir / "CLIP.MPS"));
        WriteText(dir / "title/index.htm", "<html></html>");
        WriteText(dir / "title/comp/HELP.CHM", "help pages");
        WriteText(dir / "title/comp/SND.WAV", std::string(3000, 'w'));
        WriteBytes(dir / "title/comp/MOV.MPG", ReadBytes(dir / "CLIP.MPS"));

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
    EXPECT_NE(build.output.find("Result: 0"), std::string::npos);
    // No work files are left behind in the private work folders.
    EXPECT_EQ(RunCommand("find " + Quote(dir / "work") + " -type f").output, "");

    const CommandResult json = RunCommand(Quote(CliPath()) + " inspect --json " + Quote(dir / "disc.img"));
    ASSERT_EQ(json.exitCode, 0) << json.output;
    EXPECT_NE(json.output.find("\"errors\": []"), std::string::npos) << json.output;
    bool decoded = false;
    const FlatImage flat = InspectFlat(dir / "disc.img", &decoded);
    EXPECT_TRUE(decoded);
    EXPECT_EQ(ListSize(flat, "tracks"), 1u);
    EXPECT_EQ(flat.at("volume.volumeId"), "DATA_ONLY");
    EXPECT_EQ(flat.at("info.album"), "DATA DISC");

    // The author's files keep their bytes' count; an MPEG file counts 2048
    // bytes a sector; the application files go to the kind's data folder.
    const std::vector<ListedFile> inspected = InspectedFiles(flat);
    const auto find = [&](const std::string& path) -> const ListedFile* {
        for (const ListedFile& f : inspected)
            if (f.path == path) return &f;
        ADD_FAILURE() << path << " is not on the disc";
        return nullptr;
    };
    const uint32_t clipSectors = uint32_t(ReadBytes(dir / "CLIP.MPS").size() / 2336);
    const std::pair<std::string, uint32_t> sizes[] = {
        {"/DOCS/README.TXT", 31}, {"/DOCS/NOTES.BIN", 5000}, {"/DOCS/MORE/DEEP.TXT", 6}, {"/DOCS/CLIP.MPG", clipSectors * 2048}};
    for (const auto& [path, size] : sizes)
        if (const ListedFile* f = find(path)) {
            EXPECT_EQ(f->size, size) << path;
        }
    EXPECT_EQ(flat.at("info.path"), kind.infoPath);
    find(kind.infoPath);
    if (*kind.appFolder) {
        const std::string app = std::string("/DATA/") + kind.appFolder + "/";
        const ListedFile* sound = find(app + "SND.WAV");
        const ListedFile* movie = find(app + "MOV.MPG");
        find(app + "HELP.CHM");
        EXPECT_EQ(sound ? sound->size : 0, 3000u);
        EXPECT_EQ(movie ? movie->size : 0, clipSectors * 2048);
    }

    const CommandResult exported = RunCommand(Quote(CliPath()) + " export " + Quote(dir / "disc.img") + " -o " +
                                              Quote(dir / "disc.cue") + " --iso " + Quote(dir / "disc.iso"));
    ASSERT_EQ(exported.exitCode, 0) << exported.output;
    const CommandResult cdInfo = RunCommand("cd-info --no-cddb --iso9660 --cue-file " + Quote(dir / "disc.cue"));
    ASSERT_EQ(cdInfo.exitCode, 0) << cdInfo.output;
    EXPECT_EQ(Matches(cdInfo.output, kReaderComplaint).size(), 0u) << cdInfo.output;
    const CommandResult isoInfo = RunCommand("iso-info -l -i " + Quote(dir / "disc.iso"));
    ASSERT_EQ(isoInfo.exitCode, 0) << isoInfo.output;
    EXPECT_NE(isoInfo.output.find("Volume      : DATA_ONLY"), std::string::npos) << isoInfo.output;

    EXPECT_EQ(ParseIsoListing(cdInfo.output), inspected) << cdInfo.output;
    EXPECT_EQ(ParseIsoListing(isoInfo.output), inspected) << isoInfo.output;

    // Form 1 files read back through the plain ISO image hold the sources' bytes.
    const std::pair<std::string, std::string> contents[] = {
        {"/docs/readme.txt", "readme.txt"}, {"/docs/notes.bin", "notes.bin"}, {"/docs/more/deep.txt", "more/deep.txt"}};
    for (const auto& [onDisc, source] : contents) {
        const CommandResult read = RunCommand("iso-read -i " + Quote(dir / "disc.iso") + " -e " + onDisc + " -o " + Quote(dir / "back"));
        ASSERT_EQ(read.exitCode, 0) << read.output;
        EXPECT_EQ(ReadBytes(dir / "back"), ReadBytes(dir / source)) << onDisc;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DataTrackDisc, ::testing::ValuesIn(AllKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorvcd::test
