// Directories, control files and placed files written into a real container.
#include <gtest/gtest.h>

#include <array>

#include "assembly/control_files.h"
#include "assembly/directory_writer.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "image/container.h"
#include "iso9660/dir_tree.h"
#include "iso9660/directory_record.h"
#include "iso9660/file_placement.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

struct Harness {
    test::TempDir dir;
    LogList log;
    BuildContext ctx;
    DirTree tree{&ctx};
    ImageContainer image;
    FileSystemState fs;

    explicit Harness(DiscKind kind = DiscKind::Vcd30) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
        EXPECT_TRUE(image.CreateImage(dir / "disc.img"));
        EXPECT_TRUE(image.CreateTail(dir / "tail.tmp"));
        image.BeginTail(); image.BeginImage();
        image.ReserveSectors(4);  // sectors 16..19: the directories start at 20
        tree.CreateRoot();
        image.SetSectorCounter(fs.dirSector = 20);
    }
    int Write() {
        DirectoryWriter writer(image, ctx, fs, false);
        tree.Root()->startSector = fs.dirSector;
        return writer.WriteDirectory(0, tree.Root(), 1, fs.dirSector);
    }
    std::array<uint8_t, kForm1UnitSize> Unit(uint32_t n) {
        std::array<uint8_t, kForm1UnitSize> unit{};
        uint64_t offset = 0;
        image.CloseStoredRun();  // flushes the open run
        EXPECT_EQ(image.LocateSector(n, unit.data(), &offset), SectorLookup::Stored) << n;
        return unit;
    }
    std::string Text() const {
        std::string all;
        for (const std::string& line : log.Lines()) all += line + "\n";
        return all;
    }
    bool Has(const std::string& part) const { return Text().find(part) != std::string::npos; }
    void AddFiles(const std::vector<std::string>& names) {
        for (const std::string& n : names) tree.AddFile(n, NodeKind::Form1File, NodeFlag::Listed, 1);
    }
    void WriteWorkFiles(const std::string& ext) {
        const std::pair<const char*, size_t> files[] = {{"INFO", 2048}, {"ENTRIES", 2048}, {"LOT", 65536}, {"PSD", 3000}};
        for (const auto& [name, size] : files) test::WriteBytes(dir / (name + ext), std::vector<uint8_t>(size, 0x44));
    }
};

TEST(DirectoryWriter, RecordEndingOnLastByteMovesToNextSector) {
    // 29 records of 62 bytes after the two 48-byte dot records, then 50+50+52
    // bytes end at byte 2046 (stays); 50+52+52 would end at 2048 (moves).
    for (bool moves : {false, true}) {
        Harness h;
        for (int i = 0; i < 29; ++i) h.AddFiles({Format("Z%07d.DAT", i)});
        h.AddFiles(moves ? std::vector<std::string>{"A", "BB", "CCC"} : std::vector<std::string>{"A", "B", "CC"});
        ASSERT_EQ(h.Write(), 0);
        const uint32_t sectors = moves ? 2 : 1;
        const auto first = h.Unit(20);
        EXPECT_EQ(first[2], moves ? 0x08 : 0x89);  // the last sector of a directory ends the record
        EXPECT_EQ(GetRecordDataLength(first.data() + 8), sectors * 2048);
        const DirNode* last = h.tree.FindPath("\\Z0000028.DAT");  // sorted last
        // Sectors 16..19 are reserved, not stored: sector 20 is the 17th unit.
        const uint64_t sectorStart = h.image.SystemAreaOffset() + 16 * kForm1UnitSize;
        EXPECT_EQ(last->recordPosition, moves ? sectorStart + kForm1UnitSize + 8 : sectorStart + 8 + 2046 - 62);
    }
}

TEST(DirectoryWriter, NameAndDepthLimitsFail) {
    Harness name;
    name.AddFiles({"ABCDEFGH.ABCD"});
    EXPECT_EQ(name.Write(), 5000);
    EXPECT_EQ(name.log.Last(), "ABCDEFGH.ABCD name too long, not a 8.3 name format");
    for (int depth : {8, 9}) {
        Harness h;
        std::string path;
        for (int i = 0; i < depth; ++i) path += Format("\\D%d", i);
        ASSERT_TRUE(h.tree.ChangeDir(path));
        EXPECT_EQ(h.Write(), depth == 8 ? 0 : 200) << depth;
    }
}

TEST(DirectoryWriter, EveryNameMustHaveThe83FormAndTheDataFolderCountsFromTheRoot) {
    // Names of 12 characters or fewer that are still not 8.3 fail like long
    // ones, naming the file's place on the disc and where it was declared.
    struct Declared : ScriptPosition {
        std::string file = "disc.txt";
        int line = 7;
        const std::string& PositionFile() const override { return file; }
        int PositionLine() const override { return line; }
    } declared;
    for (const std::string bad : {"ABCDEFGHI.TX", "A.B.C"}) {
        Harness h;
        std::vector<Diagnostic> told;
        h.ctx.diagnostics = [&](const Diagnostic& d) { told.push_back(d); };
        h.tree.ChangeDir("\\EXTRA");
        h.tree.SetDeclarationSource(&declared);
        h.AddFiles({"GOOD.TXT", bad});
        EXPECT_EQ(h.Write(), kNameTooLong) << bad;
        EXPECT_TRUE(h.Has("Error: \\EXTRA\\" + bad + " is not an 8.3 name")) << h.Text();
        EXPECT_TRUE(h.Has("(declared at disc.txt:7)")) << h.Text();
        ASSERT_EQ(told.size(), 1u) << bad;
        EXPECT_EQ(std::tuple(told[0].file, told[0].line), std::tuple(std::string("disc.txt"), 7));
    }
    Harness folder;
    folder.tree.ChangeDir("\\NINECHARS\\X");
    EXPECT_EQ(folder.Write(), kNameTooLong);
    EXPECT_TRUE(folder.Has("\\NINECHARS is not an 8.3 name")) << folder.Text();

    // The data folder lies at level 2 however it is written: 6 levels fit
    // under it, a 7th makes 9 from the root.
    for (int below : {6, 7}) {
        Harness h;
        std::string path = "\\DATA\\VCD_DATA";
        for (int i = 0; i < below; ++i) path += Format("\\D%d", i);
        ASSERT_TRUE(h.tree.ChangeDir(path));
        DirNode* data = h.tree.FindPath("\\DATA\\VCD_DATA");
        h.fs.dataFolder = data;
        ASSERT_EQ(h.Write(), kOk);
        DirectoryWriter writer(h.image, h.ctx, h.fs, false);
        EXPECT_EQ(writer.WriteDirectory(0, data, h.fs.dataParentSectors, h.fs.dataParentSector),
                  below == 6 ? kOk : kNestedTooDeep)
            << below;
        if (below == 7) {
            EXPECT_TRUE(h.Has("\\DATA\\VCD_DATA\\D0\\D1\\D2\\D3\\D4\\D5\\D6 is nested deeper than 8"))
                << h.Text();
        }
    }
}

TEST(ControlFiles, SvcdFilesGetTheirSectorsOrAreRefused) {
    Harness h(DiscKind::Svcd);
    h.WriteWorkFiles(".SVD");
    h.tree.ChangeDir("\\SVCD");
    for (const auto& [name, size] : {std::pair{"TRACKS.SVD", 2048}, {"SPICONTX.SVD", 100}, {"SEARCH.DAT", 2100}}) {
        test::WriteBytes(h.dir / name, std::vector<uint8_t>(size_t(size), 1));
        h.tree.AddFile(name, NodeKind::Form1File, NodeFlag::Plain, 4096);
    }
    ASSERT_EQ(h.Write(), 0);
    h.image.SetSectorCounter(h.fs.dirSector);  // the control files reserve up to 149 themselves
    h.image.CloseStoredRun();
    ASSERT_EQ(WriteControlFiles(h.image, h.tree, h.ctx, h.fs), 0) << h.log.Last();
    // INFO at 150 after one reserved sector; PSD's 3000 bytes take two sectors.
    EXPECT_EQ(h.Unit(150)[2], 0x89);
    EXPECT_EQ(h.tree.FindPath("\\SVCD\\TRACKS.SVD")->startSector, 186u);
    const DirNode* search = h.tree.FindPath("\\SVCD\\SEARCH.DAT");
    EXPECT_EQ(search->startSector, 189u);
    std::array<uint8_t, 64> record{};
    ASSERT_TRUE(h.image.ReadImageAt(search->recordPosition, record.data(), size_t(search->recordLength)));
    EXPECT_EQ(GetRecordDataLength(record.data()), 2100u);

    Harness full;
    full.WriteWorkFiles(".VCD");
    full.image.SetSectorCounter(150);
    EXPECT_EQ(WriteControlFiles(full.image, full.tree, full.ctx, full.fs), 2000);
    EXPECT_EQ(full.log.Last(), "Error :: Directory table over 00:04.00!");
    Harness missing(DiscKind::Svcd);  // no TRACKS.SVD
    missing.WriteWorkFiles(".SVD");
    missing.image.SetSectorCounter(30);
    EXPECT_EQ(WriteControlFiles(missing.image, missing.tree, missing.ctx, missing.fs), 20000);
}

TEST(Placement, SegmentItemsStartOnSegmentBoundariesFrom300) {
    Harness h(DiscKind::Svcd);
    h.tree.ChangeDir("\\DATA\\SVCDDATA");
    std::vector<SegmentItem> segments;
    for (const auto& [number, count, units] : {std::tuple{1000u, 2u, 200u}, {1002u, 1u, 100u}, {1003u, 3u, 310u}}) {
        segments.emplace_back();
        segments.back().number = number;
        segments.back().segmentCount = count;
        segments.back().fileName = h.dir / Format("item%u.mps", number);
        test::WriteBytes(segments.back().fileName, std::vector<uint8_t>(units * 2336 + 100, 0));  // a stray partial unit
    }
    ASSERT_EQ(PlaceFiles(h.tree, h.ctx, {}, "AVSEQ", segments, h.fs), 0) << h.log.Last();
    const std::pair<const char*, uint32_t> expected[] = {
        {"\\SEGMENT\\ITEM0001.MPG", 300}, {"\\SEGMENT\\ITEM0003.MPG", 600}, {"\\SEGMENT\\ITEM0004.MPG", 750}};
    for (const auto& [path, start] : expected) {
        ASSERT_TRUE(h.tree.FindPath(path)) << path;
        EXPECT_EQ(h.tree.FindPath(path)->startSector, start) << path;
    }
    EXPECT_EQ(h.tree.FindPath("\\SEGMENT\\ITEM0004.MPG")->size, 310u * 2048);
    EXPECT_EQ(h.fs.segmentSectors, 450u + 310u);  // the last item counts its real units
}

TEST(Placement, MissingDataFolderAndUnreadableTrackFail) {
    Harness h;
    EXPECT_EQ(PlaceFiles(h.tree, h.ctx, {}, "MUSIC", {}, h.fs), 2000);
    EXPECT_EQ(h.log.Last(), "VCD3.0don't find path");
    h.tree.ChangeDir("\\DATA\\VCD_DATA");
    std::vector<TrackEntry> tracks(1);
    tracks[0].path = h.dir / "missing.mps";
    EXPECT_EQ(PlaceFiles(h.tree, h.ctx, tracks, "MUSIC", {}, h.fs), 2000);
    EXPECT_EQ(h.log.Last(), "Can't open file " + h.dir / "missing.mps");

}

}  // namespace
}  // namespace qorvcd
