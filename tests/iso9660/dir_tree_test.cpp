#include "iso9660/dir_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/build_context.h"

namespace qorvcd {
namespace {

class DirTreeTest : public ::testing::Test {
protected:
    DirTreeTest() : tree(&ctx) {
        ctx.log = &log;
        ctx.showMessage = [this](const std::string& text) { messages.push_back(text); };
    }

    static std::vector<std::string> ChildNames(const DirNode* dir) {
        std::vector<std::string> names;
        ForEachChild(dir, [&](DirNode* c) { names.push_back(c->name); });
        return names;
    }

    LogList log;
    std::vector<std::string> messages;
    BuildContext ctx;
    DirTree tree;
};

TEST_F(DirTreeTest, ChildrenStaySortedAndUnique) {
    ASSERT_TRUE(tree.ChangeDir("\\VCD"));
    DirNode* b = tree.AddFile("B.DAT", NodeKind::Form1File, NodeFlag::Listed, 1);
    DirNode* a = tree.AddFile("A.DAT", NodeKind::Form1File, NodeFlag::Listed, 2);
    DirNode* ab = tree.AddFile("AB.DAT", NodeKind::Form1File, NodeFlag::Listed, 3);
    ASSERT_TRUE(a && b && ab);
    EXPECT_EQ(ChildNames(tree.Cursor()), (std::vector<std::string>{"A.DAT", "AB.DAT", "B.DAT"}));

    // A second A.DAT is not an error but leaves the folder as it was.
    EXPECT_EQ(tree.AddFile("A.DAT", NodeKind::Form2File, NodeFlag::Plain, 9), nullptr);
    EXPECT_TRUE(tree.Ok());
    EXPECT_EQ(ChildNames(tree.Cursor()).size(), 3u);
    EXPECT_EQ(a->size, 2u);
    EXPECT_EQ(tree.LastFile(), ab);

    // '.' sorts before digits and letters; bytes compare unsigned.
    tree.AddFile("A1", NodeKind::Form1File, NodeFlag::Listed, 0);
    tree.AddFile("A.", NodeKind::Form1File, NodeFlag::Listed, 0);
    tree.AddFile("\xC9T\xC9", NodeKind::Form1File, NodeFlag::Listed, 0);
    tree.AddFile("ZZ", NodeKind::Form1File, NodeFlag::Listed, 0);
    EXPECT_EQ(ChildNames(tree.Cursor()),
              (std::vector<std::string>{"A.", "A.DAT", "A1", "AB.DAT", "B.DAT", "ZZ", "\xC9T\xC9"}));
    EXPECT_EQ(DirTree::FindChild("B.DAT", tree.Cursor()), b);
    EXPECT_EQ(DirTree::FindChild("B.DA", tree.Cursor()), nullptr);
    EXPECT_EQ(DirTree::FindChild("\xC9T\xC9", tree.Cursor())->name, "\xC9T\xC9");
}

TEST_F(DirTreeTest, ChangeDirWalksAndCreatesFolders) {
    ASSERT_TRUE(tree.ChangeDir("\\"));
    EXPECT_EQ(tree.Cursor(), tree.Root());
    EXPECT_EQ(tree.Root()->name, "\\");
    EXPECT_EQ(tree.CreateRoot(), tree.Root());  // only ever one root
    EXPECT_EQ(tree.Root()->firstChild, nullptr);

    ASSERT_TRUE(tree.ChangeDir("\\data\\vcd_data"));
    DirNode* vcdData = tree.Cursor();
    EXPECT_EQ(vcdData->name, "VCD_DATA");
    EXPECT_EQ(vcdData->kind, NodeKind::Directory);
    EXPECT_EQ(vcdData->flag, NodeFlag::Listed);
    EXPECT_EQ(ChildNames(tree.Root()), (std::vector<std::string>{"DATA"}));

    ASSERT_TRUE(tree.ChangeDir("\\DATA\\VCD_DATA"));
    EXPECT_EQ(tree.Cursor(), vcdData);
    ASSERT_TRUE(tree.ChangeDir("/DATA/VCD_DATA"));  // either separator
    EXPECT_EQ(tree.Cursor(), vcdData);
    EXPECT_EQ(tree.FindPath("\\data\\vcd_data"), vcdData);

    // A doubled or trailing separator stops the walk where it is.
    ASSERT_TRUE(tree.ChangeDir("\\EXT\\\\SUB"));
    EXPECT_EQ(tree.Cursor()->name, "EXT");
    EXPECT_EQ(tree.Cursor()->firstChild, nullptr);
    ASSERT_TRUE(tree.ChangeDir("\\SEGMENT\\"));
    EXPECT_EQ(tree.Cursor()->name, "SEGMENT");
    EXPECT_EQ(ChildNames(tree.Root()), (std::vector<std::string>{"DATA", "EXT", "SEGMENT"}));
    EXPECT_TRUE(tree.Ok());
}

TEST_F(DirTreeTest, RefusedPathsCreateNothing) {
    tree.CreateRoot();
    EXPECT_FALSE(tree.ChangeDir("VCD"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "VCD is not \\ prefix");
    EXPECT_EQ(tree.Cursor(), tree.Root());

    // A component over 13 characters is refused before anything is made.
    EXPECT_FALSE(tree.ChangeDir("\\GOOD\\ABCDEFGHIJKLMN"));
    EXPECT_EQ(tree.FindPath("\\GOOD"), nullptr);
    EXPECT_FALSE(tree.Ok());
    EXPECT_NE(log.Last().find("ABCDEFGHIJKLMN"), std::string::npos);
    EXPECT_NE(log.Last().find("13"), std::string::npos);
    EXPECT_EQ(tree.Root()->firstChild, nullptr);
}

TEST_F(DirTreeTest, PathLengthLimit) {
    // 259 characters fit: "\" followed by 21 components of "ABCDEFGHIJK\" (12 each), then 6 more.
    std::string path = "\\";
    for (int i = 0; i < 21; ++i) path += "ABCDEFGHIJK\\";
    path += "ABCDEF";
    ASSERT_EQ(path.size(), 259u);
    EXPECT_TRUE(tree.ChangeDir(path));
    EXPECT_EQ(tree.Cursor()->name, "ABCDEF");

    DirTree other(&ctx);
    EXPECT_FALSE(other.ChangeDir(path + "G"));
    EXPECT_EQ(other.Root(), nullptr);
    EXPECT_NE(log.Last().find("259"), std::string::npos);
}

TEST_F(DirTreeTest, NameLengthLimit) {
    tree.CreateRoot();
    EXPECT_NE(tree.AddFile("ABCDEFGH.IJKL", NodeKind::Form1File, NodeFlag::Listed, 0), nullptr);
    EXPECT_TRUE(tree.Ok());
    EXPECT_EQ(tree.AddFile("ABCDEFGHI.JKLM", NodeKind::Form1File, NodeFlag::Listed, 0), nullptr);
    EXPECT_FALSE(tree.Ok());
    EXPECT_NE(tree.Error().find("ABCDEFGHI.JKLM"), std::string::npos);
    EXPECT_EQ(tree.AddFile("", NodeKind::Form1File, NodeFlag::Listed, 0), nullptr);
    EXPECT_EQ(ChildNames(tree.Root()), (std::vector<std::string>{"ABCDEFGH.IJKL"}));
}

TEST_F(DirTreeTest, FilesAreNotFolders) {
    ASSERT_TRUE(tree.ChangeDir("\\EXT"));
    tree.AddFile("SCANDATA.DAT", NodeKind::Form1File, NodeFlag::Plain, 0);
    EXPECT_FALSE(tree.ChangeDir("\\EXT\\SCANDATA.DAT\\X"));
    EXPECT_EQ(tree.FindPath("\\EXT\\SCANDATA.DAT")->firstChild, nullptr);
    EXPECT_NE(log.Last().find("SCANDATA.DAT"), std::string::npos);
}

TEST_F(DirTreeTest, SourceFoldersArePooled) {
    ASSERT_TRUE(tree.ChangeDir("\\DATA"));
    DirNode* a = tree.AddFile("A.TXT", NodeKind::Form1File, NodeFlag::Listed, 0);
    DirNode* b = tree.AddFile("B.TXT", NodeKind::Form1File, NodeFlag::Listed, 0);
    DirNode* c = tree.AddFile("C.TXT", NodeKind::Form1File, NodeFlag::Listed, 0);
    EXPECT_TRUE(tree.AttachSource("C:\\SRC\\A.TXT", a));
    EXPECT_TRUE(tree.AttachSource("C:\\SRC\\B.TXT", b));
    EXPECT_TRUE(tree.AttachSource("/other/C.TXT", c));
    ASSERT_NE(a->sourceFolder, nullptr);
    EXPECT_EQ(a->sourceFolder, b->sourceFolder);
    EXPECT_EQ(*a->sourceFolder, "C:\\SRC\\");
    EXPECT_EQ(*c->sourceFolder, "/other/");
    EXPECT_EQ(tree.SourceFolderCount(), 2u);

    // The file name must match the node exactly, case included.
    DirNode* d = tree.AddFile("D.TXT", NodeKind::Form1File, NodeFlag::Listed, 0);
    EXPECT_FALSE(tree.AttachSource("C:\\SRC\\d.txt", d));
    EXPECT_EQ(d->sourceFolder, nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "D.TXT file source name not match C:\\SRC\\d.txt");

    tree.ClearTree();
    EXPECT_EQ(tree.Root(), nullptr);
    EXPECT_EQ(tree.SourceFolderCount(), 0u);
    // A cleared tree is usable again.
    EXPECT_TRUE(tree.ChangeDir("\\VCD"));
    EXPECT_EQ(tree.Root()->firstChild->name, "VCD");
}

}  // namespace
}  // namespace qorvcd
