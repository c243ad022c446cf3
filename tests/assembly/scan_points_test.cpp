// The search and scan points of the video tracks on hand-made units: which
// unit each point lands on, the fill-up at a track's end, the budget over
// several tracks and a table with no room left.
#include <gtest/gtest.h>

#include <vector>

#include "assembly/scan_points_p.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "image/container.h"
#include "infofiles/info_file_names.h"
#include "infofiles/scan_data.h"
#include "infofiles/search_record.h"
#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using namespace test;

struct Unit {
    uint32_t sector;
    bool video;
    bool intra;
    uint32_t clock;  // 90 kHz
};

// Track A (3 s): its first unit, then video and audio units; track B (2 s):
// only its first unit. Two points per second of both: 6 after A, 10 after B.
void Feed(TrackObserver& points) {
    TrackEntry a, b;
    a.number = 2, a.duration = 300;
    b.number = 3, b.duration = 200;
    const std::vector<Unit> unitsOfA = {
        {1000, true, true, 0},       // the track's start only: never a point
        {1001, true, true, 0},       // due at once
        {1002, true, true, 22500},   // 0.25 s
        {1003, false, false, 0},     // audio: no point
        {1004, true, false, 54000},  // 0.6 s
        {1005, true, true, 108000},  // 1.2 s
    };
    ASSERT_TRUE(points.BeginTrack(a, 1000));
    for (size_t i = 0; i < unitsOfA.size(); ++i) {
        const Unit& u = unitsOfA[i];
        TrackUnit unit{u.sector, uint32_t(i + 1), {}};
        unit.facts.video = u.video;
        unit.facts.iPicture = u.intra;
        unit.facts.clockReference = u.clock;
        ASSERT_TRUE(points.OnUnit(a, unit));
    }
    points.EndTrack(a);
    ASSERT_TRUE(points.BeginTrack(b, 2000));
    ASSERT_TRUE(points.OnUnit(b, TrackUnit{2000, 1, {true, true, 0, true}}));
    points.EndTrack(b);
}

std::vector<uint32_t> Addresses(const std::vector<uint8_t>& bytes, size_t from) {
    std::vector<uint32_t> sectors;
    for (size_t at = from; at + 3 <= bytes.size(); at += 3) sectors.push_back(MsfBcdToSector(&bytes[at]));
    return sectors;
}

struct Points {
    TempDir dir;
    BuildContext ctx;
    ImageContainer image;
    TrackWriteContext writing{image, ctx};
    Points(DiscKind kind) { ctx.workFolder = dir.Path(), ctx.kind = kind; }
};

// A search point goes to the last intra picture seen after the track's first
// unit, else (track B) to the track's start; a point with no room left is dropped.
TEST(SearchPoints, LandOnIntraPicturesFillEachTrackAndStopAtTheTablesEnd) {
    Points p(DiscKind::Svcd);
    SearchRecord header;
    header.timeInterval = 1;
    std::vector<uint8_t> work = header.Encode();
    work.resize(search_layout::kHeaderSize + 9 * search_layout::kPointSize);  // one point short
    WriteBytes(p.dir / kSearchWorkFile, work);
    {
        SearchPointRecorder search(p.writing, 0);
        ASSERT_TRUE(search.Open());
        Feed(search);
    }
    EXPECT_EQ(Addresses(ReadBytes(p.dir / kSearchWorkFile), search_layout::kHeaderSize),
              (std::vector<uint32_t>{1001, 1002, 1005, 1005, 1005, 1005, 2000, 2000, 2000}));
    EXPECT_EQ(p.writing.Result(), kOk);
}

// A scan point goes to the unit itself; the first address, the first track's
// start, is not counted. Here too the table holds one point less than due.
TEST(ScanPoints, LandOnTheUnitsFillEachTrackWithItsLastUnit) {
    Points p(DiscKind::Cvd);
    ScanDataState scan;
    constexpr size_t kSlot = scan_data_layout::kHeaderSize + 6;
    WriteBytes(p.dir / kScanDataWorkFile, std::vector<uint8_t>(kSlot + 10 * scan_data_layout::kAddressSize, 0));
    ASSERT_TRUE(scan.scanDataFile.Open(p.dir / kScanDataWorkFile, FileMode::ReadWrite));
    scan.scanDataTrackSlot = kSlot;
    {
        ScanPointRecorder points(p.writing, scan, 0);
        ASSERT_TRUE(points.Open(1000));
        Feed(points);
    }
    scan.scanDataFile.Close();
    EXPECT_EQ(scan.scanPointCount, 9u);
    EXPECT_EQ(Addresses(ReadBytes(p.dir / kScanDataWorkFile), kSlot),
              (std::vector<uint32_t>{1000, 1001, 1004, 1005, 1005, 1005, 1005, 2000, 2000, 2000}));

    ScanDataState noRoom;  // the segment writer reserved nothing for the tracks
    Points q(DiscKind::Cvd);
    EXPECT_FALSE(ScanPointRecorder(q.writing, noRoom, 0).Open(1000));
    EXPECT_EQ(q.writing.Result(), kStepFailed);
}

}  // namespace
}  // namespace qorvcd
