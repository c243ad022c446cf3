// The [TRACK] section read against real sector-mode streams.
#include "content/track_list.h"

#include "content_fixture.h"

namespace qorvcd::test {
namespace {

class TrackListTest : public ::testing::Test {
  protected:
    // Copies of one packed PAL SVCD stream (one stereo audio stream).
    std::string PalTrack(ContentFixture& f, const std::string& name) {
        const std::string path = f.dir / name;
        MakeSectorModeFile("content_pal_svcd_stereo.mpg", kPalSvcdArgs, path, DiscKind::Svcd);
        return path;
    }

    bool Read(ContentFixture& f, const std::string& script) {
        f.OpenScript(script);
        return ReadTrackList(f.reader, f.ctx, tracks, result);
    }

    TrackList tracks;
    int result = 0;
};

TEST_F(TrackListTest, TracksAreSortedByIdAndNumberedFromTwo) {
    ContentFixture f;
    PalTrack(f, "a.mps");
    PalTrack(f, "b.mps");
    PalTrack(f, "c.mps");
    ASSERT_TRUE(Read(f,
                     "[TRACK]\n"
                     "MPEGTRACK AVSEQ03 c.mps PAL AUDIO 2 TIME 2\n"
                     "MPEGTRACK AVSEQ01 a.mps PAL AUDIO 2 TIME 2\n"
                     "MPEGTRACK AVSEQ02 b.mps PAL AUDIO 2 TIME 2\n"
                     "MPEGTRACK AVSEQ01 c.mps PAL AUDIO 2 TIME 2\n"
                     "ENDFILE\n"))
        << f.AllOutput();
    ASSERT_EQ(tracks.Count(), 4u);
    const auto& e = tracks.Entries();
    // An equal ID goes after the one already there.
    EXPECT_EQ(e[0].id, "AVSEQ01");
    EXPECT_EQ(e[0].fileName, "A.MPS");
    EXPECT_EQ(e[1].id, "AVSEQ01");
    EXPECT_EQ(e[1].fileName, "C.MPS");
    EXPECT_EQ(e[2].id, "AVSEQ02");
    EXPECT_EQ(e[3].id, "AVSEQ03");
    for (size_t i = 0; i < e.size(); ++i) EXPECT_EQ(e[i].number, 2 + i);
    // The upper-cased script name still finds the lower-case file.
    EXPECT_EQ(e[0].path, f.dir / "a.mps");
    EXPECT_TRUE(f.Logged("Total has 4 Video Track(s)"));
    EXPECT_EQ(result, 0);
}

TEST_F(TrackListTest, ProbedValuesWinOverTheScriptWords) {
    ContentFixture f;
    PalTrack(f, "pal.mps");
    MakeSectorModeFile("content_pal_svcd_2stereo.mpg", kPalSvcdTwoAudioArgs, f.dir / "two.mps",
                       DiscKind::Svcd);
    MakeSectorModeFile("content_ntsc_svcd_mono.mpg", kNtscSvcdMonoArgs, f.dir / "mono.mps",
                       DiscKind::Svcd);
    ASSERT_TRUE(Read(f,
                     "[TRACK]\n"
                     "MPEGTRACK AVSEQ01 pal.mps NTSC AUDIO 99 TIME 1000\n"
                     "MPEGTRACK AVSEQ02 two.mps PAL AUDIO 0 TIME 0\n"
                     "MPEGTRACK AVSEQ03 mono.mps PAL AUDIO 0 TIME 0\n"))
        << f.AllOutput();
    const auto& e = tracks.Entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].videoStandard, int32_t(VideoStandard::Pal));
    EXPECT_EQ(e[0].audioInfo, 0x02u);
    EXPECT_EQ(e[1].audioInfo, 0x22u);
    EXPECT_EQ(e[2].videoStandard, int32_t(VideoStandard::Ntsc));
    EXPECT_EQ(e[2].audioInfo, 0x01u);
    // The playing time comes from the stream (2 s), not from TIME.
    for (const TrackEntry& t : e) EXPECT_NEAR(double(t.duration), 200.0, 100.0) << t.id;
    EXPECT_EQ(tracks.TotalPlayingTime(), e[0].duration + e[1].duration + e[2].duration);
}

TEST_F(TrackListTest, SideFileOverridesTheProbe) {
    ContentFixture f;
    PalTrack(f, "movie.mps");
    PalTrack(f, "other.mps");
    WriteText(f.dir / "movie.ep", "NTSC\r\nTIME 5 AUDIO 34\r\n");
    ASSERT_TRUE(Read(f,
                     "[TRACK]\n"
                     "MPEGTRACK AVSEQ01 movie.mps PAL AUDIO 2 TIME 2\n"
                     "MPEGTRACK AVSEQ02 other.mps PAL AUDIO 2 TIME 2\n"))
        << f.AllOutput();
    EXPECT_EQ(tracks.Entries()[0].videoStandard, int32_t(VideoStandard::Ntsc));
    EXPECT_EQ(tracks.Entries()[0].audioInfo, 34u);
    // A missing side file only warns on the SVCD kinds.
    EXPECT_EQ(tracks.Entries()[1].audioInfo, 0x02u);
    EXPECT_TRUE(f.Logged("Warning::Can't open OTHER.EP, disc information may be wrong"))
        << f.AllOutput();
    EXPECT_FALSE(f.LoggedContaining("MOVIE.EP"));
}

TEST_F(TrackListTest, VideoCdTracksTakeNoFurtherWordsAndNeedNoSideFile) {
    ContentFixture f(DiscKind::Vcd30);
    MakeSectorModeFile("content_pal_vcd.mpg", kPalVcdArgs, f.dir / "v.mps", DiscKind::Vcd30);
    ASSERT_TRUE(Read(f,
                     "[TRACK]\n"
                     "MPEGTRACK MUSIC02 v.mps\n"
                     "MPEGTRACK MUSIC01 v.mps\n"
                     "SEGMENT\n"))
        << f.AllOutput();
    ASSERT_EQ(tracks.Count(), 2u);
    EXPECT_EQ(tracks.Entries()[0].id, "MUSIC01");
    EXPECT_EQ(tracks.Entries()[0].videoStandard, int32_t(VideoStandard::Pal));
    EXPECT_EQ(tracks.Entries()[0].audioInfo, 0x02u);
    EXPECT_EQ(tracks.Entries()[0].duration, 0u);
    EXPECT_EQ(tracks.TotalPlayingTime(), 0u);
    EXPECT_FALSE(f.LoggedContaining("Warning"));
}

TEST_F(TrackListTest, EmptySectionsAndListEnds) {
    {
        ContentFixture f;
        ASSERT_TRUE(Read(f, "[TRACK]\n[PBC]\nMPEGTRACK AVSEQ01 x.mps PAL AUDIO 2 TIME 2\n"));
        EXPECT_EQ(tracks.Count(), 0u);
        ASSERT_GE(f.log.Count(), 2);
        EXPECT_EQ(f.log.Lines()[f.log.Count() - 2], " ");
        EXPECT_EQ(f.log.Last(), "Total has 0 Video Track(s)");
    }
    {
        // Any other word where a track would start ends the list quietly.
        ContentFixture f;
        PalTrack(f, "a.mps");
        ASSERT_TRUE(Read(f,
                         "[TRACK]\nMPEGTRACK AVSEQ01 a.mps PAL AUDIO 2 TIME 2\nSEGMENT\n"
                         "MPEGTRACK AVSEQ02 a.mps PAL AUDIO 2 TIME 2\n"));
        EXPECT_EQ(tracks.Count(), 1u);
        EXPECT_TRUE(f.messages.empty());
    }
}

TEST_F(TrackListTest, ScriptErrorsStopTheList) {
    struct Case {
        const char* name;
        DiscKind kind;
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"wrong prefix", DiscKind::Vcd30, "MPEGTRACK AVSEQ01 a.mps", "100: ID_Name = AVSEQ01"},
        {"short id", DiscKind::Svcd, "MPEGTRACK AVS a.mps PAL AUDIO 2 TIME 2",
         "100: ID_Name = AVS"},
        {"no standard", DiscKind::Svcd, "MPEGTRACK AVSEQ01 a.mps AUDIO 2 TIME 2",
         "Missing PAL/NTSC"},
        {"no audio", DiscKind::Cvd, "MPEGTRACK AVSEQ01 a.mps PAL TIME 2", "Missing AUDIO"},
        {"no time", DiscKind::SuperVcd, "MPEGTRACK AVSEQ01 a.mps PAL AUDIO 2\nENDFILE",
         "Missing TIME"},
    };
    for (const Case& c : cases) {
        ContentFixture f(c.kind);
        PalTrack(f, "a.mps");
        tracks.Clear();
        result = 0;
        EXPECT_FALSE(Read(f, std::string("[TRACK]\n") + c.line + "\n")) << c.name;
        EXPECT_TRUE(f.Shown(c.message)) << c.name << "\n" << f.AllOutput();
        EXPECT_EQ(result, 0) << c.name;
    }
}

TEST_F(TrackListTest, OverlongIdsAreRefused) {
    ContentFixture f;
    PalTrack(f, "a.mps");
    EXPECT_FALSE(Read(f, "[TRACK]\nMPEGTRACK AVSEQ0001 a.mps PAL AUDIO 2 TIME 2\n"));
    EXPECT_TRUE(f.LoggedContaining("AVSEQ0001 is too long, at most 7")) << f.AllOutput();
    EXPECT_EQ(tracks.Count(), 0u);
}

TEST_F(TrackListTest, FilesThatAreNotTracksFailWithTheirCode) {
    {
        ContentFixture f;
        EXPECT_FALSE(Read(f, "[TRACK]\nMPEGTRACK AVSEQ01 missing.mps PAL AUDIO 2 TIME 2\n"));
        EXPECT_EQ(result, 10002);
        EXPECT_TRUE(f.Logged("Error 10002: File MISSING.MPS is not a track format"))
            << f.AllOutput();
        EXPECT_TRUE(f.Logged("Can't open file MISSING.MPS"));
    }
    {
        ContentFixture f;
        WriteBytes(f.dir / "junk.mps", std::vector<uint8_t>(2336 * 3, 0x55));
        result = 0;
        EXPECT_FALSE(Read(f, "[TRACK]\nMPEGTRACK AVSEQ01 junk.mps PAL AUDIO 2 TIME 2\n"));
        EXPECT_EQ(result, 10002);
        EXPECT_EQ(tracks.Count(), 0u);
    }
    {
        ContentFixture f;
        result = 0;
        EXPECT_FALSE(Read(f, "[VCD]\nMODE=SVCD\n"));
        EXPECT_EQ(result, 20010);
        EXPECT_TRUE(f.Logged("Track info do't found"));
    }
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
    EXPECT_TRUE(InsertEntryPoint(tracks, f.ctx, "AVSEQ01", 16, 300));
    EXPECT_TRUE(InsertEntryPoint(tracks, f.ctx, "AVSEQ01", 32, 100));
    EXPECT_TRUE(InsertEntryPoint(tracks, f.ctx, "AVSEQ01", 48, 300));
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
