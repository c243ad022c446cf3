// Pictures of any format into stills: reading them, keeping their shape, the
// standard sizes that keep the bitmap path, and the `still` command on them.
#include <gtest/gtest.h>

#include <functional>

#include "codec/bitmap_header.h"
#include "codec/picture_reader.h"
#include "codec/still_codec.h"
#include "codec/still_encoder.h"
#include "codec/still_format.h"
#include "tests/codec/codec_media.h"

namespace qorvcd::codec {
namespace {

// Runs the encoder entry point on a picture; the elementary stream goes to `out`.
int Encode(StillCodec& codec, const std::string& picture, const std::string& out, bool mpeg1) {
    std::string args[] = {"mpeg2encode", picture, out, mpeg1 ? "1" : "0"};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), nullptr};
    return codec.EncodeMain(4, argv);
}

// The red disc and the black bars of a decoded still, in the still's pixels.
struct Measured {
    int discLeft = -1, discRight = -1, discTop = -1, discBottom = -1;
    int blackTopRows = 0, blackLeftColumns = 0;
};

Measured Measure(const std::vector<uint8_t>& rgb, int width, int height) {
    Measured m;
    const auto at = [&](int x, int y, int c) { return int(rgb[(size_t(y) * width + x) * 3 + c]); };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (at(x, y, 0) > 150 && at(x, y, 1) < 90) {  // red, not the white ground nor a black bar
                if (m.discLeft < 0 || x < m.discLeft) m.discLeft = x;
                if (m.discTop < 0) m.discTop = y;
                m.discRight = std::max(m.discRight, x);
                m.discBottom = y;
            }
        }
    const auto dark = [&](int x, int y) { return at(x, y, 0) < 40 && at(x, y, 1) < 40 && at(x, y, 2) < 40; };
    for (bool all = true; all && m.blackTopRows < height; m.blackTopRows += all)
        for (int x = 0; x < width && all; ++x) all = dark(x, m.blackTopRows);
    for (bool all = true; all && m.blackLeftColumns < width; m.blackLeftColumns += all)
        for (int y = 0; y < height && all; ++y) all = dark(m.blackLeftColumns, y);
    return m;
}

TEST(PictureStills, PicturesOfEveryShapeKeepItsRoundnessInsideBlackBars) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make and read the pictures";
    test::TempDir dir;
    const std::string wide = test::CirclePicture("circle-1920x1080.jpg", 1920, 1080, 400, "mjpeg");
    const std::string tall = test::CirclePicture("circle-600x900.png", 600, 900, 250, "png");
    const struct {
        std::string picture;
        StillCodecSettings settings;
        bool mpeg1;
        int width, height;          // the still's frame
        int barRows, barColumns;    // black bars expected above and to the left
    } cases[] = {
        // 16:9 on a 4:3 screen: a quarter of the height is bars, shared above and below.
        {wide, {DiscKind::Svcd, 3, std::nullopt}, false, 704, 576, 72, 0},
        {wide, {DiscKind::Vcd30, 2, VideoStandard::Ntsc}, true, 352, 240, 30, 0},
        {wide, {DiscKind::Cvd, 2, VideoStandard::Pal}, false, 352, 576, 72, 0},
        // 2:3 upright: bars left and right, half of the width each side of 4:3 x 2/3.
        {tall, {DiscKind::Svcd, 2, VideoStandard::Pal}, false, 480, 576, 0, 120},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        StillCodec codec(c.settings);
        ASSERT_EQ(Encode(codec, c.picture, dir / "S.VBS", c.mpeg1), 0) << codec.LastError();
        const std::vector<uint8_t> rgb = test::DecodeToRgb(dir / "S.VBS", dir / "s.rgb");
        ASSERT_EQ(rgb.size(), size_t(c.width) * c.height * 3);
        const Measured m = Measure(rgb, c.width, c.height);
        ASSERT_GE(m.discLeft, 0) << "no disc in the still";
        // Shown on a 4:3 screen a pixel of the frame is 4h/3w as wide as it is high.
        const double pixelAspect = 4.0 * c.height / (3.0 * c.width);
        const double shownWidth = (m.discRight - m.discLeft + 1) * pixelAspect;
        const double shownHeight = m.discBottom - m.discTop + 1;
        EXPECT_NEAR(shownWidth / shownHeight, 1.0, 0.04) << shownWidth << " x " << shownHeight;
        EXPECT_NEAR(m.blackTopRows, c.barRows, 3);
        EXPECT_NEAR(m.blackLeftColumns, c.barColumns, 3);
        // The disc sits in the middle of the screen.
        EXPECT_NEAR((m.discLeft + m.discRight) / 2.0, c.width / 2.0, 3);
        EXPECT_NEAR((m.discTop + m.discBottom) / 2.0, c.height / 2.0, 3);
    }
}

TEST(PictureStills, StandardSizesFillTheFrameAndBitmapsKeepTheirBytes) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make and read the pictures";
    test::TempDir dir;
    // A bitmap of a standard frame size gives exactly what the bitmap encoder gives it.
    const struct { int width, height; DiscKind kind; int mode; bool mpeg1; } bitmaps[] = {
        {352, 288, DiscKind::Vcd30, 2, true},
        {704, 480, DiscKind::Svcd, 3, false},
        {480, 576, DiscKind::Cvd, 2, false},
    };
    for (const auto& b : bitmaps) {
        const std::string bitmap = test::TestBitmap(b.width, b.height);
        StillCodec codec({b.kind, b.mode, std::nullopt});
        ASSERT_EQ(Encode(codec, bitmap, dir / "B.VBS", b.mpeg1), 0) << codec.LastError();
        std::vector<uint8_t> direct;
        std::string error;
        ASSERT_TRUE(EncodeBitmapStill(test::ReadBytes(bitmap), StillFormatFor(b.kind, b.mode, b.height),
                                      b.mpeg1 ? StillVideoSyntax::Mpeg1 : StillVideoSyntax::Mpeg2, direct, &error))
            << error;
        EXPECT_EQ(test::ReadBytes(dir / "B.VBS"), direct) << b.width << "x" << b.height;
    }
    // Any picture of a standard size is a whole 4:3 frame: no bars, its norm from its height.
    const std::string png = test::TestPicture("still-352x240.png", 352, 240, "png");
    StillCodec svcd({DiscKind::Svcd, 2, std::nullopt});
    ASSERT_EQ(Encode(svcd, png, dir / "P.VBS", false), 0) << svcd.LastError();
    EXPECT_EQ(test::ProbeVideo(dir / "P.VBS"), "mpeg2video,480,480,30000/1001,1");
    const Measured m = Measure(test::DecodeToRgb(dir / "P.VBS", dir / "p.rgb"), 480, 480);
    EXPECT_EQ(std::pair(m.blackTopRows, m.blackLeftColumns), std::pair(0, 0));
    // Another size: its height names no standard, so PAL.
    const std::string odd = test::TestPicture("still-800x600.png", 800, 600, "png");
    ASSERT_EQ(Encode(svcd, odd, dir / "O.VBS", false), 0) << svcd.LastError();
    EXPECT_EQ(test::ProbeVideo(dir / "O.VBS"), "mpeg2video,480,576,25/1,1");
}

// A PNG of a few bytes claiming 16000 x 16000 pixels of 16-bit RGBA: a
// decoder that believed it would allocate 2 GB before any size check.
// (The decoder does not check chunk CRCs, so they are left zero.)
std::vector<uint8_t> HugePngHeader() {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                0, 0, 0x3E, 0x80, 0, 0, 0x3E, 0x80,  // width, height 16000
                                16, 6, 0, 0, 0,                      // 16-bit RGBA, no interlace
                                0, 0, 0, 0,                          // CRC
                                0, 0, 0, 8, 'I', 'D', 'A', 'T', 0x78, 0x9C, 0x63, 0x60, 0x18, 0x05, 0x00, 0x00,
                                0, 0, 0, 0};
    return png;
}

TEST(PictureStills, FilesThatAreNoPictureAreRefusedWithTheReason) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is needed to make the pictures";
    test::TempDir dir;
    PictureFacts facts;
    std::string error;
    const std::string jpeg = test::CirclePicture("circle-1920x1080.jpg", 1920, 1080, 400, "mjpeg");
    ASSERT_TRUE(ReadPictureFacts(jpeg, facts, &error)) << error;
    EXPECT_EQ(std::tuple(facts.width, facts.height, facts.bitmap), std::tuple(1920, 1080, false));
    // A format known only by its name (TGA has no signature) is read too.
    const std::string tga = test::TestPicture("still-300x200.tga", 300, 200, "targa");
    ASSERT_TRUE(ReadPictureFacts(tga, facts, &error)) << error;
    EXPECT_EQ(std::pair(facts.width, facts.height), std::pair(300, 200));

    std::vector<uint8_t> noise(3000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 7919 % 251);
    test::WriteBytes(dir / "noise.png", noise);
    test::WriteBytes(dir / "noise.dat", noise);
    test::WriteBytes(dir / "empty.jpg", {});
    std::vector<uint8_t> cut = test::ReadBytes(jpeg);
    cut.resize(600);
    test::WriteBytes(dir / "cut.jpg", cut);
    test::WriteBytes(dir / "huge.png", HugePngHeader());
    const std::string video = test::EnsureMedia(
        "still-not-a-picture.mpg", "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=352x288:rate=25 -t 0.2 "
                                   "-target pal-vcd -f vcd {out}");
    const std::pair<std::string, std::string> refused[] = {  // file, part of the reason
        {dir / "noise.png", "Invalid data"},
        {dir / "noise.dat", "not a picture format FFmpeg reads"},
        {dir / "empty.jpg", "empty"},
        {dir / "cut.jpg", "cannot be decoded"},
        {video, "not a still picture"},
        {dir / "missing.png", "missing.png"},
        {dir / "huge.png", "at most 8192 x 8192 pixels"},
    };
    for (const auto& [file, reason] : refused) {
        error.clear();
        EXPECT_FALSE(ReadPictureFacts(file, facts, &error)) << file;
        EXPECT_NE(error.find(reason), std::string::npos) << file << ": " << error;
        // The encoder refuses it the same way, naming the file, and writes nothing.
        StillCodec codec({DiscKind::Svcd, 2, std::nullopt});
        EXPECT_NE(Encode(codec, file, dir / "X.VBS", false), 0) << file;
        EXPECT_NE(codec.LastError().find(file.substr(file.rfind('/') + 1)), std::string::npos) << codec.LastError();
        EXPECT_FALSE(test::FileExists(dir / "X.VBS"));
    }
}

TEST(StillCommand, TakesAnyPictureInTheNormAskedOrFailsNamingIt) {
    if (!test::FileExists(test::CliPath())) GTEST_SKIP() << "the qorvcd program is not built";
    test::TempDir dir;
    const std::string still = "TMPDIR='" + dir.Path() + "' '" + test::CliPath() + "' still ";
    const std::string png = test::TestPicture("still-640x480.png", 640, 480, "png");
    const auto probe = [&](const std::string& arguments) {
        const test::CommandResult r = test::RunCommand(still + "'" + png + "' '" + dir / "OUT.MPS" + "' " + arguments);
        if (r.exitCode != 0) return "failed: " + r.output;
        return test::ProbeVideo(test::WritePackAreas(dir / "OUT.MPS", dir / "packs.mpg"));
    };
    // A 640x480 picture on a PAL SVCD is a PAL still; left alone its 480 lines make it NTSC.
    EXPECT_EQ(probe("--kind svcd --norm pal"), "mpeg2video,480,576,25/1,1");
    EXPECT_EQ(probe("--kind svcd"), "mpeg2video,480,480,30000/1001,1");
    EXPECT_EQ(probe("--kind svcd --norm PAL --hires"), "mpeg2video,704,576,25/1,1");
    EXPECT_EQ(probe("--kind vcd30 --norm ntsc --mode 3"), "mpeg1video,704,480,30000/1001,1");
    EXPECT_EQ(test::RunCommand(still + "'" + png + "' '" + dir / "X.MPS" + "' --hires --mode 2").exitCode, 2);

    test::WriteBytes(dir / "menu.png", std::vector<uint8_t>(2000, 0x5A));
    const test::CommandResult bad = test::RunCommand(still + "'" + dir / "menu.png" + "' '" + dir / "X.MPS" + "'");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("menu.png: "), std::string::npos) << bad.output;
    EXPECT_NE(bad.output.find("Invalid data"), std::string::npos) << bad.output;
    EXPECT_FALSE(test::FileExists(dir / "X.MPS"));
    EXPECT_EQ(test::RunCommand("ls -A '" + dir.Path() + "' | grep -c qorvcd-still").output, "0\n");
}

}  // namespace
}  // namespace qorvcd::codec
