// File placement: track files and segment items named, sized and put in the
// tree, segment items on 150-sector boundaries, the data folder found.
#include <gtest/gtest.h>

#include "content/segment_items.h"
#include "content/track_list.h"
#include "iso9660/dir_tree.h"
#include "iso9660/file_placement.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;

struct PlacementHarness {
    TempDir dir;
    LogList log;
    BuildContext ctx;
    DirTree tree;
    FileSystemState fs;
    std::vector<TrackEntry> tracks;
    std::vector<SegmentItem> segments;

    explicit PlacementHarness(DiscKind kind) : tree(&ctx) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
        tree.CreateRoot();
        tree.ChangeDir(IsSvcdFamily(kind) ? "\\DATA\\SVCDDATA" : "\\DATA\\VCD_DATA");
        tree.ChangeDir("\\EXT");
    }
    // A sector-mode file of `units` units (plus a stray partial unit).
    std::string UnitFile(const std::string& name, size_t units) {
        test::WriteBytes(dir / name, std::vector<uint8_t>(units * 2336 + 100, 0));
        return dir / name;
    }
    void AddTrack(size_t units) {
        TrackEntry t;
        t.path = UnitFile(Format("track%zu.mps", tracks.size()), units);
        tracks.push_back(t);
    }
    void AddSegment(uint32_t number, uint32_t segmentCount, size_t units) {
        SegmentItem s;
        s.number = number;
        s.segmentCount = segmentCount;
        s.fileName = UnitFile(Format("item%u.mps", number), units);
        segments.push_back(s);
    }
    int Place(const std::string& prefix) { return PlaceFiles(tree, ctx, tracks, prefix, segments, fs); }
};

TEST(PlacementTracks, NamedByPrefixAndIndexWithSectorDataSizes) {
    PlacementHarness h(DiscKind::Vcd30);
    h.AddTrack(3);
    h.AddTrack(5);
    ASSERT_EQ(h.Place("MUSIC"), 0) << h.log.Last();
    const DirNode* folder = h.tree.FindPath("\\MPEGAV");
    ASSERT_TRUE(folder);
    const DirNode* first = DirTree::FindChild("MUSIC01.DAT", folder);
    const DirNode* second = DirTree::FindChild("MUSIC02.DAT", folder);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->size, 3u * 2048);
    EXPECT_EQ(second->size, 5u * 2048);
    EXPECT_EQ(first->kind, NodeKind::TrackFile);
    EXPECT_EQ(first->flag, NodeFlag::Plain);
    EXPECT_EQ(h.fs.dataFolder, h.tree.FindPath("\\DATA\\VCD_DATA"));
    EXPECT_EQ(TrackFileName("AVSEQ", 12, DiscKind::Svcd), "AVSEQ12.MPG");
}

TEST(PlacementTracks, EmptyContentStillGetsItsFoldersAndMpeg2ForScanKinds) {
    PlacementHarness h(DiscKind::SuperVcd);
    ASSERT_EQ(h.Place("AVSEQ"), 0);
    EXPECT_TRUE(h.tree.FindPath("\\MPEG2"));
    EXPECT_FALSE(h.tree.FindPath("\\MPEGAV"));
    EXPECT_TRUE(h.tree.FindPath("\\SEGMENT"));
    EXPECT_EQ(h.fs.segmentSectors, 0u);
}

TEST(PlacementSegments, ItemsStartOnSegmentBoundariesFrom300) {
    PlacementHarness h(DiscKind::Svcd);
    h.AddSegment(1000, 2, 200);
    h.AddSegment(1002, 1, 100);
    h.AddSegment(1003, 3, 310);
    ASSERT_EQ(h.Place("AVSEQ"), 0) << h.log.Last();
    const DirNode* segment = h.tree.FindPath("\\SEGMENT");
    const DirNode* a = DirTree::FindChild("ITEM0001.MPG", segment);
    const DirNode* b = DirTree::FindChild("ITEM0003.MPG", segment);
    const DirNode* c = DirTree::FindChild("ITEM0004.MPG", segment);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->startSector, 300u);
    EXPECT_EQ(b->startSector, 600u);
    EXPECT_EQ(c->startSector, 750u);
    EXPECT_EQ(c->size, 310u * 2048);
    EXPECT_EQ(c->kind, NodeKind::Form2File);
    EXPECT_EQ(h.fs.segmentSectors, 450u + 310u);  // the last item counts its real units
}

TEST(PlacementFailures, MissingDataFolderAndUnreadableTrack) {
    {
        PlacementHarness h(DiscKind::Vcd30);
        DirTree bare(&h.ctx);
        bare.CreateRoot();
        EXPECT_EQ(PlaceFiles(bare, h.ctx, h.tracks, "MUSIC", h.segments, h.fs), 2000);
        EXPECT_EQ(h.log.Last(), "VCD3.0don't find path");
        h.ctx.kind = DiscKind::Svcd;
        EXPECT_EQ(PlaceFiles(bare, h.ctx, h.tracks, "AVSEQ", h.segments, h.fs), 2000);
        EXPECT_EQ(h.log.Last(), "SVCDdon't find path");
    }
    {
        PlacementHarness h(DiscKind::Svcd);
        TrackEntry gone;
        gone.path = h.dir / "missing.mps";
        h.tracks.push_back(gone);
        EXPECT_EQ(h.Place("AVSEQ"), 2000);
        EXPECT_EQ(h.log.Last(), "Can't open file " + h.dir / "missing.mps");
    }
}

TEST(PlacementScanData, ScanDataFileTakesTheWorkFolderAsSource) {
    PlacementHarness h(DiscKind::Cvd);
    h.tree.ChangeDir("\\EXT");
    DirNode* scan = h.tree.AddFile("SCANDATA.DAT", NodeKind::Form1File, NodeFlag::Plain, 0);
    ASSERT_EQ(h.Place("AVSEQ"), 0) << h.log.Last();
    EXPECT_EQ(h.fs.dataFolder, h.tree.FindPath("\\EXT"));  // CVD keeps its data in EXT
    ASSERT_TRUE(scan->sourceFolder);
    EXPECT_EQ(*scan->sourceFolder + scan->name, h.dir / "SCANDATA.DAT");
}

}  // namespace
}  // namespace qorvcd
