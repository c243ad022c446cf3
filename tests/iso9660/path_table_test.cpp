#include "iso9660/path_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "iso9660/dir_tree.h"
#include "session/build_context.h"

namespace qorvcd {
namespace {

std::vector<uint8_t> Bytes(const std::vector<uint8_t>& table, size_t from, size_t count) {
    return std::vector<uint8_t>(table.begin() + long(from), table.begin() + long(from + count));
}

void MakeVideoCdTree(DirTree& tree) {
    for (const char* folder : {"\\VCD", "\\SEGMENT", "\\MPEGAV", "\\EXT", "\\CDI"}) ASSERT_TRUE(tree.ChangeDir(folder));
}

TEST(PathTable, StandardFoldersGoldenBytesAndReadBack) {
    DirTree tree;
    MakeVideoCdTree(tree);
    tree.FindPath("\\CDI")->startSector = 21;
    tree.FindPath("\\VCD")->startSector = 25;
    auto tables = BuildPathTables(tree, nullptr);
    ASSERT_TRUE(tables);
    EXPECT_EQ(tables->SectorCount(), 1u);
    EXPECT_EQ(tables->little.size(), 2048u);
    // root 10, CDI 12, EXT 12, MPEGAV 14, SEGMENT 16, VCD 12
    EXPECT_EQ(tables->sizeInBytes, 76u);
    EXPECT_EQ(tree.FindPath("\\SEGMENT")->pathTableNumber, 5);

    EXPECT_EQ(Bytes(tables->little, 0, 22),
              (std::vector<uint8_t>{1, 0, 20, 0, 0, 0, 1, 0, 0, 0, 3, 0, 21, 0, 0, 0, 1, 0, 'C', 'D', 'I', 0}));
    EXPECT_EQ(Bytes(tables->big, 0, 22),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 20, 0, 1, 0, 0, 3, 0, 0, 0, 0, 21, 0, 1, 'C', 'D', 'I', 0}));
    for (size_t i = tables->sizeInBytes; i < 2048; ++i) ASSERT_EQ(tables->little[i], 0) << i;

    for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const auto& bytes = order == ByteOrder::Little ? tables->little : tables->big;
        auto records = DecodePathTable(bytes.data(), tables->sizeInBytes, order);
        ASSERT_TRUE(records);
        ASSERT_EQ(records->size(), 6u);
        EXPECT_EQ((*records)[5], (PathTableRecord{"VCD", 25, 1}));
    }
    // An odd identifier is padded; a buffer one byte short is refused.
    uint8_t out[16] = {};
    EXPECT_EQ(EncodePathTableRecord({"SEGMENT", 1, 1}, ByteOrder::Little, out, 15), 0u);
    EXPECT_EQ(EncodePathTableRecord({"SEGMENT", 1, 1}, ByteOrder::Little, out, 16), 16u);
}

TEST(PathTable, FamiliesFollowDepthFirst) {
    DirTree tree;
    tree.ChangeDir("\\A\\A1\\A1X");
    tree.ChangeDir("\\B\\B1");
    tree.ChangeDir("\\A\\A2");
    auto tables = BuildPathTables(tree, nullptr);
    ASSERT_TRUE(tables);
    auto records = DecodePathTable(tables->little.data(), tables->sizeInBytes, ByteOrder::Little);
    ASSERT_TRUE(records);
    std::vector<std::pair<std::string, int>> got;
    for (size_t i = 1; i < records->size(); ++i) got.push_back({(*records)[i].identifier, (*records)[i].parentNumber});
    const std::vector<std::pair<std::string, int>> expected = {
        {"A", 1}, {"B", 1}, {"A1", 2}, {"A2", 2}, {"A1X", 4}, {"B1", 3}};
    EXPECT_EQ(got, expected);
}

TEST(PathTable, TablesOverOneSectorAreRefused) {
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    DirTree tree;
    // 127 folders of 8 characters (16 bytes each) plus the root: 2042 bytes fit.
    for (int i = 0; i < 127; ++i) ASSERT_TRUE(tree.ChangeDir(Format("\\F%07d", i)));
    auto tables = BuildPathTables(tree, &ctx);
    ASSERT_TRUE(tables);
    EXPECT_EQ(tables->sizeInBytes, 10u + 127u * 16u);
    tree.ChangeDir("\\G0000000");
    EXPECT_FALSE(BuildPathTables(tree, &ctx));
    EXPECT_NE(log.Last().find("limit 1 sector"), std::string::npos);
    DirTree empty;
    EXPECT_FALSE(BuildPathTables(empty, &ctx));
}

TEST(PathTable, DecodeRejectsDamagedTables) {
    DirTree tree;
    MakeVideoCdTree(tree);
    auto tables = BuildPathTables(tree, nullptr);
    ASSERT_TRUE(tables);
    std::string error;
    EXPECT_FALSE(DecodePathTable(tables->little.data(), tables->sizeInBytes - 4, ByteOrder::Little, &error));
    EXPECT_NE(error.find("past the table end"), std::string::npos);
    std::vector<uint8_t> bad = tables->little;
    bad[10 + 6] = 9;  // a parent that is not an earlier folder
    EXPECT_FALSE(DecodePathTable(bad.data(), tables->sizeInBytes, ByteOrder::Little, &error));
    EXPECT_NE(error.find("parent 9"), std::string::npos);
    EXPECT_FALSE(DecodePathTable(tables->little.data(), tables->sizeInBytes, ByteOrder::Big, &error));
}

}  // namespace
}  // namespace qorvcd
