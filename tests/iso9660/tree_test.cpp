// The directory tree and the path tables made from it.
#include <gtest/gtest.h>

#include "core/build_context.h"
#include "iso9660/dir_tree.h"
#include "iso9660/path_table.h"

namespace qorvcd {
namespace {

using Names = std::vector<std::string>;

struct TreeHarness {
    LogList log;
    Names messages;
    BuildContext ctx;
    DirTree tree{&ctx};
    TreeHarness() {
        ctx.log = &log;
        ctx.showMessage = [this](const std::string& text) { messages.push_back(text); };
    }
    DirNode* Add(const std::string& name) { return tree.AddFile(name, NodeKind::Form1File, NodeFlag::Listed, 0); }
};

Names Children(const DirNode* dir) {
    Names names;
    ForEachChild(dir, [&](DirNode* c) { names.push_back(c->name); });
    return names;
}

TEST(DirTree, ChildrenSortedByUnsignedBytesAndPathsWalked) {
    TreeHarness h;
    ASSERT_TRUE(h.tree.ChangeDir("\\data\\vcd_data"));
    DirNode* vcdData = h.tree.Cursor();
    ASSERT_TRUE(h.tree.ChangeDir("/DATA/VCD_DATA") && h.tree.Cursor() == vcdData);  // either separator, any case
    DirNode* a = h.tree.AddFile("A.DAT", NodeKind::Form1File, NodeFlag::Listed, 2);
    // A second A.DAT is not an error but leaves the folder as it was.
    EXPECT_EQ(h.tree.AddFile("A.DAT", NodeKind::Form2File, NodeFlag::Plain, 9), nullptr);
    EXPECT_TRUE(h.tree.Ok() && a->size == 2);
    for (const char* name : {"B.DAT", "AB.DAT", "A1", "A.", "\xC9T\xC9", "ZZ"}) h.Add(name);
    EXPECT_EQ(Children(vcdData), (Names{"A.", "A.DAT", "A1", "AB.DAT", "B.DAT", "ZZ", "\xC9T\xC9"}));
    // A doubled or trailing separator stops the walk where it is.
    ASSERT_TRUE(h.tree.ChangeDir("\\EXT\\\\SUB"));
    EXPECT_EQ(h.tree.Cursor()->firstChild, nullptr);
    ASSERT_TRUE(h.tree.ChangeDir("\\SEGMENT\\"));
    EXPECT_EQ(Children(h.tree.Root()), (Names{"DATA", "EXT", "SEGMENT"}));
}

TEST(DirTree, LimitsAndRefusedPathsCreateNothing) {
    TreeHarness h;
    h.tree.CreateRoot();
    EXPECT_FALSE(h.tree.ChangeDir("VCD"));
    EXPECT_EQ(h.messages, Names{"VCD is not \\ prefix"});
    EXPECT_FALSE(h.tree.ChangeDir("\\GOOD\\ABCDEFGHIJKLMN"));  // over 13: refused before anything is made
    EXPECT_EQ(h.tree.FindPath("\\GOOD"), nullptr);
    EXPECT_NE(h.log.Last().find("ABCDEFGHIJKLMN"), std::string::npos);
    for (const char* name : {"ABCDEFGH.IJKL", "ABCDEFGHI.JKLM", ""}) h.Add(name);  // 13 fit, 14 do not
    EXPECT_EQ(Children(h.tree.Root()), Names{"ABCDEFGH.IJKL"});
    EXPECT_FALSE(h.tree.ChangeDir("\\ABCDEFGH.IJKL\\X"));  // a file is not a folder
    // Paths: 259 characters fit, 260 do not.
    std::string path;
    for (int i = 0; i < 21; ++i) path += "\\ABCDEFGHIJK";
    path += "\\ABCDEF";
    TreeHarness fits, over;
    EXPECT_TRUE(fits.tree.ChangeDir(path));
    EXPECT_TRUE(!over.tree.ChangeDir(path + "G") && over.tree.Root() == nullptr);
    EXPECT_NE(over.log.Last().find("259"), std::string::npos);
}

TEST(PathTable, GoldenBytesBothOrdersAndFamiliesDepthFirst) {
    DirTree tree;
    for (const char* folder : {"\\VCD", "\\SEGMENT", "\\CDI\\A\\A1", "\\CDI\\A\\A2", "\\CDI\\B"}) tree.ChangeDir(folder);
    tree.FindPath("\\CDI")->startSector = 21;
    tree.FindPath("\\VCD")->startSector = 25;
    auto tables = BuildPathTables(tree, nullptr);
    ASSERT_TRUE(tables);
    EXPECT_EQ(tables->little.size(), 2048u);
    EXPECT_EQ(tables->sizeInBytes, 10u + 12 + 16 + 12 + 10 + 10 + 10 + 10);
    EXPECT_EQ(std::vector<uint8_t>(tables->little.begin(), tables->little.begin() + 22),
              (std::vector<uint8_t>{1, 0, 20, 0, 0, 0, 1, 0, 0, 0, 3, 0, 21, 0, 0, 0, 1, 0, 'C', 'D', 'I', 0}));
    EXPECT_EQ(std::vector<uint8_t>(tables->big.begin(), tables->big.begin() + 22),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 20, 0, 1, 0, 0, 3, 0, 0, 0, 0, 21, 0, 1, 'C', 'D', 'I', 0}));
    for (size_t i = tables->sizeInBytes; i < 2048; ++i) ASSERT_EQ(tables->little[i], 0) << i;
    const std::vector<PathTableRecord> expected = {{"CDI", 21, 1}, {"SEGMENT", 0, 1}, {"VCD", 25, 1},
                                                   {"A", 0, 2},    {"B", 0, 2},       {"A1", 0, 5}, {"A2", 0, 5}};
    for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        auto records = DecodePathTable((order == ByteOrder::Little ? tables->little : tables->big).data(),
                                       tables->sizeInBytes, order);
        ASSERT_TRUE(records);
        EXPECT_EQ(std::vector<PathTableRecord>(records->begin() + 1, records->end()), expected);
    }
    uint8_t out[16] = {};  // an odd identifier is padded; a buffer one byte short is refused
    EXPECT_EQ(EncodePathTableRecord({"SEGMENT", 1, 1}, ByteOrder::Little, out, 15), 0u);
    EXPECT_EQ(EncodePathTableRecord({"SEGMENT", 1, 1}, ByteOrder::Little, out, 16), 16u);
}

TEST(PathTable, OneSectorLimitAndDamagedTables) {
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    DirTree tree;
    // 127 folders of 8 characters (16 bytes each) plus the root: 2042 bytes fit.
    for (int i = 0; i < 127; ++i) ASSERT_TRUE(tree.ChangeDir(Format("\\F%07d", i)));
    auto tables = BuildPathTables(tree, &ctx);
    ASSERT_TRUE(tables && tables->sizeInBytes == 2042);
    std::string error;
    EXPECT_FALSE(DecodePathTable(tables->little.data(), tables->sizeInBytes - 4, ByteOrder::Little, &error));
    EXPECT_NE(error.find("past the table end"), std::string::npos);
    std::vector<uint8_t> bad = tables->little;
    bad[10 + 6] = 9;  // a parent that is not an earlier folder
    EXPECT_FALSE(DecodePathTable(bad.data(), tables->sizeInBytes, ByteOrder::Little, &error));
    EXPECT_NE(error.find("parent 9"), std::string::npos);
    EXPECT_FALSE(DecodePathTable(tables->little.data(), tables->sizeInBytes, ByteOrder::Big, &error));

    tree.ChangeDir("\\G0000000");
    EXPECT_FALSE(BuildPathTables(tree, &ctx));
    EXPECT_NE(log.Last().find("limit 1 sector"), std::string::npos);
    DirTree empty;
    EXPECT_FALSE(BuildPathTables(empty, &ctx));
}

}  // namespace
}  // namespace qorvcd
