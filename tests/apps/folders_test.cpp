// The author's folder lists, the application folder and its scan into the tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "apps/app_scan.h"
#include "apps/folder_lists.h"
#include "core/build_context.h"
#include "iso9660/dir_tree.h"
#include "platform/paths.h"
#include "script/script_reader.h"
#include "tests/support/scripted_progress.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using Names = std::vector<std::string>;

class FoldersTest : public ::testing::Test {
protected:
    FoldersTest() : tree(&ctx) {
        ctx.log = &log;
        ctx.showMessage = [this](const std::string& text) { messages.push_back(text); };
        ctx.scriptFolder = dir.Path();
    }
    bool Read(const std::string& text, FolderListMode mode) {
        test::WriteText(dir / "list.txt", text);
        return ReadFolderLists(dir / "list.txt", mode, tree, ctx);
    }
    void Put(const std::string& name, size_t bytes) { test::WriteBytes(dir / name, std::vector<uint8_t>(bytes, 0x47)); }
    Names Scanned() const {
        Names lines;
        for (const std::string& l : log.Lines())
            if (l.rfind("Scaning file ", 0) == 0) lines.push_back(l.substr(13));
        return lines;
    }
    DirNode* Scan(const std::string& name) const { return tree.FindPath("\\DATA\\VCD_DATA\\" + name); }
    void FreshDataFolder() { tree.ClearTree(); tree.ChangeDir("\\DATA\\VCD_DATA"); }

    test::TempDir dir;
    LogList log;
    Names messages;
    BuildContext ctx;
    DirTree tree;
};

TEST_F(FoldersTest, InitModeDeclaresFoldersAndFilesExpandModeAttachesSources) {
    ASSERT_TRUE(Read("[VCD]\r\nMODE = SVCD\r\n[VCD30]\r\nFOLDER \\VCD\r\n  INFO.VCD   C:\\NOWHERE\\X.BIN\r\n"
                     "  clip.mpg  C:\\CLIP.MPG\r\n  A.MPV  S\r\n  B.MPA S\r\n  C.X.MPG S\r\n  NOEXT S\r\n  D.MPGX S\r\n"
                     "ENDFOLDER\r\nFOLDER \\data\\vcd_data\r\nENDFOLDER\r\nENDFILE\r\nFOLDER \\AFTER\r\nENDFOLDER\r\n",
                     FolderListMode::Init)) << log.Last();
    EXPECT_TRUE(tree.FindPath("\\DATA\\VCD_DATA") && !tree.FindPath("\\AFTER"));  // nothing read past ENDFILE
    EXPECT_EQ(tree.FindPath("\\VCD\\INFO.VCD")->sourceFolder, nullptr);
    // Form 2 for .MPG, .MPV and .MPA only, judged from the first dot; sources are ignored.
    const std::pair<const char*, NodeKind> kinds[] = {
        {"INFO.VCD", NodeKind::Form1File}, {"CLIP.MPG", NodeKind::Form2File}, {"A.MPV", NodeKind::Form2File},
        {"B.MPA", NodeKind::Form2File},    {"C.X.MPG", NodeKind::Form1File},  {"NOEXT", NodeKind::Form1File},
        {"D.MPGX", NodeKind::Form1File}};
    for (const auto& [name, kind] : kinds) EXPECT_EQ(tree.FindPath(std::string("\\VCD\\") + name)->kind, kind) << name;

    tree.ClearTree();
    ASSERT_TRUE(MakeDirectory(dir / "Extra"));
    test::WriteText(dir / "Extra/notes.txt", "notes");
    ASSERT_TRUE(Read("[VCD30]\r\nFOLDER \\X\r\nNOTES.TXT extra\\notes.txt\r\nENDFOLDER\r\n[OTHER]\r\nFOLDER \\NOT_READ\r\n"
                     "ENDFOLDER\r\n", FolderListMode::Expand)) << log.Last();
    const DirNode* notes = tree.FindPath("\\X\\NOTES.TXT");
    EXPECT_TRUE(notes->sourceFolder && *notes->sourceFolder == dir.Path() + "Extra/");  // folder case as on disk
    EXPECT_EQ(tree.FindPath("\\NOT_READ"), nullptr);
}

TEST_F(FoldersTest, FolderListFailures) {
    EXPECT_FALSE(Read("[VCD30]\r\nFOLDER \\X\r\nA.TXT b.txt\r\nENDFOLDER\r\n", FolderListMode::Expand));
    EXPECT_EQ(messages.at(0).rfind("A.TXT file source name not match ", 0), 0u);
    const std::tuple<std::string, FolderListMode, const char*> cases[] = {
        {"[VCD30]\r\nFOLDER \\X\r\nA.TXT\r\n", FolderListMode::Expand, "A.TXT has no source"},
        {"[VCD30]\r\nFOLDER \\X\r\nABCDEFGHIJ.TXT s\r\nENDFOLDER\r\n", FolderListMode::Init, "ABCDEFGHIJ.TXT"},
        {"[VCD30]\r\nFOLDER X\r\nENDFOLDER\r\n", FolderListMode::Init, ""},
        {"[VCD30]\r\nFOLDER \\X\r\n\"" + std::string(300, 'A') + "\"\r\n", FolderListMode::Init, "unreadable token"},
    };
    for (const auto& [text, mode, logged] : cases) {
        tree.ClearTree();
        EXPECT_FALSE(Read(text, mode)) << text;
        EXPECT_NE(log.Last().find(logged), std::string::npos) << log.Last();
    }
    tree.ChangeDir("\\KEEP");
    EXPECT_FALSE(ReadFolderLists(dir / "absent.cfg", FolderListMode::Init, tree, ctx));
    EXPECT_EQ(log.Last(), "Can't open " + (dir / "absent.cfg"));
    EXPECT_EQ(tree.Root(), nullptr);  // the tree is empty again
}

TEST_F(FoldersTest, ApplicationFolderNeedsTitleFolderThenHomePage) {
    ASSERT_TRUE(MakeDirectory(dir / "title"));
    test::WriteText(dir / "title/index.htm", "<html>");
    const std::tuple<const char*, bool, const char*> cases[] = {  // names upper-cased, found in any case on disk
        {"[VCD30]\r\nTITLEHOMEDIR = title\r\nHOMEPAGE = index.htm\r\nENDFILE\r\n", true, "TITLE\\COMP"},
        {"[VCD30]\r\nTITLEHOMEDIR = title\\\r\nHOMEPAGE = other.htm\r\nENDFILE\r\n", true, ""},
        {"[VCD]\r\nMODE = SVCD\r\nENDFILE\r\n", true, ""},
        {"[VCD30]\r\nTITLEHOMEDIR = title\r\nENDFILE\r\n", false, ""},
        {"[VCD30]\r\nHOMEPAGE = index.htm\r\nTITLEHOMEDIR = title\r\nENDFILE\r\n", false, ""},
        {"[VCD30]\r\nTITLEHOMEDIR = title\r\nHOMEPAGE index.htm\r\nENDFILE\r\n", true, "TITLE\\"},
    };
    for (const auto& [text, ok, folder] : cases) {
        test::WriteText(dir / "app.txt", text);
        ScriptReader reader;
        ASSERT_TRUE(reader.OpenScript(dir / "app.txt"));
        ApplicationFolder app;
        app.folder = "stale";
        log.Reset();
        EXPECT_EQ(ReadApplicationFolder(reader, ctx, app), ok) << text;
        EXPECT_EQ(app.folder, folder) << text;
        // A section that gives no applications says why in the build's log.
        if (!ok) {
            EXPECT_NE(log.Last().find("no HOMEPAGE line"), std::string::npos) << text;
        }
        EXPECT_TRUE(std::string(folder) != "TITLE\\COMP" || app.homePage == "INDEX.HTM") << app.homePage;
    }
}

TEST_F(FoldersTest, ScanPassOrderKindsSizesAndRefusals) {
    const std::pair<uint64_t, uint64_t> sizes[] = {{23360, 20480}, {23040, 20480}, {23361, 20480}, {2303, 0},
                                                   {2336ull * 2304, 2304ull * 2048}};  // both divide: 2336 wins
    for (const auto& [bytes, size] : sizes) EXPECT_EQ(MpegApplicationSize(bytes), size) << bytes;
    tree.ChangeDir("\\DATA\\VCD_DATA");
    for (const auto& [name, bytes] : {std::pair{"sound.WAV", 1000}, {"Movie.mpg", 23360}, {"index.chm", 300},
                                      {"clip.mpv", 23040}, {"song.mp3", 100}, {"pic.YBM", 64}, {"readme.txt", 5}})
        Put(name, size_t(bytes));
    ASSERT_TRUE(MakeDirectory(dir / "x.wav"));
    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    EXPECT_TRUE(out.result == kOk && out.fileCount == 7) << out.result;
    EXPECT_EQ(Scanned(), (Names{"INDEX.CHM", "CLIP.MPV", "MOVIE.MPG", "SONG.MP3", "PIC.YBM", "SOUND.WAV", "X.WAV"}));
    const std::tuple<const char*, NodeKind, uint32_t> nodes[] = {
        {"MOVIE.MPG", NodeKind::Form2File, 20480}, {"CLIP.MPV", NodeKind::Form2File, 20480},
        {"INDEX.CHM", NodeKind::Form1File, 300},   {"X.WAV", NodeKind::Directory, 0}};
    for (const auto& [name, kind, size] : nodes)
        EXPECT_TRUE(Scan(name) && Scan(name)->kind == kind && Scan(name)->size == size) << name;
    EXPECT_TRUE(Scan("INDEX.CHM")->flag == NodeFlag::Plain && !Scan("INDEX.CHM")->sourceFolder && !Scan("README.TXT"));

    test::TempDir other;
    for (const char* name : {"index.chm", "toolongna.mpg", "big.wav"}) test::WriteBytes(other / name, {1});
    std::filesystem::resize_file(other / "big.wav", 4294967296ull);  // sparse
    FreshDataFolder();
    EXPECT_EQ(ScanApplicationFiles(other.Path(), tree, ctx).result, kAppNameNot83);
    EXPECT_EQ(log.Last(), "Error 200: Filename not 8.3, TOOLONGNA.MPG");
    EXPECT_TRUE(Scan("INDEX.CHM") && !Scan("BIG.WAV"));  // found before it: kept
    File::Remove(other / "toolongna.mpg");
    FreshDataFolder();
    EXPECT_EQ(ScanApplicationFiles(other.Path(), tree, ctx).result, kStepFailed);
    EXPECT_NE(log.Last().find("BIG.WAV is too large"), std::string::npos);
    // Names the base-and-extension check lets through but the disc cannot
    // hold: two dots, or no base name. The line before names the folder.
    for (const char* name : {"a.b.wav", ".wav"}) {
        test::TempDir odd;
        test::WriteBytes(odd / name, {1});
        FreshDataFolder();
        EXPECT_EQ(ScanApplicationFiles(odd.Path(), tree, ctx).result, kAppNameNot83) << name;
        EXPECT_EQ(log.Last(), "Error 200: Filename not 8.3, " + ToUpper(name));
        const auto& lines = log.Lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2].rfind("Error: " + ToUpper(name) + " in the application folder " + odd.Path(), 0),
                  0u)
            << lines[lines.size() - 2];
        EXPECT_FALSE(Scan(ToUpper(name)));
    }
}

// A FIFO would block the writer for ever and a link back into the scanned
// folder would send a walk of the tree round in circles: both are logged and
// left out, promptly, while regular files, folders and links to them are taken.
TEST_F(FoldersTest, ScanTakesOnlyRegularFilesAndFoldersAndSkipsLinksBack) {
    test::TempDir elsewhere;
    Put("index.chm", 300);
    ASSERT_TRUE(MakeDirectory(dir / "sub.wav"));
    const auto link = [&](const std::string& target, const std::string& name) {
        return ::symlink(target.c_str(), (dir / name).c_str()) == 0;
    };
    ASSERT_TRUE(link("..", "sub.wav/loop.wav"));  // below the scan: never reached by it
    ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0600), 0);
    ASSERT_TRUE(link("index.chm", "alias.mpg") && link(elsewhere.Path(), "away.wav"));
    ASSERT_TRUE(link(".", "self.wav") && link("..", "up.mp3") && link("sub.wav/loop.wav", "deep.ybm") &&
                link("absent.chm", "gone.chm"));
    FreshDataFolder();
    const auto started = std::chrono::steady_clock::now();
    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));

    EXPECT_EQ(out.result, kOk);
    EXPECT_EQ(out.fileCount, 4);
    EXPECT_EQ(Scanned(), (Names{"INDEX.CHM", "ALIAS.MPG", "AWAY.WAV", "SUB.WAV"}));
    EXPECT_TRUE(Scan("ALIAS.MPG") && Scan("ALIAS.MPG")->kind == NodeKind::Form2File);
    EXPECT_TRUE(Scan("AWAY.WAV") && Scan("AWAY.WAV")->kind == NodeKind::Directory);
    const std::pair<const char*, const char*> skipped[] = {
        {"gone.chm", "it is not a regular file or folder"},       // a link to nothing
        {"pipe.wav", "it is not a regular file or folder"},
        {"self.wav", "it is a link back to a folder that holds it"},
        {"up.mp3", "it is a link back to a folder that holds it"},
        {"deep.ybm", "it is a link back to a folder that holds it"}};  // through a link in a sub-folder
    const Names lines = log.Lines();
    for (const auto& [name, reason] : skipped) {
        const std::string line = "Skipping " + dir / name + ": " + reason;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line;
        EXPECT_FALSE(Scan(ToUpper(name))) << name;
    }
}

TEST_F(FoldersTest, ScanCancelEndsThePassAndTheLogIsTrimmedEveryTwentyFiles) {
    for (const char* name : {"index.chm", "a.mpg", "b.mpg", "c.wav"}) Put(name, 10);
    FreshDataFolder();
    test::ScriptedProgress window([](int look) { return look == 2; });  // Cancel while A.MPG is handled
    ctx.progress = &window;
    EXPECT_EQ(ScanApplicationFiles(dir.Path(), tree, ctx).result, kScanCancelled);
    EXPECT_EQ(Scanned(), (Names{"INDEX.CHM", "A.MPG", "C.WAV"}));
    EXPECT_EQ(window.messages.front(), "Fund file INDEX.CHM...");

    ctx.progress = nullptr;
    for (int i = 0; i < 21; ++i) Put("s" + std::to_string(100 + i) + ".wav", 1);
    FreshDataFolder();
    for (int i = log.Count(); i < 95; ++i) log.Add("earlier line");
    ScanApplicationFiles(dir.Path(), tree, ctx);
    EXPECT_EQ(log.Count(), 5);  // 95 + 20 lines at the 20th of 25 files: emptied, then the last 5
}

}  // namespace
}  // namespace qorvcd
