// Directories and control files written into a real container and read back.
#include <gtest/gtest.h>

#include <array>

#include "image/container.h"
#include "iso9660/control_files.h"
#include "iso9660/dir_tree.h"
#include "iso9660/directory_record.h"
#include "iso9660/directory_writer.h"
#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

struct DirHarness {
    test::TempDir dir;
    LogList log;
    BuildContext ctx;
    DirTree tree{&ctx};
    ImageContainer image;
    FileSystemState fs;

    explicit DirHarness(DiscKind kind = DiscKind::Vcd30) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
        ctx.clock = Clock::Fixed(1772668800);
        EXPECT_TRUE(image.CreateImage(dir / "disc.img"));
        EXPECT_TRUE(image.CreateTail(dir / "tail.tmp"));
        image.BeginTail();
        image.BeginImage();
        image.ReserveSectors(4);  // sectors 16..19: the directories start at 20
        tree.CreateRoot();
        fs.dirSector = 20;
        image.SetSectorCounter(20);
    }
    int Write(bool hasTracks = false) {
        DirectoryWriter writer(image, ctx, fs, hasTracks);
        tree.Root()->startSector = fs.dirSector;
        return writer.WriteDirectory(0, tree.Root(), 1, fs.dirSector);
    }
    std::array<uint8_t, kForm1UnitSize> Unit(uint32_t n, SectorLookup expected = SectorLookup::Stored) {
        std::array<uint8_t, kForm1UnitSize> unit{};
        uint64_t offset = 0;
        image.CloseStoredRun();
        EXPECT_EQ(image.LocateSector(n, unit.data(), &offset), expected) << n;
        return unit;
    }
    void AddFiles(const std::vector<std::string>& names) {
        for (const std::string& n : names) tree.AddFile(n, NodeKind::Form1File, NodeFlag::Listed, 1);
    }
    void WriteWorkFiles(const char* ext) {
        test::WriteBytes(dir / (std::string("INFO") + ext), std::vector<uint8_t>(2048, 0x11));
        test::WriteBytes(dir / (std::string("ENTRIES") + ext), std::vector<uint8_t>(2048, 0x22));
        test::WriteBytes(dir / (std::string("LOT") + ext), std::vector<uint8_t>(65536, 0x33));
        test::WriteBytes(dir / (std::string("PSD") + ext), std::vector<uint8_t>(3000, 0x44));
    }
};

TEST(DirectoryWriter, RecordEndingOnLastByteMovesToNextSector) {
    // 29 records of 62 bytes after the two 48-byte dot records, then 50+50+52
    // bytes end at byte 2046 (stays); 50+52+52 would end at 2048 (moves).
    for (bool moves : {false, true}) {
        DirHarness h;
        for (int i = 0; i < 29; ++i) h.AddFiles({Format("Z%07d.DAT", i)});
        h.AddFiles(moves ? std::vector<std::string>{"A", "BB", "CCC"} : std::vector<std::string>{"A", "B", "CC"});
        ASSERT_EQ(h.Write(), 0);
        const uint32_t sectors = moves ? 2 : 1;
        EXPECT_EQ(h.tree.Root()->size, sectors);
        EXPECT_EQ(h.fs.dirSector, 20 + sectors);
        const auto first = h.Unit(20);
        EXPECT_EQ(first[2], moves ? 0x08 : 0x89);  // the last sector of a directory ends the record
        EXPECT_EQ(GetRecordDataLength(first.data() + 8), sectors * 2048);
        const DirNode* last = h.tree.Root()->firstChild;
        while (last->nextSibling) last = last->nextSibling;
        // Sectors 16..19 are reserved, not stored: sector 20 is the 17th unit.
        const uint64_t sectorStart = h.image.SystemAreaOffset() + 16 * kForm1UnitSize;
        EXPECT_EQ(last->recordPosition, moves ? sectorStart + kForm1UnitSize + 8 : sectorStart + 8 + 2046 - 62);
        EXPECT_EQ(last->recordLength, 62);
    }
}

TEST(DirectoryWriter, SubdirectoriesDepthFirstWithPatchedRecords) {
    DirHarness h;
    h.tree.ChangeDir("\\MPEGAV");
    h.tree.ChangeDir("\\SEGMENT\\SUB");
    h.tree.ChangeDir("\\VCD");
    ASSERT_EQ(h.Write(true), 0);
    EXPECT_EQ(h.tree.FindPath("\\MPEGAV")->startSector, 21u);
    EXPECT_EQ(h.tree.FindPath("\\SEGMENT")->startSector, 22u);
    EXPECT_EQ(h.tree.FindPath("\\SEGMENT\\SUB")->startSector, 23u);
    EXPECT_EQ(h.tree.FindPath("\\VCD")->startSector, 24u);
    EXPECT_EQ(h.fs.dirSector, 25u);
    ASSERT_TRUE(h.fs.trackDirPosition);
    EXPECT_EQ(*h.fs.trackDirPosition, h.image.SystemAreaOffset() + 17 * kForm1UnitSize);

    const auto root = h.Unit(20);
    std::optional<DirectoryRecord> r = DecodeDirectoryRecord(root.data() + 8 + 96, 2048 - 96);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->identifier, "MPEGAV");
    EXPECT_EQ(r->extent, 21u);
    EXPECT_EQ(GetRecordExtent(h.Unit(23).data() + 8 + 48), 22u);  // SUB's ".." names SEGMENT
}

TEST(DirectoryWriter, DataFolderIsLeftForLaterAndLimitsFail) {
    {
        DirHarness h;
        h.tree.ChangeDir("\\DATA\\VCD_DATA");
        h.fs.dataFolder = h.tree.FindPath("\\DATA\\VCD_DATA");
        ASSERT_EQ(h.Write(), 0);
        EXPECT_EQ(h.fs.dirSector, 22u);  // root and DATA only
        EXPECT_EQ(h.fs.dataParentSector, 21u);
        EXPECT_EQ(h.fs.dataParentSectors, 1u);
    }
    {
        DirHarness h;
        h.AddFiles({"ABCDEFGH.ABCD"});  // 13 characters
        EXPECT_EQ(h.Write(), 5000);
        EXPECT_EQ(h.log.Last(), "ABCDEFGH.ABCD name too long, not a 8.3 name format");
    }
    for (int depth : {8, 9}) {
        DirHarness h;
        std::string path;
        for (int i = 0; i < depth; ++i) path += Format("\\D%d", i);
        ASSERT_TRUE(h.tree.ChangeDir(path));
        EXPECT_EQ(h.Write(), depth == 8 ? 0 : 200) << depth;
    }
}

TEST(ControlFiles, PlacedFrom150AfterOneReservedSectorOrRefused) {
    DirHarness h;
    h.WriteWorkFiles(".VCD");
    h.image.ReserveSectors(149 - 20);
    h.image.SetSectorCounter(149);
    ASSERT_EQ(WriteControlFiles(h.image, h.tree, h.ctx, h.fs), 0) << h.log.Last();
    EXPECT_EQ(h.image.SectorCounter(), 186u);  // PSD takes two sectors
    h.Unit(148, SectorLookup::Reserved);
    auto unit = h.Unit(150);
    EXPECT_EQ(unit[2], 0x89);
    EXPECT_EQ(unit[8], 0x11);
    std::array<uint8_t, kForm1UnitSize> entries{};
    uint64_t offset = 0;
    EXPECT_EQ(h.image.LocateSector(151, entries.data(), &offset), SectorLookup::Stored);
    EXPECT_EQ(offset, h.fs.entriesPosition);
    EXPECT_EQ(h.Unit(183)[2], 0x89);  // LOT's last sector
    unit = h.Unit(185);
    EXPECT_EQ(unit[8 + 951], 0x44);
    EXPECT_EQ(unit[8 + 952], 0x00);  // 3000 bytes: zero padding after byte 952

    DirHarness full;
    full.WriteWorkFiles(".VCD");
    full.image.SetSectorCounter(150);
    EXPECT_EQ(WriteControlFiles(full.image, full.tree, full.ctx, full.fs), 2000);
    EXPECT_EQ(full.log.Last(), "Error :: Directory table over 00:04.00!");

    DirHarness missing(DiscKind::Svcd);  // no TRACKS.SVD
    missing.WriteWorkFiles(".SVD");
    missing.image.SetSectorCounter(30);
    EXPECT_EQ(WriteControlFiles(missing.image, missing.tree, missing.ctx, missing.fs), 20000);
}

TEST(ControlFiles, SvcdFilesGetTheirSectorsAndSearchLength) {
    DirHarness h(DiscKind::Svcd);
    h.WriteWorkFiles(".SVD");
    test::WriteBytes(h.dir / "TRACKS.SVD", std::vector<uint8_t>(2048, 1));
    test::WriteBytes(h.dir / "SPICONTX.SVD", std::vector<uint8_t>(100, 2));
    test::WriteBytes(h.dir / "SEARCH.DAT", std::vector<uint8_t>(2100, 3));
    h.tree.ChangeDir("\\SVCD");
    h.tree.AddFile("SEARCH.DAT", NodeKind::Form1File, NodeFlag::Plain, 100352);
    h.tree.AddFile("TRACKS.SVD", NodeKind::Form1File, NodeFlag::Plain, 2048);
    h.tree.AddFile("SPICONTX.SVD", NodeKind::Form1File, NodeFlag::Plain, 4096);
    ASSERT_EQ(h.Write(), 0);
    h.image.SetSectorCounter(h.fs.dirSector);
    h.image.CloseStoredRun();
    ASSERT_EQ(WriteControlFiles(h.image, h.tree, h.ctx, h.fs), 0) << h.log.Last();
    EXPECT_EQ(h.tree.FindPath("\\SVCD\\TRACKS.SVD")->startSector, 186u);
    EXPECT_EQ(h.tree.FindPath("\\SVCD\\SPICONTX.SVD")->startSector, 187u);
    const DirNode* search = h.tree.FindPath("\\SVCD\\SEARCH.DAT");
    EXPECT_EQ(search->startSector, 189u);
    EXPECT_EQ(h.image.SectorCounter(), 191u);
    std::array<uint8_t, 64> record{};
    ASSERT_TRUE(h.image.ReadImageAt(search->recordPosition, record.data(), size_t(search->recordLength)));
    EXPECT_EQ(GetRecordExtent(record.data()), 189u);
    EXPECT_EQ(GetRecordDataLength(record.data()), 2100u);
}

}  // namespace
}  // namespace qorvcd
