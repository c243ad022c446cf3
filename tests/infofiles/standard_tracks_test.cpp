// TRACKS.SVD in the SVCD standard's layout: every track's own time, then one
// content byte per track; what a standard build writes for each kind, and the
// reader telling the two layouts apart.
#include <gtest/gtest.h>

#include <vector>

#include "content/track_list.h"
#include "core/build_context.h"
#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "infofiles/tracks_record.h"
#include "mpeg/mpeg_probe.h"
#include "platform/log_list.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(StandardTrackContent, AudioStreamsVideoTypeAndOverlay) {
    EXPECT_EQ(StandardTrackContent(true, 0x02, 0), 0x1D);   // PAL motion, one stereo stream
    EXPECT_EQ(StandardTrackContent(false, 0x21, 0), 0x0E);  // NTSC motion, two streams
    EXPECT_EQ(StandardTrackContent(true, 0x00, 0), 0x1C);   // no audio
    EXPECT_EQ(StandardTrackContent(false, 0x10, 2), 0x8D);  // only the second stream; overlay streams 0 and 1
    EXPECT_EQ(StandardTrackContent(true, 0x0E, 9), 0xDD);   // any class is a stream; overlay kept to its 2 bits
}

TEST(StandardTracksRecord, OwnTimesThenContentBytesAndBack) {
    std::string error;
    // 61.5 s and 30 s: each its own time (37 frames = 0.5 s), not their sum.
    // Two streams on PAL (0x1E); one stream and overlay stream 0 on NTSC (0x4D).
    const TracksFileTrack parts[] = {{6150, 0, 0x22, true}, {3000, 1, 0x01, false}};
    const auto record = BuildStandardTracksRecord(parts, &error);
    ASSERT_TRUE(record) << error;
    const Bytes out = record->Encode();
    ASSERT_EQ(out.size(), 2048u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 19),
              (Bytes{'T', 'R', 'A', 'C', 'K', 'S', 'V', 'D', 1, 0, 2, 0x01, 0x01, 0x37, 0x00, 0x30, 0x00, 0x1E, 0x4D}));
    EXPECT_TRUE(std::all_of(out.begin() + 19, out.end(), [](uint8_t b) { return b == 0; }));

    const auto decoded = TracksRecord::Decode(out, &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(decoded->layout, TracksLayout::Standard);
    EXPECT_EQ(*decoded, *record);

    // This format's layout of the same tracks still reads as its own.
    const auto own = BuildTracksRecord(parts, &error);
    ASSERT_TRUE(own) << error;
    const auto ownDecoded = TracksRecord::Decode(own->Encode(), &error);
    ASSERT_TRUE(ownDecoded) << error;
    EXPECT_EQ(ownDecoded->layout, TracksLayout::Cumulative);
    EXPECT_EQ(*ownDecoded, *own);

    std::vector<TracksFileTrack> many(256);
    EXPECT_FALSE(BuildStandardTracksRecord(many, &error));
    EXPECT_NE(error.find("255"), std::string::npos) << error;
}

TrackEntry Track(uint32_t hundredths, VideoStandard standard, uint32_t audio) {
    TrackEntry t;
    t.duration = hundredths;
    t.videoStandard = int32_t(standard);
    t.audioInfo = audio;
    return t;
}

// What a build writes: the standard layout for a standard SVCD only; SUPER-VCD
// keeps this format's layout, which its players read.
TEST(StandardTracksRecord, WrittenForTheStandardSvcdOnly) {
    TrackList tracks;
    tracks.Insert(Track(1234, VideoStandard::Ntsc, 0x02));
    for (const auto& [kind, standard, expectStandard] :
         {std::tuple{DiscKind::Svcd, true, true}, {DiscKind::Svcd, false, false}, {DiscKind::SuperVcd, true, false}}) {
        test::TempDir dir;
        LogList log;
        BuildContext ctx;
        ctx.log = &log;
        ctx.kind = kind;
        ctx.standard = standard;
        ctx.workFolder = dir.Path();
        ASSERT_TRUE(WriteTracksFile(ctx, tracks));
        const auto record = TracksRecord::Decode(test::ReadBytes(dir / kTracksWorkFile));
        ASSERT_TRUE(record);
        EXPECT_EQ(record->layout == TracksLayout::Standard, expectStandard) << int(kind) << standard;
        if (expectStandard) {
            EXPECT_EQ(record->tracks[0].time, (std::array<uint8_t, 3>{0x00, 0x12, 0x25}));  // 12.34 s
            EXPECT_EQ(record->tracks[0].content, 0x0D);                                       // NTSC motion, one stream
        }
    }
}

TEST(EntriesIdentifier, TheStandardNamesEntryVcdOnEveryKind) {
    EXPECT_STREQ(EntriesIdentifier(DiscKind::Svcd, false), "ENTRYSVD");
    for (const DiscKind kind : {DiscKind::Vcd30, DiscKind::Svcd, DiscKind::Cvd, DiscKind::SuperVcd}) {
        EXPECT_STREQ(EntriesIdentifier(kind, true), "ENTRYVCD");
        if (kind != DiscKind::Svcd) {
            EXPECT_STREQ(EntriesIdentifier(kind, false), "ENTRYVCD");
        }
    }
}

}  // namespace
}  // namespace qorvcd
