// Track files and segment items named, sized and put in the tree.
#include <gtest/gtest.h>

#include "content/segment_items.h"
#include "content/track_list.h"
#include "iso9660/dir_tree.h"
#include "iso9660/file_placement.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

struct PlacementHarness {
    test::TempDir dir;
    LogList log;
    BuildContext ctx;
    DirTree tree{&ctx};
    FileSystemState fs;
    std::vector<TrackEntry> tracks;
    std::vector<SegmentItem> segments;

    explicit PlacementHarness(DiscKind kind) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
        tree.CreateRoot();
        tree.ChangeDir(IsSvcdFamily(kind) ? "\\DATA\\SVCDDATA" : "\\DATA\\VCD_DATA");
        tree.ChangeDir("\\EXT");
    }
    // A sector-mode file of `units` units plus a stray partial unit.
    std::string UnitFile(const std::string& name, size_t units) {
        test::WriteBytes(dir / name, std::vector<uint8_t>(units * 2336 + 100, 0));
        return dir / name;
    }
    void AddTrack(const std::string& path) {
        tracks.emplace_back();
        tracks.back().path = path;
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

TEST(Placement, TracksNamedByPrefixAndIndexWithSectorDataSizes) {
    PlacementHarness h(DiscKind::Vcd30);
    for (size_t units : {3, 5}) h.AddTrack(h.UnitFile(Format("t%zu.mps", units), units));
    ASSERT_EQ(h.Place("MUSIC"), 0) << h.log.Last();
    const DirNode* first = h.tree.FindPath("\\MPEGAV\\MUSIC01.DAT");
    const DirNode* second = h.tree.FindPath("\\MPEGAV\\MUSIC02.DAT");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->size, 3u * 2048);
    EXPECT_EQ(second->size, 5u * 2048);
    EXPECT_EQ(h.fs.dataFolder, h.tree.FindPath("\\DATA\\VCD_DATA"));
    EXPECT_EQ(TrackFileName("AVSEQ", 12, DiscKind::Svcd), "AVSEQ12.MPG");

    PlacementHarness empty(DiscKind::SuperVcd);  // no content: the folders all the same
    ASSERT_EQ(empty.Place("AVSEQ"), 0);
    EXPECT_TRUE(empty.tree.FindPath("\\MPEG2"));
    EXPECT_FALSE(empty.tree.FindPath("\\MPEGAV"));
}

TEST(Placement, SegmentItemsStartOnSegmentBoundariesFrom300) {
    PlacementHarness h(DiscKind::Svcd);
    h.AddSegment(1000, 2, 200);
    h.AddSegment(1002, 1, 100);
    h.AddSegment(1003, 3, 310);
    ASSERT_EQ(h.Place("AVSEQ"), 0) << h.log.Last();
    const struct { const char* path; uint32_t start; } expected[] = {
        {"\\SEGMENT\\ITEM0001.MPG", 300}, {"\\SEGMENT\\ITEM0003.MPG", 600}, {"\\SEGMENT\\ITEM0004.MPG", 750}};
    for (const auto& e : expected) {
        const DirNode* item = h.tree.FindPath(e.path);
        ASSERT_TRUE(item) << e.path;
        EXPECT_EQ(item->startSector, e.start) << e.path;
        EXPECT_EQ(item->kind, NodeKind::Form2File);
    }
    EXPECT_EQ(h.tree.FindPath("\\SEGMENT\\ITEM0004.MPG")->size, 310u * 2048);
    EXPECT_EQ(h.fs.segmentSectors, 450u + 310u);  // the last item counts its real units
}

TEST(Placement, MissingDataFolderAndUnreadableTrackFail) {
    PlacementHarness h(DiscKind::Vcd30);
    DirTree bare(&h.ctx);
    bare.CreateRoot();
    EXPECT_EQ(PlaceFiles(bare, h.ctx, h.tracks, "MUSIC", h.segments, h.fs), 2000);
    EXPECT_EQ(h.log.Last(), "VCD3.0don't find path");
    h.ctx.kind = DiscKind::Svcd;
    EXPECT_EQ(PlaceFiles(bare, h.ctx, h.tracks, "AVSEQ", h.segments, h.fs), 2000);
    EXPECT_EQ(h.log.Last(), "SVCDdon't find path");

    PlacementHarness s(DiscKind::Svcd);
    s.AddTrack(s.dir / "missing.mps");
    EXPECT_EQ(s.Place("AVSEQ"), 2000);
    EXPECT_EQ(s.log.Last(), "Can't open file " + s.dir / "missing.mps");
}

TEST(Placement, CvdKeepsItsDataInExtAndScanDataComesFromTheWorkFolder) {
    PlacementHarness h(DiscKind::Cvd);
    h.tree.ChangeDir("\\EXT");
    DirNode* scan = h.tree.AddFile("SCANDATA.DAT", NodeKind::Form1File, NodeFlag::Plain, 0);
    ASSERT_EQ(h.Place("AVSEQ"), 0) << h.log.Last();
    EXPECT_EQ(h.fs.dataFolder, h.tree.FindPath("\\EXT"));
    ASSERT_TRUE(scan->sourceFolder);
    EXPECT_EQ(*scan->sourceFolder + scan->name, h.dir / "SCANDATA.DAT");
}

}  // namespace
}  // namespace qorvcd
