#include <gtest/gtest.h>

#include "codec/still_codec.h"
#include "tests/codec/codec_media.h"
#include "tests/support/test_support.h"

namespace qorvcd::codec {
namespace {

// Runs an entry point with an argument vector as the pipeline hands it over.
template <typename Call>
int WithArgs(std::vector<std::string> texts, Call call) {
    std::vector<char*> pointers;
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return call(int(texts.size()), pointers.data());
}
int Encode(StillCodec& codec, std::vector<std::string> args) {
    return WithArgs(std::move(args), [&](int n, char** v) { return codec.EncodeMain(n, v); });
}
int MuxMpeg2(StillCodec& codec, std::vector<std::string> args, int mode = 2) {
    return WithArgs(std::move(args), [&](int n, char** v) { return codec.Mux(n, v, mode, 0, 0); });
}
int MuxMpeg1(StillCodec& codec, std::vector<std::string> args) {
    return WithArgs(std::move(args), [&](int n, char** v) { return codec.MuxMpg1(n, v, 2, 0); });
}

TEST(StillCodec, EncoderWritesOnePictureOfTheStillSize) {
    test::TempDir dir;
    const struct { DiscKind kind; int mode; std::string bitmap; const char* mpeg1; const char* codecName; int width; int height; } cases[] = {
        // The fourth argument, not the disc kind, chooses MPEG-1 or MPEG-2.
        {DiscKind::Vcd30, 3, test::TestBitmap(704, 576), "0", "mpeg2video", 704, 576},
        {DiscKind::Cvd, 2, test::TestBitmap(704, 576), "1", "mpeg1video", 352, 576},
        {DiscKind::Vcd30, 2, test::TestBitmap(352, 240, "pal8"), "1", "mpeg1video", 352, 240},
    };
    for (const auto& c : cases) {
        StillCodec codec({c.kind, c.mode});
        const std::string out = dir / "STILL.VBS";
        ASSERT_EQ(Encode(codec, {"mpeg2encode", c.bitmap, out, c.mpeg1}), 0) << codec.LastError();
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
    EXPECT_EQ(Encode(codec, {"mpeg2encode", bitmap, dir / "no/such/X.VBS", "0"}), int(CodecResult::OutputFailure));
    EXPECT_FALSE(test::FileExists(out));
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
    // MPEG-1 packs for an MPEG-1 stream only.
    EXPECT_EQ(MuxMpeg1(codec, {"mux.exe", "-o", ps, mpeg2, "0.00"}), int(CodecResult::InputFormat));
    EXPECT_EQ(MuxMpeg1(codec, {"mux.exe", "-o", ps, mpeg2, "0.00", "1"}), int(CodecResult::BadArguments));
    test::WriteBytes(dir / "junk.VBS", std::vector<uint8_t>(100, 0x47));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, dir / "junk.VBS", "0.00"}), int(CodecResult::InputFormat));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, dir / "none.VBS", "0.00"}), int(CodecResult::InputUnreadable));
    EXPECT_FALSE(test::FileExists(ps));
    EXPECT_EQ(MuxMpeg2(codec, {"mux.exe", "-o", ps, mpeg2, "0.00", "1"}, 3), 0) << codec.LastError();
    const test::ProbedVideo v = test::ProbeVideo(ps);
    EXPECT_EQ(v.codec, "mpeg2video") << v.raw;
    EXPECT_EQ(v.frames, 1) << v.raw;
    EXPECT_EQ(test::ReadBytes(ps).size() % 2324, 0u);  // whole packs
}

}  // namespace
}  // namespace qorvcd::codec
