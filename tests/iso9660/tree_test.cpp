// The directory tree and the path tables made from it.
#include <gtest/gtest.h>

#include "core/build_context.h"
#include "iso9660/dir_tree.h"
#include "iso9660/path_table.h"
#include "platform/log_list.h"

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

// The standard SVCD's track folder: \MPEGAV renamed to \MPEG2 keeps its
// files and takes its sorted place; a rename onto a taken name, of a missing
// child or to an empty or long name changes nothing.
TEST(DirTree, RenameChildMovesTheNodeToItsSortedPlace) {
    TreeHarness h;
    for (const char* path : {"\\EXT", "\\MPEG3", "\\MPEGAV", "\\SEGMENT"}) ASSERT_TRUE(h.tree.ChangeDir(path));
    ASSERT_TRUE(h.tree.ChangeDir("\\MPEGAV"));
    DirNode* folder = h.tree.Cursor();
    h.Add("AVSEQ01.MPG");
    DirNode* root = h.tree.Root();
    ASSERT_TRUE(h.tree.RenameChild(root, "MPEGAV", "MPEG2"));
    EXPECT_EQ(Children(root), (Names{"EXT", "MPEG2", "MPEG3", "SEGMENT"}));
    EXPECT_EQ(DirTree::FindChild("MPEG2", root), folder);
    EXPECT_EQ(folder->recordLength, 5);
    EXPECT_EQ(Children(folder), (Names{"AVSEQ01.MPG"}));
    EXPECT_EQ(h.tree.FindPath("\\MPEG2\\AVSEQ01.MPG"), folder->firstChild);

    EXPECT_FALSE(h.tree.RenameChild(root, "MPEG2", "MPEG3"));      // taken
    EXPECT_FALSE(h.tree.RenameChild(root, "MPEGAV", "MPEG4"));     // gone
    EXPECT_FALSE(h.tree.RenameChild(root, "MPEG2", ""));
    EXPECT_FALSE(h.tree.RenameChild(root, "MPEG2", "FOURTEEN.CHARS"));
    EXPECT_EQ(Children(root), (Names{"EXT", "MPEG2", "MPEG3", "SEGMENT"}));
    EXPECT_TRUE(h.tree.Ok());
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

TEST(DirTree, DiscNamesPathsLevelsAndWhereNodesWereDeclared) {
    for (const char* good : {"A", "ABCDEFGH", "ABCDEFGH.ABC", "A.B", "ITEM0001.", "X.WAV", "SCANDATA.DAT"})
        EXPECT_TRUE(IsDiscName83(good)) << good;
    for (const char* bad : {"", "ABCDEFGHI", "ABCDEFGHI.A", "A.ABCD", "A.B.C", ".WAV", "ABCDEFGH.ABCD", "A..B"})
        EXPECT_FALSE(IsDiscName83(bad)) << bad;

    struct At : ScriptPosition {
        std::string file = "list.cfg";
        int line = 4;
        const std::string& PositionFile() const override { return file; }
        int PositionLine() const override { return line; }
    } at;
    TreeHarness h;
    std::vector<Diagnostic> told;
    h.ctx.diagnostics = [&](const Diagnostic& d) { told.push_back(d); };
    h.tree.SetDeclarationSource(&at);
    ASSERT_TRUE(h.tree.ChangeDir("\\DATA\\VCD_DATA"));
    at.line = 5;
    DirNode* file = h.tree.AddFile("X.DAT", NodeKind::Form1File, NodeFlag::Listed, 1);
    h.tree.SetDeclarationSource(nullptr);
    DirNode* made = h.tree.AddFile("Y.DAT", NodeKind::Form1File, NodeFlag::Plain, 1);
    ASSERT_TRUE(file && made);
    const DirNode* folder = h.tree.FindPath("\\DATA\\VCD_DATA");
    EXPECT_EQ(std::tuple(DiscPathOf(*file), LevelOf(*file), file->declaredFile, file->declaredLine),
              std::tuple(std::string("\\DATA\\VCD_DATA\\X.DAT"), 3, std::string("list.cfg"), 5));
    EXPECT_EQ(std::tuple(folder->declaredLine, made->declaredFile, made->declaredLine),
              std::tuple(4, std::string(), 0));
    EXPECT_EQ(std::tuple(DiscPathOf(*h.tree.Root()), LevelOf(*h.tree.Root())), std::tuple(std::string("\\"), 0));
    // A refusal made while a list file is read is told at its line.
    h.tree.SetDeclarationSource(&at);
    at.line = 9;
    EXPECT_FALSE(h.tree.AddFile(std::string(14, 'N'), NodeKind::Form1File, NodeFlag::Listed, 1));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(std::tuple(told[0].file, told[0].line), std::tuple(std::string("list.cfg"), 9));
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
        const std::vector<uint8_t>& bytes = order == ByteOrder::Little ? tables->little : tables->big;
        std::string why;
        auto table = PathTable::Decode(std::span(bytes).first(tables->sizeInBytes), order, &why);
        ASSERT_TRUE(table) << why;
        EXPECT_EQ(std::vector<PathTableRecord>(table->records.begin() + 1, table->records.end()), expected);
        EXPECT_EQ(table->Encode(order), bytes);  // the table read back writes the same sector
        EXPECT_EQ(table->SizeInBytes(), tables->sizeInBytes);
    }
}

TEST(PathTable, RecordBytesInBothOrdersAndRefusals) {
    const PathTableRecord segment{"SEGMENT", 0x01020304, 0x0506};
    const std::vector<uint8_t> little = {7, 0, 4, 3, 2, 1, 6, 5, 'S', 'E', 'G', 'M', 'E', 'N', 'T', 0};
    const std::vector<uint8_t> big = {7, 0, 1, 2, 3, 4, 5, 6, 'S', 'E', 'G', 'M', 'E', 'N', 'T', 0};
    EXPECT_EQ(segment.Encode(ByteOrder::Little), little);  // an odd identifier is padded
    EXPECT_EQ(segment.Encode(ByteOrder::Big), big);
    EXPECT_EQ(PathTableRecord::Decode(little, ByteOrder::Little), segment);
    EXPECT_EQ(PathTableRecord::Decode(big, ByteOrder::Big), segment);
    // The last record of a table may end without its padding byte.
    EXPECT_EQ(PathTableRecord::Decode(std::span(little).first(15), ByteOrder::Little), segment);
    EXPECT_EQ(PathTableRecord({std::string(1, '\0'), 20, 1}).Encode(ByteOrder::Big),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 20, 0, 1, 0, 0}));

    std::string why;
    EXPECT_FALSE(PathTableRecord::Decode(std::span(little).first(14), ByteOrder::Little, &why));
    EXPECT_EQ(why, "path table record of 15 bytes: only 14 given");
    std::vector<uint8_t> unnamed = little;
    unnamed[0] = 0;
    EXPECT_FALSE(PathTableRecord::Decode(unnamed, ByteOrder::Little, &why));
    EXPECT_EQ(why, "path table record: identifier length 0");
    EXPECT_FALSE(PathTableRecord::Decode({}, ByteOrder::Little, &why));
    EXPECT_EQ(why, "path table record: no bytes");

    // Identifiers of 1 to 255 bytes can be written.
    EXPECT_TRUE(PathTableRecord({"", 1, 1}).Encode(ByteOrder::Little).empty());
    EXPECT_EQ(PathTableRecord({std::string(255, 'A'), 1, 1}).Encode(ByteOrder::Little).size(), 264u);
    EXPECT_TRUE(PathTableRecord({std::string(256, 'A'), 1, 1}).Encode(ByteOrder::Little).empty());
    EXPECT_TRUE((PathTable{{{"", 1, 1}}}.Encode(ByteOrder::Little).empty()));
}

TEST(PathTable, RecordsNeverCrossASectorAndPaddingSkipsToTheNext) {
    PathTable table;
    table.records.push_back({std::string(1, '\0'), 20, 1});
    // The root's 10 bytes and 127 records of 16 bytes fill 2042 bytes; the
    // next record does not fit the 6 left and opens the second sector.
    for (int i = 0; i < 128; ++i) table.records.push_back({Format("F%07d", i), uint32_t(21 + i), 1});
    EXPECT_EQ(table.SizeInBytes(), 2048u + 16);
    const std::vector<uint8_t> bytes = table.Encode(ByteOrder::Little);
    ASSERT_EQ(bytes.size(), 4096u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2042, bytes.begin() + 2048), std::vector<uint8_t>(6, 0));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2048, bytes.begin() + 2064),
              (std::vector<uint8_t>{8, 0, 148, 0, 0, 0, 1, 0, 'F', '0', '0', '0', '0', '1', '2', '7'}));
    EXPECT_EQ(PathTable::Decode(std::span(bytes).first(table.SizeInBytes()), ByteOrder::Little), table);
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
    const std::span<const uint8_t> little(tables->little);
    EXPECT_FALSE(PathTable::Decode(little.first(tables->sizeInBytes - 4), ByteOrder::Little, &error));
    EXPECT_EQ(error, "path table record at byte 2026 runs past the table end (2038 bytes)");
    std::vector<uint8_t> bad = tables->little;
    bad[10 + 6] = 9;  // a parent that is not an earlier folder
    EXPECT_FALSE(PathTable::Decode(std::span(bad).first(tables->sizeInBytes), ByteOrder::Little, &error));
    EXPECT_EQ(error, "path table record 2 names parent 9, not an earlier folder");
    EXPECT_FALSE(PathTable::Decode(little.first(tables->sizeInBytes), ByteOrder::Big, &error));
    EXPECT_EQ(error, "path table record 1 names parent 256, not an earlier folder");

    tree.ChangeDir("\\G0000000");
    EXPECT_FALSE(BuildPathTables(tree, &ctx));
    EXPECT_NE(log.Last().find("limit 1 sector"), std::string::npos);
    DirTree empty;
    EXPECT_FALSE(BuildPathTables(empty, &ctx));
}

}  // namespace
}  // namespace qorvcd
