// Pictures of any format in the SEGMENT block: converted into stills of the
// disc's standard, with failures that name the file and the reason.
#include "codec/encode_pipeline.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "content_fixture.h"
#include "tests/codec/codec_media.h"

namespace qorvcd::test {
namespace {

// Reads the script's [TRACK] section (when it has one), then its SEGMENT block.
struct PictureRun {
    TrackList tracks;
    SegmentList segments;
    int result = 0;
    bool Read(ContentFixture& f, const std::string& trackSection, const std::string& block) {
        f.OpenScript(trackSection + "[PBC]\nSEGMENT\n" + block + "\nENDSEGMENT\nPLAYLIST\n");
        if (!trackSection.empty() && ReadTrackList(f.reader, f.ctx, tracks) != kOk) return false;
        result = ReadSegmentItems(f.reader, f.ctx, segments, trackSection.empty() ? nullptr : &tracks);
        return result == kOk;
    }
    std::string Probe(ContentFixture& f, size_t item) {
        return ProbeVideo(WritePackAreas(segments.Items().at(item).fileName, f.dir / "packs.mpg"));
    }
};

TEST(PictureSegments, PngAndJpegBecomeStillsOfTheTracksStandard) {
    if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the pictures";
    const std::string png = TestPicture("still-640x480.png", 640, 480, "png");
    const std::string jpeg = CirclePicture("circle-1920x1080.jpg", 1920, 1080, 400, "mjpeg");
    {
        // PAL tracks: the 640x480 picture (an NTSC height) is a PAL still all the same.
        ContentFixture f(DiscKind::Svcd);
        f.Pack(PalSvcdStereoStream(), "movie.mps");
        WriteBytes(f.dir / "menu.png", ReadBytes(png));
        WriteBytes(f.dir / "Photo.JPG", ReadBytes(jpeg));
        PictureRun run;
        ASSERT_TRUE(run.Read(f, "[TRACK]\nMPEGTRACK AVSEQ01 movie.mps PAL AUDIO 2 TIME 2\n",
                             "SEGMENU = menu.png AUDIO 0 VIDEO 1\nSEGPIC = photo.jpg AUDIO 0 VIDEO 2"))
            << f.AllOutput();
        ASSERT_EQ(run.segments.Count(), 2u);
        EXPECT_EQ(run.Probe(f, 0), "mpeg2video,480,576,25/1,1");
        EXPECT_EQ(run.Probe(f, 1), "mpeg2video,704,576,25/1,1");  // a large picture is a high-resolution still
        EXPECT_TRUE(f.Logged("Encoding " + f.dir / "menu.png") && f.Logged("High")) << f.AllOutput();
        EXPECT_EQ(run.segments.Items()[0].origin, SegmentOrigin::Converted);
    }
    {
        // NTSC tracks on a Video CD: a picture with no standard height follows them.
        ContentFixture f(DiscKind::Vcd30);
        f.Pack(NtscSvcdStream(), "movie.mps");
        WriteBytes(f.dir / "menu.png", ReadBytes(TestPicture("still-800x600.png", 800, 600, "png")));
        PictureRun run;
        ASSERT_TRUE(run.Read(f, "[TRACK]\nMPEGTRACK MUSIC01 movie.mps\n", "SEGMENU = menu.png")) << f.AllOutput();
        EXPECT_EQ(run.Probe(f, 0), "mpeg1video,704,480,30000/1001,1");
    }
    {
        // No tracks: the picture's own height decides.
        ContentFixture f(DiscKind::Cvd);
        WriteBytes(f.dir / "menu.png", ReadBytes(png));
        PictureRun run;
        ASSERT_TRUE(run.Read(f, "", "SEGMENU = menu.png AUDIO 0 VIDEO 1")) << f.AllOutput();
        EXPECT_EQ(run.Probe(f, 0), "mpeg2video,352,480,30000/1001,1");
    }
}

TEST(PictureSegments, AStandardBitmapKeepsItsOwnStandardAndBadPicturesFailNamingTheReason) {
    if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the pictures";
    {
        // A bitmap of a standard size is converted as it always was, tracks or not.
        ContentFixture f(DiscKind::Svcd);
        f.Pack(PalSvcdStereoStream(), "movie.mps");
        WriteBytes(f.dir / "menu.bmp", ReadBytes(TestBitmap(480, 480)));
        PictureRun run;
        ASSERT_TRUE(run.Read(f, "[TRACK]\nMPEGTRACK AVSEQ01 movie.mps PAL AUDIO 2 TIME 2\n",
                             "SEGMENU = menu.bmp AUDIO 0 VIDEO 1"))
            << f.AllOutput();
        EXPECT_EQ(run.Probe(f, 0), "mpeg2video,480,480,30000/1001,1");
    }
    ContentFixture f(DiscKind::Svcd);
    WriteBytes(f.dir / "menu.png", std::vector<uint8_t>(2000, 0x5A));
    PictureRun run;
    EXPECT_FALSE(run.Read(f, "", "SEGMENU = menu.png AUDIO 0 VIDEO 1"));
    EXPECT_EQ(run.result, kStepFailed);
    EXPECT_TRUE(f.Logged("Can't read picture MENU.PNG: ") && f.Logged("Invalid data")) << f.AllOutput();
    EXPECT_EQ(run.segments.Count(), 0u);
}

}  // namespace
}  // namespace qorvcd::test
