#include <gtest/gtest.h>

#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "infofiles/search_record.h"
#include "infofiles/tracks_record.h"
#include "tests/infofiles/info_test_support.h"

namespace qorvcd {
namespace {

using test::ContextFixture;
using test::MakeTrack;
using test::Slice;
using test::Text;
using Bytes = std::vector<uint8_t>;

TEST(TracksFile, CumulativeTimesOgtAndAudio) {
    ContextFixture f(DiscKind::Svcd);
    TrackList tracks;
    tracks.Insert(MakeTrack("AVSEQ01", 6150, 1, 0x22, 0x01));
    tracks.Insert(MakeTrack("AVSEQ02", 3000, 1, 0x01, 0x00));
    ASSERT_TRUE(WriteTracksFile(f.ctx, tracks));
    const Bytes bytes = test::ReadBytes(f.dir / kTracksWorkFile);
    ASSERT_EQ(bytes.size(), 2048u);
    // 61.5 s then 91.5 s; frames (0.5 x 75) = 37.
    EXPECT_EQ(Slice(bytes, 0, 21), (Bytes{'T', 'R', 'A', 'C', 'K', 'S', 'V', 'D', 1, 0, 2, 0x01, 0x01, 0x37,
                                          0x01, 0x22, 0x01, 0x31, 0x37, 0x00, 0x01}));
    EXPECT_EQ(Slice(bytes, 21, 2027), Bytes(2027, 0));

    std::array<uint8_t, 2048> out;
    std::string error;
    // 10.3 s: 22 frames (truncated); then 99.99 s = 01:39 and 74 frames.
    const TracksFileTrack parts[] = {{1030, 0, 0}, {8969, 0, 0}};
    ASSERT_TRUE(EncodeTracksFile(parts, out, error));
    EXPECT_EQ(Bytes(out.begin() + 11, out.begin() + 19), (Bytes{0x00, 0x10, 0x22, 0, 0, 0x01, 0x39, 0x74}));
    std::vector<TracksFileTrack> many(256);
    EXPECT_FALSE(EncodeTracksFile(many, out, error));
    EXPECT_NE(error.find("255"), std::string::npos) << error;
    many.resize(255);
    EXPECT_TRUE(EncodeTracksFile(many, out, error));
    EXPECT_EQ(out[10], 255);
}

TEST(TracksFile, DecodeRoundTripAndDefensiveReads) {
    const TracksFileTrack tracks[] = {{6150, 1, 0x22}, {3000, 0, 0x01}, {12345, 3, 0x12}};
    std::array<uint8_t, 2048> out;
    std::string error;
    ASSERT_TRUE(EncodeTracksFile(tracks, out, error));
    TracksRecord record;
    ASSERT_TRUE(DecodeTracksFile(out, record, error)) << error;
    ASSERT_EQ(record.tracks.size(), 3u);
    EXPECT_EQ(record.tracks[1].time, (std::array<uint8_t, 3>{0x01, 0x31, 0x37}));
    EXPECT_EQ(record.tracks[2].ogtInfo, 3);
    EXPECT_EQ(record.tracks[2].audioInfo, 0x12);
    EXPECT_FALSE(DecodeTracksFile(std::span(out.data(), 10), record, error));
    out[0] = 'X';
    EXPECT_FALSE(DecodeTracksFile(out, record, error));
    EXPECT_NE(error.find("TRACKSVD"), std::string::npos);
}

TEST(SearchFile, PointCountHeaderAndZeroTable) {
    EXPECT_EQ(ScanPointsFor(0), 20u);
    EXPECT_EQ(ScanPointsFor(1030), 40u);  // 10.3 s: 2 x 10.3 = 20.6, truncated
    EXPECT_EQ(ScanPointsFor(1050), 41u);
    ContextFixture f(DiscKind::Svcd);
    ASSERT_TRUE(WriteSearchHeader(f.ctx, 0, 1));
    const Bytes empty = test::ReadBytes(f.dir / kSearchWorkFile);
    EXPECT_EQ(empty, Text(std::string("SEARCHSV\x01\0\0\0\x01", 13) + std::string(60, '\0')));
    ASSERT_TRUE(WriteSearchHeader(f.ctx, 1030, 2));  // rewritten, not appended
    const Bytes ten = test::ReadBytes(f.dir / kSearchWorkFile);
    EXPECT_EQ(ten.size(), 13u + 3u * 40u);
    EXPECT_EQ(ten[12], 2);

    f.ctx.workFolder = f.dir / "absent/";
    EXPECT_FALSE(WriteSearchHeader(f.ctx, 0, 1));
    EXPECT_EQ(f.log.Last(), "Error 10000: Can't create file " + f.ctx.workFolder + kSearchWorkFile);
}

TEST(SearchFile, DecodeFilledTableAndDefensiveReads) {
    const auto header = EncodeSearchHeader(1);
    Bytes bytes(header.begin(), header.end());
    bytes[11] = 2;  // two points filled in
    for (const uint8_t b : {0x00, 0x04, 0x00, 0x00, 0x04, 0x01, 0x00, 0x00, 0x00}) bytes.push_back(b);
    SearchRecord record;
    std::string error;
    ASSERT_TRUE(DecodeSearch(bytes, record, error)) << error;
    EXPECT_EQ(record.timeInterval, 1);
    EXPECT_EQ(record.points, (std::vector<int64_t>{150, 151}));
    bytes[11] = 4;  // more points than the bytes hold
    EXPECT_FALSE(DecodeSearch(bytes, record, error));
    EXPECT_NE(error.find("4 scan points"), std::string::npos) << error;
    EXPECT_FALSE(DecodeSearch(std::span(bytes.data(), 12), record, error));
    EXPECT_FALSE(DecodeSearch(Text(std::string("SEARCHXX\x01\x00\x00\x00\x01", 13)), record, error));
}

}  // namespace
}  // namespace qorvcd
