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

// The standard folders of a Video CD, with files in some of them.
void MakeVideoCdTree(DirTree& tree) {
    for (const char* folder : {"\\VCD", "\\SEGMENT", "\\MPEGAV", "\\EXT", "\\CDI"}) {
        ASSERT_TRUE(tree.ChangeDir(folder));
        if (std::string(folder) != "\\EXT") tree.AddFile("A.DAT", NodeKind::Form1File, NodeFlag::Listed, 0);
    }
}

TEST(PathTable, StandardFoldersAreNumberedInNameOrder) {
    DirTree tree;
    MakeVideoCdTree(tree);
    tree.FindPath("\\CDI")->startSector = 21;
    tree.FindPath("\\VCD")->startSector = 25;
    auto tables = BuildPathTables(tree, nullptr);
    ASSERT_TRUE(tables);
    EXPECT_EQ(tables->SectorCount(), 1u);
    EXPECT_EQ(tables->little.size(), 2048u);
    EXPECT_EQ(tables->big.size(), 2048u);
    // root 10, CDI 12, EXT 12, MPEGAV 14, SEGMENT 16, VCD 12
    EXPECT_EQ(tables->sizeInBytes, 76u);

    const std::vector<std::string> order = {"CDI", "EXT", "MPEGAV", "SEGMENT", "VCD"};
    for (size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(tree.FindPath("\\" + order[i])->pathTableNumber, i + 2) << order[i];
    EXPECT_EQ(tree.Root()->pathTableNumber, 1);

    EXPECT_EQ(Bytes(tables->little, 0, 10), (std::vector<uint8_t>{1, 0, 20, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Bytes(tables->big, 0, 10), (std::vector<uint8_t>{1, 0, 0, 0, 0, 20, 0, 1, 0, 0}));
    EXPECT_EQ(Bytes(tables->little, 10, 12),
              (std::vector<uint8_t>{3, 0, 21, 0, 0, 0, 1, 0, 'C', 'D', 'I', 0}));
    EXPECT_EQ(Bytes(tables->big, 10, 12),
              (std::vector<uint8_t>{3, 0, 0, 0, 0, 21, 0, 1, 'C', 'D', 'I', 0}));
    // Nothing after the last record.
    for (size_t i = tables->sizeInBytes; i < 2048; ++i) ASSERT_EQ(tables->little[i], 0) << i;

    for (ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const auto& bytes = order == ByteOrder::Little ? tables->little : tables->big;
        auto records = DecodePathTable(bytes.data(), tables->sizeInBytes, order);
        ASSERT_TRUE(records);
        ASSERT_EQ(records->size(), 6u);
        EXPECT_EQ((*records)[0], (PathTableRecord{std::string(1, '\0'), 20, 1}));
        EXPECT_EQ((*records)[5], (PathTableRecord{"VCD", 25, 1}));
        for (size_t i = 1; i < 6; ++i) EXPECT_EQ((*records)[i].parentNumber, 1);
    }
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
    EXPECT_EQ(tree.FindPath("\\B\\B1")->pathTableNumber, 7);
}

TEST(PathTable, TablesOverOneSectorAreRefused) {
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    DirTree tree;
    // 127 folders of 8 characters (16 bytes each) plus the root: 2042 bytes fit.
    char name[16];
    for (int i = 0; i < 127; ++i) {
        std::snprintf(name, sizeof name, "\\F%07d", i);
        ASSERT_TRUE(tree.ChangeDir(name));
    }
    auto tables = BuildPathTables(tree, &ctx);
    ASSERT_TRUE(tables);
    EXPECT_EQ(tables->sizeInBytes, 10u + 127u * 16u);

    tree.ChangeDir("\\G0000000");
    EXPECT_FALSE(BuildPathTables(tree, &ctx));
    EXPECT_NE(log.Last().find("limit 1 sector"), std::string::npos);

    DirTree empty;
    EXPECT_FALSE(BuildPathTables(empty, &ctx));
}

TEST(PathTable, RecordEncoding) {
    uint8_t out[16] = {};
    EXPECT_EQ(EncodePathTableRecord({"MPEGAV", 0x01020304, 0x0506}, ByteOrder::Big, out, sizeof out), 14u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 14),
              (std::vector<uint8_t>{6, 0, 1, 2, 3, 4, 5, 6, 'M', 'P', 'E', 'G', 'A', 'V'}));
    EXPECT_EQ(EncodePathTableRecord({"SEGMENT", 1, 1}, ByteOrder::Little, out, 15), 0u);  // needs 16
    EXPECT_EQ(EncodePathTableRecord({"", 1, 1}, ByteOrder::Little, out, sizeof out), 0u);
}

TEST(PathTable, DecodeRejectsDamagedTables) {
    DirTree tree;
    MakeVideoCdTree(tree);
    auto tables = BuildPathTables(tree, nullptr);
    ASSERT_TRUE(tables);
    std::string error;

    // A size that cuts the last record.
    EXPECT_FALSE(DecodePathTable(tables->little.data(), tables->sizeInBytes - 4, ByteOrder::Little, &error));
    EXPECT_NE(error.find("past the table end"), std::string::npos);

    // A parent that is not an earlier folder.
    std::vector<uint8_t> bad = tables->little;
    bad[10 + 6] = 9;
    EXPECT_FALSE(DecodePathTable(bad.data(), tables->sizeInBytes, ByteOrder::Little, &error));
    EXPECT_NE(error.find("parent 9"), std::string::npos);

    // Reading with the wrong byte order is caught by the parent numbers.
    EXPECT_FALSE(DecodePathTable(tables->little.data(), tables->sizeInBytes, ByteOrder::Big, &error));
}

}  // namespace
}  // namespace qorvcd
