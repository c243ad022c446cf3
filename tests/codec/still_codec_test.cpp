#include <gtest/gtest.h>

#include "codec/still_codec.h"
#include "codec/still_mux.h"
#include "tests/codec/codec_media.h"
#include "tests/support/test_support.h"

namespace qorvcd::codec {
namespace {

// An argument vector as the pipeline hands it over.
class Args {
public:
    Args(std::initializer_list<std::string> texts) : texts_(texts) {
        for (std::string& t : texts_) pointers_.push_back(t.data());
        pointers_.push_back(nullptr);
    }
    int Count() const { return int(texts_.size()); }
    char** Vector() { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

int Encode(StillCodec& codec, Args args) { return codec.EncodeMain(args.Count(), args.Vector()); }
int MuxMpeg2(StillCodec& codec, Args args, int mode = 2) { return codec.Mux(args.Count(), args.Vector(), mode, 0, 0); }
int MuxMpeg1(StillCodec& codec, Args args, int mode = 2) { return codec.MuxMpg1(args.Count(), args.Vector(), mode, 0); }

TEST(StillCodec, EncoderWritesOnePictureOfTheStillSize) {
    test::TempDir dir;
    const std::string bitmap = test::TestBitmap(704, 576);
    struct Case {
        DiscKind kind;
        int mode;
        const char* mpeg1;
        const char* codecName;
        int width;
        int height;
    };
    const Case cases[] = {
        // The fourth argument, not the disc kind, chooses MPEG-1 or MPEG-2.
        {DiscKind::Vcd30, 3, "0", "mpeg2video", 704, 576},
        {DiscKind::Cvd, 2, "1", "mpeg1video", 352, 576},
    };
    for (const Case& c : cases) {
        StillCodec codec({c.kind, c.mode});
        const std::string out = dir / "STILL.VBS";
        ASSERT_EQ(Encode(codec, {"mpeg2encode", bitmap, out, c.mpeg1}), 0) << codec.LastError();
        EXPECT_TRUE(codec.LastError().empty());
        const std::vector<uint8_t> es = test::ReadBytes(out);
        ASSERT_GE(es.size(), 4u);
        // A still ends with a sequence end code so it is shown at once.
        EXPECT_EQ(std::vector<uint8_t>(es.end() - 4, es.end()), (std::vector<uint8_t>{0, 0, 1, 0xB7}));
        const test::ProbedVideo v = test::ProbeVideo(out);
        EXPECT_EQ(v.codec, c.codecName) << v.raw;
        EXPECT_EQ(v.width, c.width) << v.raw;
        EXPECT_EQ(v.height, c.height) << v.raw;
        EXPECT_EQ(v.frames, 1) << v.raw;
    }
}

TEST(StillCodec, EncoderTakesPaletteAndNtscBitmaps) {
    test::TempDir dir;
    StillCodec codec({DiscKind::Vcd30, 2});
    const std::string out = dir / "PAL8.VBS";
    ASSERT_EQ(Encode(codec, {"mpeg2encode", test::TestBitmap(352, 240, "pal8"), out, "1"}), 0) << codec.LastError();
    const test::ProbedVideo v = test::ProbeVideo(out);
    EXPECT_EQ(v.width, 352) << v.raw;
    EXPECT_EQ(v.height, 240) << v.raw;
}

TEST(StillCodec, EncoderRefusesBadArgumentsAndInputs) {
    test::TempDir dir;
    StillCodec codec({DiscKind::Svcd, 2});
    const std::string bitmap = test::TestBitmap(480, 576);
    const std::string out = dir / "X.VBS";
    EXPECT_EQ(Encode(codec, {"mpeg2encode", bitmap, out}), int(CodecResult::BadArguments));
    EXPECT_EQ(Encode(codec, {"mpeg2encode", bitmap, out, "2"}), int(CodecResult::BadArguments));
    EXPECT_EQ(Encode(codec, {"mpeg2encode", dir / "missing.bmp", out, "0"}), int(CodecResult::InputUnreadable));
    EXPECT_FALSE(codec.LastError().empty());

    std::vector<uint8_t> corrupt = test::ReadBytes(bitmap);
    corrupt.resize(corrupt.size() / 2);
    test::WriteBytes(dir / "half.bmp", corrupt);
    EXPECT_EQ(Encode(codec, {"mpeg2encode", dir / "half.bmp", out, "0"}), int(CodecResult::InputFormat));
    EXPECT_NE(codec.LastError().find("truncated"), std::string::npos) << codec.LastError();

    // An output in a folder that does not exist.
    EXPECT_EQ(Encode(codec, {"mpeg2encode", bitmap, dir / "no/such/X.VBS", "0"}), int(CodecResult::OutputFailure));
    EXPECT_FALSE(test::FileExists(out));
}

TEST(StillCodec, MultiplexedStillsPlayAsOnePicture) {
    test::TempDir dir;
    const std::string bitmap = test::TestBitmap(352, 288);
    StillCodec vcd({DiscKind::Vcd30, 2});
    ASSERT_EQ(Encode(vcd, {"mpeg2encode", bitmap, dir / "V1.VBS", "1"}), 0) << vcd.LastError();
    ASSERT_EQ(MuxMpeg1(vcd, {"mux.exe", "-o", dir / "V1.PS", dir / "V1.VBS", "0.00"}), 0) << vcd.LastError();
    test::ProbedVideo v = test::ProbeVideo(dir / "V1.PS");
    EXPECT_EQ(v.codec, "mpeg1video") << v.raw;
    EXPECT_EQ(v.frames, 1) << v.raw;
    EXPECT_EQ(test::ReadBytes(dir / "V1.PS").size() % 2324, 4u);  // whole packs and the end code

    StillCodec svcd({DiscKind::Svcd, 3});
    ASSERT_EQ(Encode(svcd, {"mpeg2encode", bitmap, dir / "V2.VBS", "0"}), 0) << svcd.LastError();
    ASSERT_EQ(MuxMpeg2(svcd, {"mux.exe", "-o", dir / "V2.PS", dir / "V2.VBS", "0.00", "1"}, 3), 0)
        << svcd.LastError();
    v = test::ProbeVideo(dir / "V2.PS");
    EXPECT_EQ(v.codec, "mpeg2video") << v.raw;
    EXPECT_EQ(v.width, 704) << v.raw;
    EXPECT_EQ(v.frames, 1) << v.raw;
}

TEST(StillCodec, MultiplexerRefusesBadArgumentsAndStreams) {
    test::TempDir dir;
    StillCodec codec({DiscKind::Svcd, 2});
    const std::string mpeg2 = dir / "S.VBS";
    ASSERT_EQ(Encode(codec, {"mpeg2encode", test::TestBitmap(480, 576), mpeg2, "0"}), 0) << codec.LastError();
    const std::string ps = dir / "S.PS";
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-x", ps, mpeg2, "0.00"}), int(CodecResult::BadArguments));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, mpeg2, "soon"}), int(CodecResult::BadArguments));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, mpeg2, "-1"}), int(CodecResult::BadArguments));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, mpeg2, "0.00", "yes"}), int(CodecResult::BadArguments));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, mpeg2, "0.00"}, 4), int(CodecResult::BadArguments));
    // MPEG-1 packs for an MPEG-1 stream only, and the reverse.
    EXPECT_EQ(MuxMpeg1(codec, {"mux.exe", "-o", ps, mpeg2, "0.00"}), int(CodecResult::InputFormat));
    EXPECT_EQ(MuxMpeg1(codec, {"mux.exe", "-o", ps, mpeg2, "0.00", "1"}), int(CodecResult::BadArguments));
    test::WriteBytes(dir / "junk.VBS", std::vector<uint8_t>(100, 0x47));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, dir / "junk.VBS", "0.00"}), int(CodecResult::InputFormat));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, dir / "none.VBS", "0.00"}), int(CodecResult::InputUnreadable));
    EXPECT_FALSE(test::FileExists(ps));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, mpeg2, "0.00"}), 0) << codec.LastError();
    EXPECT_TRUE(test::FileExists(ps));
}

}  // namespace
}  // namespace qorvcd::codec
