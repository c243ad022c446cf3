#include "apps/folder_lists.h"

#include <gtest/gtest.h>

#include "iso9660/dir_tree.h"
#include "platform/paths.h"
#include "script/script_reader.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using Names = std::vector<std::string>;

class FolderListsTest : public ::testing::Test {
protected:
    FolderListsTest() : tree(&ctx) {
        ctx.log = &log;
        ctx.showMessage = [this](const std::string& text) { messages.push_back(text); };
        ctx.scriptFolder = dir.Path();
    }
    std::string Script(const std::string& text) {
        test::WriteText(dir / "list.txt", text);
        return dir / "list.txt";
    }
    bool Read(const std::string& text, FolderListMode mode) {
        return ReadFolderLists(Script(text), mode, tree, ctx);
    }
    Names Children(const std::string& folder) const {
        Names names;
        ForEachChild(tree.FindPath(folder), [&](DirNode* c) { names.push_back(c->name); });
        return names;
    }
    bool ReadApp(const std::string& text, ApplicationFolder& app) {
        ScriptReader reader;
        EXPECT_TRUE(reader.OpenScript(Script(text)));
        return ReadApplicationFolder(reader, ctx, app);
    }

    test::TempDir dir;
    LogList log;
    Names messages;
    BuildContext ctx;
    DirTree tree;
};

TEST_F(FolderListsTest, InitModeDeclaresFoldersAndFiles) {
    ASSERT_TRUE(Read("[VCD]\r\nMODE = SVCD\r\n[VCD30]\r\nFOLDER \\VCD\r\n"
                     "  INFO.VCD   C:\\NOWHERE\\X.BIN\r\n  clip.mpg  C:\\CLIP.MPG\r\n"
                     "  A.MPV  S\r\n  B.MPA S\r\n  C.X.MPG S\r\n  NOEXT S\r\n  D.MPGX S\r\nENDFOLDER\r\n"
                     "FOLDER \\data\\vcd_data\r\nENDFOLDER\r\nENDFILE\r\nFOLDER \\AFTER\r\nENDFOLDER\r\n",
                     FolderListMode::Init))
        << log.Last();
    EXPECT_EQ(Children("\\"), (Names{"DATA", "VCD"}));
    EXPECT_EQ(Children("\\DATA"), (Names{"VCD_DATA"}));
    // Form 2 for .MPG, .MPV and .MPA only, judged from the first dot.
    const std::pair<const char*, NodeKind> kinds[] = {
        {"INFO.VCD", NodeKind::Form1File}, {"CLIP.MPG", NodeKind::Form2File}, {"A.MPV", NodeKind::Form2File},
        {"B.MPA", NodeKind::Form2File},    {"C.X.MPG", NodeKind::Form1File},  {"NOEXT", NodeKind::Form1File},
        {"D.MPGX", NodeKind::Form1File}};
    for (const auto& [name, kind] : kinds) EXPECT_EQ(tree.FindPath(std::string("\\VCD\\") + name)->kind, kind) << name;
    DirNode* info = tree.FindPath("\\VCD\\INFO.VCD");
    EXPECT_EQ(info->size, 0u);
    EXPECT_EQ(info->flag, NodeFlag::Listed);
    EXPECT_EQ(info->sourceFolder, nullptr);  // sources are ignored in init mode
}

TEST_F(FolderListsTest, ExpandModeAttachesResolvedSources) {
    test::WriteText(dir / "readme.txt", "hello");
    ASSERT_TRUE(MakeDirectory(dir / "Extra"));
    test::WriteText(dir / "Extra/notes.txt", "notes");
    ASSERT_TRUE(Read("[VCD30]\r\nFOLDER \\DOCS\r\n  README.TXT readme.txt\r\n  NOTES.TXT extra\\notes.txt\r\n"
                     "  MORE.TXT " + dir.Path() + "more.txt\r\nENDFOLDER\r\n[OTHER]\r\nFOLDER \\NOT_READ\r\nENDFOLDER\r\n",
                     FolderListMode::Expand))
        << log.Last();
    EXPECT_EQ(Children("\\"), (Names{"DOCS"}));
    DirNode* readme = tree.FindPath("\\DOCS\\README.TXT");
    DirNode* notes = tree.FindPath("\\DOCS\\NOTES.TXT");
    DirNode* more = tree.FindPath("\\DOCS\\MORE.TXT");
    ASSERT_TRUE(readme && notes && more && readme->sourceFolder && notes->sourceFolder);
    EXPECT_EQ(*readme->sourceFolder, dir.Path());
    EXPECT_EQ(*notes->sourceFolder, dir.Path() + "Extra/");  // folder case as on disk
    EXPECT_EQ(more->sourceFolder, readme->sourceFolder);     // one pooled text per folder

    // A file listed again takes the later source; others keep none.
    tree.ClearTree();
    ASSERT_TRUE(Read("[VCD30]\r\nFOLDER \\X\r\nA.TXT -\r\nB.TXT -\r\nENDFOLDER\r\n", FolderListMode::Init));
    test::WriteText(dir / "a.txt", "a");
    ASSERT_TRUE(Read("[VCD30]\r\nFOLDER \\X\r\nA.TXT a.txt\r\nENDFOLDER\r\n", FolderListMode::Expand));
    EXPECT_NE(tree.FindPath("\\X\\A.TXT")->sourceFolder, nullptr);
    EXPECT_EQ(tree.FindPath("\\X\\B.TXT")->sourceFolder, nullptr);
}

TEST_F(FolderListsTest, Failures) {
    EXPECT_FALSE(Read("[VCD30]\r\nFOLDER \\X\r\nA.TXT b.txt\r\nENDFOLDER\r\n", FolderListMode::Expand));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("A.TXT file source name not match ", 0), 0u);
    const std::tuple<std::string, FolderListMode, const char*> cases[] = {
        {"[VCD30]\r\nFOLDER \\X\r\nA.TXT\r\n", FolderListMode::Expand, "A.TXT has no source"},
        {"[VCD30]\r\nFOLDER \\X\r\nABCDEFGHIJ.TXT s\r\nENDFOLDER\r\n", FolderListMode::Init, ""},
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
    EXPECT_TRUE(Read("[VCD]\r\nMODE = CVD\r\nENDFILE\r\n", FolderListMode::Init));  // no section: nothing
    ASSERT_NE(tree.Root(), nullptr);
    EXPECT_EQ(tree.Root()->firstChild, nullptr);
}

TEST_F(FolderListsTest, ApplicationFolderNeedsTitleFolderThenHomePage) {
    ASSERT_TRUE(MakeDirectory(dir / "title"));
    test::WriteText(dir / "title/index.htm", "<html>");
    ApplicationFolder app;
    EXPECT_TRUE(ReadApp("[VCD30]\r\nTITLEHOMEDIR = title\r\nHOMEPAGE = index.htm\r\nENDFILE\r\n", app));
    EXPECT_EQ(app.folder, "TITLE\\COMP");  // upper-cased, found whatever their case on disk
    EXPECT_EQ(app.homePage, "INDEX.HTM");
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"[VCD30]\r\nTITLEHOMEDIR = title\\\r\nHOMEPAGE = other.htm\r\nENDFILE\r\n", true, ""},
        {"[VCD]\r\nMODE = SVCD\r\nENDFILE\r\n", true, ""},
        {"[VCD30]\r\nTITLEHOMEDIR = title\r\nENDFILE\r\n", false, ""},
        {"[VCD30]\r\nHOMEPAGE = index.htm\r\nTITLEHOMEDIR = title\r\nENDFILE\r\n", false, ""},
        {"[VCD30]\r\nTITLEHOMEDIR = title\r\nHOMEPAGE index.htm\r\nENDFILE\r\n", true, "TITLE\\"},
    };
    for (const auto& [text, ok, folder] : cases) {
        app.folder = "stale";
        EXPECT_EQ(ReadApp(text, app), ok) << text;
        EXPECT_EQ(app.folder, folder) << text;
    }
}

}  // namespace
}  // namespace qorvcd
