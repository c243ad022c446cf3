#include "apps/folder_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iso9660/dir_tree.h"
#include "platform/paths.h"
#include "script/script_reader.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

class FolderListsTest : public ::testing::Test {
protected:
    FolderListsTest() : tree(&ctx) {
        ctx.log = &log;
        ctx.showMessage = [this](const std::string& text) { messages.push_back(text); };
        ctx.scriptFolder = dir.Path();
    }

    std::string Script(const std::string& text) {
        const std::string path = dir / "list.txt";
        test::WriteText(path, text);
        return path;
    }

    std::vector<std::string> Names(const std::string& folder) const {
        std::vector<std::string> names;
        ForEachChild(tree.FindPath(folder), [&](DirNode* c) { names.push_back(c->name); });
        return names;
    }

    test::TempDir dir;
    LogList log;
    std::vector<std::string> messages;
    BuildContext ctx;
    DirTree tree;
};

TEST_F(FolderListsTest, InitModeDeclaresFoldersAndFiles) {
    const std::string path = Script(
        "[VCD]\r\nMODE = SVCD\r\n"
        "[VCD30]\r\n"
        "FOLDER \\VCD\r\n"
        "  INFO.VCD   C:\\NOWHERE\\X.BIN\r\n"
        "  ENTRIES.VCD whatever\r\n"
        "  clip.mpg  C:\\CLIP.MPG\r\n"
        "  A.MPV  S\r\n  B.MPA S\r\n  C.X.MPG S\r\n  NOEXT S\r\n  D.MPGX S\r\n"
        "ENDFOLDER\r\n"
        "FOLDER \\data\\vcd_data\r\nENDFOLDER\r\n"
        "ENDFILE\r\n"
        "FOLDER \\AFTER\r\nENDFOLDER\r\n");
    ASSERT_TRUE(ReadFolderLists(path, FolderListMode::Init, tree, ctx)) << log.Last();
    EXPECT_EQ(Names("\\"), (std::vector<std::string>{"DATA", "VCD"}));
    EXPECT_EQ(Names("\\DATA"), (std::vector<std::string>{"VCD_DATA"}));
    EXPECT_EQ(Names("\\VCD"), (std::vector<std::string>{"A.MPV", "B.MPA", "C.X.MPG", "CLIP.MPG", "D.MPGX",
                                                       "ENTRIES.VCD", "INFO.VCD", "NOEXT"}));
    auto kindOf = [&](const std::string& name) { return tree.FindPath("\\VCD\\" + name)->kind; };
    EXPECT_EQ(kindOf("INFO.VCD"), NodeKind::Form1File);
    EXPECT_EQ(kindOf("CLIP.MPG"), NodeKind::Form2File);
    EXPECT_EQ(kindOf("A.MPV"), NodeKind::Form2File);
    EXPECT_EQ(kindOf("B.MPA"), NodeKind::Form2File);
    EXPECT_EQ(kindOf("C.X.MPG"), NodeKind::Form1File);  // only the text from the first dot counts
    EXPECT_EQ(kindOf("NOEXT"), NodeKind::Form1File);
    EXPECT_EQ(kindOf("D.MPGX"), NodeKind::Form1File);
    DirNode* info = tree.FindPath("\\VCD\\INFO.VCD");
    EXPECT_EQ(info->size, 0u);
    EXPECT_EQ(info->flag, NodeFlag::Listed);
    EXPECT_EQ(info->sourceFolder, nullptr);  // sources are ignored in init mode
    EXPECT_EQ(tree.Root()->flag, NodeFlag::Listed);
}

TEST_F(FolderListsTest, ExpandModeAttachesResolvedSources) {
    test::WriteText(dir / "readme.txt", "hello");
    ASSERT_TRUE(MakeDirectory(dir / "Extra"));
    test::WriteText(dir / "Extra/notes.txt", "notes");
    const std::string path = Script(
        "[VCD30]\r\n"
        "FOLDER \\DOCS\r\n"
        "  README.TXT readme.txt\r\n"
        "  NOTES.TXT extra\\notes.txt\r\n"
        "  MORE.TXT " + dir.Path() + "more.txt\r\n"
        "ENDFOLDER\r\n"
        "[OTHER]\r\n"
        "FOLDER \\NOT_READ\r\nENDFOLDER\r\n");
    ASSERT_TRUE(ReadFolderLists(path, FolderListMode::Expand, tree, ctx)) << log.Last();
    EXPECT_EQ(Names("\\"), (std::vector<std::string>{"DOCS"}));
    DirNode* readme = tree.FindPath("\\DOCS\\README.TXT");
    DirNode* notes = tree.FindPath("\\DOCS\\NOTES.TXT");
    DirNode* more = tree.FindPath("\\DOCS\\MORE.TXT");
    ASSERT_TRUE(readme && notes && more);
    ASSERT_NE(readme->sourceFolder, nullptr);
    ASSERT_NE(notes->sourceFolder, nullptr);
    EXPECT_EQ(*readme->sourceFolder, dir.Path());
    EXPECT_EQ(*notes->sourceFolder, dir.Path() + "Extra/");  // folder case as on disk
    EXPECT_EQ(test::ReadText(ResolvePath(*notes->sourceFolder + notes->name, "")), "notes");
    EXPECT_EQ(more->sourceFolder, readme->sourceFolder);  // one pooled text per folder
}

TEST_F(FolderListsTest, ExpandModeFailures) {
    // A source whose file name differs from the disc name.
    EXPECT_FALSE(ReadFolderLists(Script("[VCD30]\r\nFOLDER \\X\r\nA.TXT b.txt\r\nENDFOLDER\r\n"),
                                 FolderListMode::Expand, tree, ctx));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("A.TXT file source name not match ", 0), 0u);

    // A disc name without its source at the end of the file.
    tree.ClearTree();
    EXPECT_FALSE(ReadFolderLists(Script("[VCD30]\r\nFOLDER \\X\r\nA.TXT\r\n"), FolderListMode::Expand, tree, ctx));
    EXPECT_NE(log.Last().find("A.TXT has no source"), std::string::npos);

    // A name that does not fit a node.
    tree.ClearTree();
    EXPECT_FALSE(ReadFolderLists(Script("[VCD30]\r\nFOLDER \\X\r\nABCDEFGHIJ.TXT s\r\nENDFOLDER\r\n"),
                                 FolderListMode::Init, tree, ctx));
    // A folder path without a leading backslash.
    tree.ClearTree();
    EXPECT_FALSE(ReadFolderLists(Script("[VCD30]\r\nFOLDER X\r\nENDFOLDER\r\n"), FolderListMode::Init, tree, ctx));
    // A token the reader rejects inside a list.
    tree.ClearTree();
    EXPECT_FALSE(ReadFolderLists(Script("[VCD30]\r\nFOLDER \\X\r\n\"" + std::string(300, 'A') + "\"\r\n"),
                                 FolderListMode::Init, tree, ctx));
    EXPECT_NE(log.Last().find("unreadable token"), std::string::npos);
}

TEST_F(FolderListsTest, DuplicateListedFileTakesTheLaterSource) {
    test::WriteText(dir / "a.txt", "a");
    test::WriteText(dir / "b.txt", "b");
    const std::string settings = Script("[VCD30]\r\nFOLDER \\X\r\nA.TXT -\r\nB.TXT -\r\nENDFOLDER\r\n");
    ASSERT_TRUE(ReadFolderLists(settings, FolderListMode::Init, tree, ctx));
    const std::string script = Script("[VCD30]\r\nFOLDER \\X\r\nA.TXT a.txt\r\nENDFOLDER\r\n");
    ASSERT_TRUE(ReadFolderLists(script, FolderListMode::Expand, tree, ctx));
    ASSERT_NE(tree.FindPath("\\X\\A.TXT")->sourceFolder, nullptr);
    EXPECT_EQ(tree.FindPath("\\X\\B.TXT")->sourceFolder, nullptr);
}

TEST_F(FolderListsTest, MissingFileAndMissingSection) {
    tree.ChangeDir("\\KEEP");
    EXPECT_FALSE(ReadFolderLists(dir / "absent.cfg", FolderListMode::Init, tree, ctx));
    EXPECT_EQ(log.Last(), "Can't open " + (dir / "absent.cfg"));
    EXPECT_EQ(tree.Root(), nullptr);  // the tree is empty again

    EXPECT_TRUE(ReadFolderLists(Script("[VCD]\r\nMODE = CVD\r\nENDFILE\r\n"), FolderListMode::Init, tree, ctx));
    ASSERT_NE(tree.Root(), nullptr);
    EXPECT_EQ(tree.Root()->firstChild, nullptr);
}

class ApplicationFolderTest : public FolderListsTest {
protected:
    bool Read(const std::string& text, ApplicationFolder& app) {
        ScriptReader reader;
        EXPECT_TRUE(reader.OpenScript(Script(text)));
        return ReadApplicationFolder(reader, ctx, app);
    }
};

TEST_F(ApplicationFolderTest, HomePagePresentGivesCompFolder) {
    ASSERT_TRUE(MakeDirectory(dir / "title"));
    test::WriteText(dir / "title/index.htm", "<html>");
    ApplicationFolder app;
    EXPECT_TRUE(Read("[VCD30]\r\nTITLEHOMEDIR = title\r\nHOMEPAGE = index.htm\r\nENDFILE\r\n", app));
    EXPECT_EQ(app.folder, "TITLE\\COMP");  // values upper-cased, found whatever their case on disk
    EXPECT_EQ(app.homePage, "INDEX.HTM");

    EXPECT_TRUE(Read("[VCD30]\r\nTITLEHOMEDIR = title\\\r\nHOMEPAGE = other.htm\r\nENDFILE\r\n", app));
    EXPECT_EQ(app.folder, "");  // home page absent: no applications
}

TEST_F(ApplicationFolderTest, MissingPiecesGiveNoApplications) {
    ApplicationFolder app;
    EXPECT_TRUE(Read("[VCD]\r\nMODE = SVCD\r\nENDFILE\r\n", app));
    EXPECT_EQ(app.folder, "");

    app.folder = "stale";
    EXPECT_FALSE(Read("[VCD30]\r\nTITLEHOMEDIR = title\r\nENDFILE\r\n", app));
    EXPECT_EQ(app.folder, "");

    // HOMEPAGE must come after TITLEHOMEDIR.
    ASSERT_TRUE(MakeDirectory(dir / "title"));
    test::WriteText(dir / "title/index.htm", "<html>");
    EXPECT_FALSE(Read("[VCD30]\r\nHOMEPAGE = index.htm\r\nTITLEHOMEDIR = title\r\nENDFILE\r\n", app));
    EXPECT_EQ(app.folder, "");

    // HOMEPAGE without "=": the title folder is kept as it is.
    EXPECT_TRUE(Read("[VCD30]\r\nTITLEHOMEDIR = title\r\nHOMEPAGE index.htm\r\nENDFILE\r\n", app));
    EXPECT_EQ(app.folder, "TITLE\\");
}

}  // namespace
}  // namespace qorvcd
