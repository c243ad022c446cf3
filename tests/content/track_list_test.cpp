// The [TRACK] section read against real sector-mode streams.
#include "content/track_list.h"

#include "content_fixture.h"

namespace qorvcd::test {
namespace {

class TrackListTest : public ::testing::Test {
  protected:
    // Copies of one packed PAL SVCD stream (one stereo audio stream).
    void PalTrack(ContentFixture& f, const std::string& name) {
        MakeSectorModeFile("content_pal_svcd_stereo.mpg", kPalSvcdArgs, f.dir / name, DiscKind::Svcd);
    }
    bool Read(ContentFixture& f, const std::string& script) {
        f.OpenScript(script);
        return ReadTrackList(f.reader, f.ctx, tracks, result);
    }
    TrackList tracks;
    int result = 0;
};

TEST_F(TrackListTest, SortedByIdNumberedFromTwoAndEndedByAnyOtherWord) {
    ContentFixture f;
    PalTrack(f, "a.mps");
    PalTrack(f, "c.mps");
    ASSERT_TRUE(Read(f,
                     "[TRACK]\n"
                     "MPEGTRACK AVSEQ03 c.mps PAL AUDIO 2 TIME 2\n"
                     "MPEGTRACK AVSEQ01 a.mps PAL AUDIO 2 TIME 2\n"
                     "MPEGTRACK AVSEQ01 c.mps PAL AUDIO 2 TIME 2\n"
                     "SEGMENT\nMPEGTRACK AVSEQ02 a.mps PAL AUDIO 2 TIME 2\n"))
        << f.AllOutput();
    const auto& e = tracks.Entries();
    ASSERT_EQ(e.size(), 3u);
    // An equal ID goes after the one already there.
    EXPECT_EQ(e[0].id + e[0].fileName + e[1].id + e[1].fileName + e[2].id, "AVSEQ01A.MPSAVSEQ01C.MPSAVSEQ03");
    for (size_t i = 0; i < e.size(); ++i) EXPECT_EQ(e[i].number, 2 + i);
    EXPECT_EQ(e[0].path, f.dir / "a.mps");  // the upper-cased name still finds the file
    EXPECT_TRUE(f.Logged("Total has 3 Video Track(s)"));
    EXPECT_TRUE(f.messages.empty());
    EXPECT_EQ(result, 0);

    ContentFixture g;
    tracks.Clear();
    ASSERT_TRUE(Read(g, "[TRACK]\n[PBC]\nMPEGTRACK AVSEQ01 x.mps PAL AUDIO 2 TIME 2\n"));
    EXPECT_EQ(tracks.Count(), 0u);
    ASSERT_GE(g.log.Count(), 2);
    EXPECT_EQ(g.log.Lines()[g.log.Count() - 2], " ");
    EXPECT_EQ(g.log.Last(), "Total has 0 Video Track(s)");
}

TEST_F(TrackListTest, ProbedValuesWinOverTheScriptWordsAndSideFilesOverTheProbe) {
    ContentFixture f;
    PalTrack(f, "pal.mps");
    PalTrack(f, "movie.mps");
    MakeSectorModeFile("content_pal_svcd_2stereo.mpg", kPalSvcdTwoAudioArgs, f.dir / "two.mps", DiscKind::Svcd);
    MakeSectorModeFile("content_ntsc_svcd_mono.mpg", kNtscSvcdMonoArgs, f.dir / "mono.mps", DiscKind::Svcd);
    WriteText(f.dir / "movie.ep", "NTSC\r\nTIME 5 AUDIO 34\r\n");
    ASSERT_TRUE(Read(f,
                     "[TRACK]\n"
                     "MPEGTRACK AVSEQ01 pal.mps NTSC AUDIO 99 TIME 1000\n"
                     "MPEGTRACK AVSEQ02 two.mps PAL AUDIO 0 TIME 0\n"
                     "MPEGTRACK AVSEQ03 mono.mps PAL AUDIO 0 TIME 0\n"
                     "MPEGTRACK AVSEQ04 movie.mps PAL AUDIO 2 TIME 2\n"))
        << f.AllOutput();
    const auto& e = tracks.Entries();
    ASSERT_EQ(e.size(), 4u);
    const std::pair<VideoStandard, uint32_t> expected[] = {
        {VideoStandard::Pal, 0x02}, {VideoStandard::Pal, 0x22}, {VideoStandard::Ntsc, 0x01}, {VideoStandard::Ntsc, 34}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(e[i].videoStandard, int32_t(expected[i].first)) << i;
        EXPECT_EQ(e[i].audioInfo, expected[i].second) << i;
    }
    // The playing time comes from the stream (2 s), not from TIME.
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(double(e[i].duration), 200.0, 100.0) << i;
    uint32_t total = 0;
    for (const TrackEntry& t : e) total += t.duration;
    EXPECT_EQ(tracks.TotalPlayingTime(), total);
    // A missing side file only warns on the SVCD kinds.
    EXPECT_TRUE(f.Logged("Warning::Can't open PAL.EP, disc information may be wrong")) << f.AllOutput();
    EXPECT_FALSE(f.LoggedContaining("MOVIE.EP"));
}

TEST_F(TrackListTest, VideoCdTracksTakeNoFurtherWordsAndNeedNoSideFile) {
    ContentFixture f(DiscKind::Vcd30);
    MakeSectorModeFile("content_pal_vcd.mpg", kPalVcdArgs, f.dir / "v.mps", DiscKind::Vcd30);
    ASSERT_TRUE(Read(f, "[TRACK]\nMPEGTRACK MUSIC02 v.mps\nMPEGTRACK MUSIC01 v.mps\nSEGMENT\n")) << f.AllOutput();
    ASSERT_EQ(tracks.Count(), 2u);
    EXPECT_EQ(tracks.Entries()[0].id, "MUSIC01");
    EXPECT_EQ(tracks.Entries()[0].videoStandard, int32_t(VideoStandard::Pal));
    EXPECT_EQ(tracks.Entries()[0].audioInfo, 0x02u);
    EXPECT_EQ(tracks.TotalPlayingTime(), 0u);
    EXPECT_FALSE(f.LoggedContaining("Warning"));
}

TEST_F(TrackListTest, ScriptErrorsStopTheList) {
    struct Case {
        DiscKind kind;
        const char* line;
        const char* message;
        bool boxed;
        int result;
    };
    const Case cases[] = {
        {DiscKind::Vcd30, "MPEGTRACK AVSEQ01 a.mps", "100: ID_Name = AVSEQ01", true, 0},
        {DiscKind::Svcd, "MPEGTRACK AVS a.mps PAL AUDIO 2 TIME 2", "100: ID_Name = AVS", true, 0},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ01 a.mps AUDIO 2 TIME 2", "Missing PAL/NTSC", true, 0},
        {DiscKind::Cvd, "MPEGTRACK AVSEQ01 a.mps PAL TIME 2", "Missing AUDIO", true, 0},
        {DiscKind::SuperVcd, "MPEGTRACK AVSEQ01 a.mps PAL AUDIO 2\nENDFILE", "Missing TIME", true, 0},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ0001 a.mps PAL AUDIO 2 TIME 2", "AVSEQ0001 is too long, at most 7", false, 0},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ01 missing.mps PAL AUDIO 2 TIME 2",
         "Error 10002: File MISSING.MPS is not a track format", false, 10002},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ01 junk.mps PAL AUDIO 2 TIME 2",
         "Error 10002: File JUNK.MPS is not a track format", false, 10002},
    };
    for (const Case& c : cases) {
        ContentFixture f(c.kind);
        PalTrack(f, "a.mps");
        WriteBytes(f.dir / "junk.mps", std::vector<uint8_t>(2336 * 3, 0x55));
        tracks.Clear();
        result = 0;
        EXPECT_FALSE(Read(f, std::string("[TRACK]\n") + c.line + "\n")) << c.line;
        EXPECT_TRUE(c.boxed ? f.Shown(c.message) : f.LoggedContaining(c.message)) << c.line << "\n" << f.AllOutput();
        EXPECT_EQ(result, c.result) << c.line;
        EXPECT_EQ(tracks.Count(), 0u) << c.line;
    }
    ContentFixture f;
    result = 0;
    EXPECT_FALSE(Read(f, "[VCD]\nMODE=SVCD\n"));
    EXPECT_EQ(result, 20010);
    EXPECT_TRUE(f.Logged("Track info do't found"));
}

TEST_F(TrackListTest, MoreTracksThanTheDiscHoldsAreRefused) {
    ContentFixture f;
    MakeSectorModeFile("content_pal_vcd.mpg", kPalVcdArgs, f.dir / "v.mps", DiscKind::Vcd30);
    std::string script = "[TRACK]\n";
    for (size_t i = 0; i <= kMaxVideoTracks; ++i)
        script += "MPEGTRACK AVSEQ" + std::to_string(i) + " v.mps PAL AUDIO 1 TIME 1\n";
    EXPECT_FALSE(Read(f, script));
    EXPECT_EQ(tracks.Count(), kMaxVideoTracks);
    EXPECT_TRUE(f.LoggedContaining("too many video tracks, at most 98")) << f.AllOutput();
}

TEST(EntryPointTest, KeysAscendAndEqualKeysKeepTheirOrder) {
    ContentFixture f;
    TrackList tracks;
    TrackEntry t;
    t.id = "AVSEQ01";
    tracks.Insert(t);
    for (const auto& [sector, key] : {std::pair{16u, 300}, {32u, 100}, {48u, 300}})
        EXPECT_TRUE(InsertEntryPoint(tracks, f.ctx, "AVSEQ01", sector, key));
    EXPECT_FALSE(InsertEntryPoint(tracks, f.ctx, "AVSEQ09", 64, 50));
    EXPECT_TRUE(f.Shown("Insert entry failed, not found ID AVSEQ09"));
    const auto& points = tracks.Entries()[0].entryPoints;
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].value, 32u);
    EXPECT_EQ(points[1].value, 16u);
    EXPECT_EQ(points[2].value, 48u);
}

}  // namespace
}  // namespace qorvcd::test
