// The scan points of a track laid out to the standards, on hand-made packs:
// each on the intra picture shown last at or before its half second, at the
// sector where a player can start that picture (its group header).
#include <gtest/gtest.h>

#include <vector>

#include "assembly/scan_points_p.h"
#include "core/sector_unit.h"
#include "platform/bytes.h"

namespace qorvcd {
namespace {

// An MPEG-2 pack of one video packet (no time stamp) carrying `es`.
std::vector<uint8_t> Pack(const std::vector<uint8_t>& es) {
    std::vector<uint8_t> pack = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 0x01, 0x89, 0xC3, 0xF8};
    const size_t length = 3 + es.size();
    pack.insert(pack.end(), {0, 0, 1, 0xE0, uint8_t(length >> 8), uint8_t(length), 0x81, 0x00, 0x00});
    pack.insert(pack.end(), es.begin(), es.end());
    pack.resize(kMaxPackSize, 0xFF);  // the reader reads a whole pack area
    return pack;
}

void Sequence(std::vector<uint8_t>& es) { es.insert(es.end(), {0, 0, 1, 0xB3, 0x1E, 0x02, 0x40, 0x23}); }  // 25 fps
void Group(std::vector<uint8_t>& es) { es.insert(es.end(), {0, 0, 1, 0xB8, 0, 8, 0, 0}); }
void Picture(std::vector<uint8_t>& es, unsigned tr, unsigned type) {
    es.insert(es.end(), {0, 0, 1, 0, uint8_t(tr >> 2), uint8_t(((tr & 3) << 6) | (type << 3)), 0xFF, 0xF8});
}
// A group of 12 pictures, closed: I P P ... shown in the order sent.
void Pictures(std::vector<uint8_t>& es) {
    for (unsigned tr = 0; tr < 12; ++tr) Picture(es, tr, tr == 0 ? 1 : 2);
}

// Three groups: intra pictures shown at 0, 0.48 and 0.96 s. The third
// group's header ends sector 102; its intra picture begins sector 103.
TrackAccessPoints ThreeGroups() {
    TrackAccessPoints access;
    access.Begin(99);
    std::vector<uint8_t> first, second, third, fourth;
    Sequence(first), Group(first), Pictures(first);
    Group(second), Pictures(second);
    Group(third);
    Pictures(fourth);
    const std::vector<uint8_t>* units[] = {&first, &second, &third, &fourth};
    for (uint32_t k = 0; k < 4; ++k) access.OnUnit(Pack(*units[k]).data(), 100 + k);
    return access;
}

TEST(TrackAccessPoints, EachHalfSecondLeadsToTheLastIntraPictureShownByThenAtItsGroupHeader) {
    const TrackAccessPoints access = ThreeGroups();
    // 1.44 s (36 pictures): points at 0, 0.5 and 1.0 s.
    EXPECT_EQ(access.Points(144), (std::vector<uint32_t>{100, 101, 102}));
    // Points past the last intra picture stay on it; none lead out of the track.
    EXPECT_EQ(access.Points(300), (std::vector<uint32_t>{100, 101, 102, 102, 102, 102}));
    EXPECT_TRUE(access.Points(0).empty());
}

TEST(TrackAccessPoints, ATrackWithoutIntraPicturesLeadsToItsFirstSector) {
    TrackAccessPoints access;
    access.Begin(500);
    std::vector<uint8_t> es;
    Sequence(es), Group(es);
    Picture(es, 0, 2);
    access.OnUnit(Pack(es).data(), 501);
    EXPECT_EQ(access.Points(100), (std::vector<uint32_t>{500, 500}));
    // Begin forgets the track before.
    TrackAccessPoints again = ThreeGroups();
    again.Begin(700);
    EXPECT_EQ(again.Points(50), (std::vector<uint32_t>{700}));
}

}  // namespace
}  // namespace qorvcd
