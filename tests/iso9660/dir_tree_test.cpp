#include "iso9660/dir_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/build_context.h"

namespace qorvcd {
namespace {

struct TreeHarness {
    LogList log;
    std::vector<std::string> messages;
    BuildContext ctx;
    DirTree tree{&ctx};
    TreeHarness() {
        ctx.log = &log;
        ctx.showMessage = [this](const std::string& text) { messages.push_back(text); };
    }
    DirNode* Add(const std::string& name, uint32_t size = 0) {
        return tree.AddFile(name, NodeKind::Form1File, NodeFlag::Listed, size);
    }
};

std::vector<std::string> ChildNames(const DirNode* dir) {
    std::vector<std::string> names;
    ForEachChild(dir, [&](DirNode* c) { names.push_back(c->name); });
    return names;
}

TEST(DirTree, ChildrenStaySortedByUnsignedBytesAndUnique) {
    TreeHarness h;
    ASSERT_TRUE(h.tree.ChangeDir("\\VCD"));
    DirNode* b = h.Add("B.DAT", 1);
    DirNode* a = h.Add("A.DAT", 2);
    DirNode* ab = h.Add("AB.DAT", 3);
    // A second A.DAT is not an error but leaves the folder as it was.
    EXPECT_EQ(h.tree.AddFile("A.DAT", NodeKind::Form2File, NodeFlag::Plain, 9), nullptr);
    EXPECT_TRUE(h.tree.Ok());
    EXPECT_EQ(a->size, 2u);
    EXPECT_EQ(h.tree.LastFile(), ab);
    for (const char* name : {"A1", "A.", "\xC9T\xC9", "ZZ"}) h.Add(name);
    EXPECT_EQ(ChildNames(h.tree.Cursor()),
              (std::vector<std::string>{"A.", "A.DAT", "A1", "AB.DAT", "B.DAT", "ZZ", "\xC9T\xC9"}));
    EXPECT_EQ(DirTree::FindChild("B.DAT", h.tree.Cursor()), b);
    EXPECT_EQ(DirTree::FindChild("B.DA", h.tree.Cursor()), nullptr);
}

TEST(DirTree, ChangeDirWalksAndCreatesFolders) {
    TreeHarness h;
    ASSERT_TRUE(h.tree.ChangeDir("\\data\\vcd_data"));
    DirNode* vcdData = h.tree.Cursor();
    EXPECT_EQ(vcdData->name, "VCD_DATA");
    EXPECT_EQ(h.tree.CreateRoot(), h.tree.Root());  // only ever one root
    ASSERT_TRUE(h.tree.ChangeDir("/DATA/VCD_DATA"));  // either separator, any case
    EXPECT_EQ(h.tree.Cursor(), vcdData);
    // A doubled or trailing separator stops the walk where it is.
    ASSERT_TRUE(h.tree.ChangeDir("\\EXT\\\\SUB"));
    EXPECT_EQ(h.tree.Cursor()->name, "EXT");
    EXPECT_EQ(h.tree.Cursor()->firstChild, nullptr);
    ASSERT_TRUE(h.tree.ChangeDir("\\SEGMENT\\"));
    EXPECT_EQ(ChildNames(h.tree.Root()), (std::vector<std::string>{"DATA", "EXT", "SEGMENT"}));
}

TEST(DirTree, LimitsAndRefusedPathsCreateNothing) {
    TreeHarness h;
    h.tree.CreateRoot();
    EXPECT_FALSE(h.tree.ChangeDir("VCD"));
    EXPECT_EQ(h.messages, std::vector<std::string>{"VCD is not \\ prefix"});
    // A component over 13 characters is refused before anything is made.
    EXPECT_FALSE(h.tree.ChangeDir("\\GOOD\\ABCDEFGHIJKLMN"));
    EXPECT_EQ(h.tree.FindPath("\\GOOD"), nullptr);
    EXPECT_NE(h.log.Last().find("ABCDEFGHIJKLMN"), std::string::npos);
    EXPECT_NE(h.log.Last().find("13"), std::string::npos);
    // File names: 13 characters fit, 14 do not, nor an empty one.
    EXPECT_NE(h.Add("ABCDEFGH.IJKL"), nullptr);
    EXPECT_EQ(h.Add("ABCDEFGHI.JKLM"), nullptr);
    EXPECT_NE(h.log.Last().find("ABCDEFGHI.JKLM"), std::string::npos);
    EXPECT_EQ(h.Add(""), nullptr);
    EXPECT_EQ(ChildNames(h.tree.Root()), (std::vector<std::string>{"ABCDEFGH.IJKL"}));
    EXPECT_FALSE(h.tree.ChangeDir("\\ABCDEFGH.IJKL\\X"));  // a file is not a folder

    // Paths: 259 characters fit, 260 do not.
    std::string path = "\\";
    for (int i = 0; i < 21; ++i) path += "ABCDEFGHIJK\\";
    path += "ABCDEF";
    ASSERT_EQ(path.size(), 259u);
    TreeHarness fits, over;
    EXPECT_TRUE(fits.tree.ChangeDir(path));
    EXPECT_EQ(fits.tree.Cursor()->name, "ABCDEF");
    EXPECT_FALSE(over.tree.ChangeDir(path + "G"));
    EXPECT_EQ(over.tree.Root(), nullptr);
    EXPECT_NE(over.log.Last().find("259"), std::string::npos);
}

TEST(DirTree, SourceFoldersArePooledAndNamesMustMatch) {
    TreeHarness h;
    ASSERT_TRUE(h.tree.ChangeDir("\\DATA"));
    DirNode* a = h.Add("A.TXT");
    DirNode* b = h.Add("B.TXT");
    EXPECT_TRUE(h.tree.AttachSource("C:\\SRC\\A.TXT", a));
    EXPECT_TRUE(h.tree.AttachSource("C:\\SRC\\B.TXT", b));
    EXPECT_TRUE(h.tree.AttachSource("/other/C.TXT", h.Add("C.TXT")));
    ASSERT_NE(a->sourceFolder, nullptr);
    EXPECT_EQ(a->sourceFolder, b->sourceFolder);
    EXPECT_EQ(h.tree.SourceFolderCount(), 2u);

    DirNode* d = h.Add("D.TXT");
    EXPECT_FALSE(h.tree.AttachSource("C:\\SRC\\d.txt", d));
    EXPECT_EQ(d->sourceFolder, nullptr);
    EXPECT_EQ(h.messages, std::vector<std::string>{"D.TXT file source name not match C:\\SRC\\d.txt"});

    h.tree.ClearTree();
    EXPECT_EQ(h.tree.Root(), nullptr);
    EXPECT_EQ(h.tree.SourceFolderCount(), 0u);
    EXPECT_TRUE(h.tree.ChangeDir("\\VCD"));  // a cleared tree is usable again
}

}  // namespace
}  // namespace qorvcd
