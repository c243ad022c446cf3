// The still codec's parts: bitmap headers, the video standard, packs, entry points, the `still` command.
#include <gtest/gtest.h>

#include <functional>

#include "codec/bitmap_header.h"
#include "codec/still_codec.h"
#include "codec/still_format.h"
#include "codec/still_mux.h"
#include "platform/bytes.h"
#include "tests/codec/codec_media.h"

namespace qorvcd::codec {
namespace {

TEST(BitmapHeader, ReadsRealAndTopDownBitmapsRefusesDamageAndImpliesTheStandard) {
    BitmapHeader h;
    std::string error;
    std::vector<uint8_t> bytes = test::ReadBytes(test::TestBitmap(352, 288));
    EXPECT_TRUE(ParseBitmapHeader(bytes.data(), bytes.size(), h, &error) && h.width == 352 && h.height == 288 &&
                h.bitsPerPixel == 24 && !h.topDown) << error;
    PutLe32(bytes.data() + 22, uint32_t(-288));
    EXPECT_TRUE(ParseBitmapHeader(bytes.data(), bytes.size(), h, &error) && h.height == 288 && h.topDown) << error;
    bytes = test::ReadBytes(test::TestBitmap(352, 288, "pal8"));  // the palette lies between headers and rows
    EXPECT_TRUE(ParseBitmapHeader(bytes.data(), bytes.size(), h, &error) && h.bitsPerPixel == 8 &&
                h.dataOffset > kBitmapFileHeaderSize + kBitmapInfoHeaderSize) << error;

    const std::vector<uint8_t> good = test::ReadBytes(test::TestBitmap(352, 288));
    using Damage = void (*)(std::vector<uint8_t>&);
    const std::pair<Damage, const char*> damages[] = {  // and a part of the reason
        {[](std::vector<uint8_t>& b) { b[0] = 'P'; }, "BM"},
        {[](std::vector<uint8_t>& b) { PutLe32(b.data() + 14, 20); }, "header size"},
        {[](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 0); }, "picture size"},
        {[](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 0x7FFFFFFF); }, "picture size"},
        {[](std::vector<uint8_t>& b) { PutLe32(b.data() + 22, 0x80000000u); }, "picture size"},
        {[](std::vector<uint8_t>& b) { PutLe16(b.data() + 26, 3); }, "planes"},
        {[](std::vector<uint8_t>& b) { PutLe16(b.data() + 28, 7); }, "depth"},
        {[](std::vector<uint8_t>& b) { PutLe32(b.data() + 30, 4); }, "compression"},
        {[](std::vector<uint8_t>& b) { PutLe32(b.data() + 10, uint32_t(b.size())); }, "offset"},
        {[](std::vector<uint8_t>& b) { PutLe32(b.data() + 10, 20); }, "offset"},
        {[](std::vector<uint8_t>& b) { b.resize(b.size() - 100); }, "truncated"},
        {[](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 4000); }, "truncated"},  // wider than the rows
        {[](std::vector<uint8_t>& b) { b.resize(20); }, "shorter"},
        {[](std::vector<uint8_t>& b) { b.resize(60), PutLe32(b.data() + 14, 124); }, "runs past"},
    };
    for (size_t i = 0; i < std::size(damages); ++i) {
        std::vector<uint8_t> bytes = good;
        damages[i].first(bytes);
        EXPECT_FALSE(ParseBitmapHeader(bytes.data(), bytes.size(), h, &error)) << i;
        EXPECT_NE(error.find(damages[i].second), std::string::npos) << i << ": " << error;
    }
    // The video standard is the one of the nearest frame height; halfway is PAL; top-down heights are negative.
    const std::pair<int32_t, VideoStandard> heights[] = {
        {240, VideoStandard::Ntsc}, {486, VideoStandard::Ntsc}, {100, VideoStandard::Ntsc}, {288, VideoStandard::Pal},
        {1080, VideoStandard::Pal}, {-480, VideoStandard::Ntsc}, {264, VideoStandard::Pal}, {528, VideoStandard::Pal}};
    for (const auto& [height, standard] : heights) EXPECT_EQ(StandardForHeight(height), standard) << height;
}

constexpr size_t kPack = 2324;

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = uint8_t(i * 7 + 3);
    return v;
}

bool StartCodeAt(const std::vector<uint8_t>& s, size_t at, uint8_t code) {
    return at + 4 <= s.size() && s[at] == 0 && s[at + 1] == 0 && s[at + 2] == 1 && s[at + 3] == code;
}

// Every pack must be exactly one sector's data, made of whole packets.
struct Demuxed {
    std::vector<uint8_t> video;
    size_t packs = 0, systemHeaders = 0, systemHeaderPack = SIZE_MAX, firstVideoPack = SIZE_MAX;
    uint8_t listedStream = 0;
    uint64_t lastScr = 0, pts = 0;
    bool endCode = false;
};

Demuxed Demux(const std::vector<uint8_t>& ps, PackSyntax syntax) {
    Demuxed d;
    const bool mpeg1 = syntax == PackSyntax::Mpeg1;
    for (size_t at = 0; at < ps.size(); at += kPack, ++d.packs) {
        EXPECT_TRUE(StartCodeAt(ps, at, 0xBA) && at + kPack <= ps.size()) << "no whole pack at " << at;
        if (!StartCodeAt(ps, at, 0xBA) || at + kPack > ps.size()) return d;
        const uint8_t* pack = ps.data() + at;
        EXPECT_EQ(pack[4] & (mpeg1 ? 0xF0 : 0xC0), mpeg1 ? 0x20 : 0x40);
        d.lastScr = ReadClockReference(pack, syntax);
        size_t p = PackHeaderLength(pack, syntax);
        while (p < kPack) {
            d.endCode = p + 4 == kPack && at + kPack == ps.size() && StartCodeAt(ps, at + p, 0xB9);
            if (d.endCode) break;  // the program end code closes the last pack in its last 4 bytes
            EXPECT_TRUE(pack[p] == 0 && pack[p + 1] == 0 && pack[p + 2] == 1) << "pack " << d.packs << " at " << p;
            const uint8_t id = pack[p + 3];
            const bool video = id >= 0xE0 && id <= 0xEF;
            EXPECT_TRUE(video || id == 0xBB || id == 0xBE) << "unexpected packet " << int(id);
            const size_t end = p + 6 + GetBe16(pack + p + 4);
            size_t h = p + 6;  // the payload after the packet header
            if (id == 0xBB) std::tie(d.systemHeaderPack, d.listedStream) = std::tuple(d.packs, pack[p + 12]);
            d.systemHeaders += id == 0xBB;
            if (video && mpeg1) {
                while (pack[h] == 0xFF) ++h;
                if ((pack[h] & 0xC0) == 0x40) h += 2;
                if ((pack[h] & 0xF0) == 0x20) d.pts = ReadTimestamp(pack + h);
                h += (pack[h] & 0xF0) == 0x20 ? 5 : 1;
            } else if (video) {
                if (pack[h + 1] & 0x80) d.pts = ReadTimestamp(pack + h + 3);
                h += 3 + pack[h + 2];
            }
            if (video) d.firstVideoPack = std::min(d.firstVideoPack, d.packs);
            if (video) d.video.insert(d.video.end(), pack + h, pack + end);
            p = end;
        }
        EXPECT_TRUE(p == kPack || d.endCode) << "pack " << d.packs << " does not end at the sector's end";
    }
    return d;
}

TEST(StillMux, EveryPackFillsOneSectorForAnyPictureSize) {
    for (PackSyntax syntax : {PackSyntax::Mpeg1, PackSyntax::Mpeg2}) {
        StillMuxSettings s = DiscMuxSettings(syntax, syntax == PackSyntax::Mpeg2);
        // 75 or 150 sectors of 2352 bytes a second, in 50-byte units; 90 kHz ticks a pack.
        EXPECT_EQ(std::pair(s.muxRate, s.ticksPerPack), syntax == PackSyntax::Mpeg1 ? std::pair(3528u, 1200u) : std::pair(7056u, 600u));
        std::tie(s.streamId, s.startScr) = std::tuple(kHighStillStreamId, 90000);  // "1.00"
        // Sizes around the end of the first and second packs: the gap is padded or, below 6 bytes, stuffed.
        std::vector<size_t> sizes = {1, 100, 20000};
        for (size_t n = 0; n <= 40; ++n) sizes.insert(sizes.end(), {2260 + n, 4560 + n});
        for (size_t size : sizes) {
            const std::vector<uint8_t> stream = Pattern(size), ps = MultiplexStill(stream, s);
            ASSERT_EQ(ps.size(), CountStillPacks(size, s) * kPack) << "size " << size;
            const Demuxed d = Demux(ps, syntax);
            EXPECT_TRUE(d.packs * kPack == ps.size() && d.video == stream) << "size " << size;
            EXPECT_TRUE(d.endCode && d.systemHeaders == 1 && d.systemHeaderPack == 0 && d.firstVideoPack == 1) << size;
            EXPECT_EQ(d.listedStream, kHighStillStreamId);
            // The picture is presented after its last byte arrived.
            EXPECT_TRUE(d.lastScr == kMpegClockHz + (d.packs - 1) * s.ticksPerPack && d.pts > d.lastScr) << size;
        }
    }
}

TEST(StillMux, DetectionRefusesWhatIsNotAVideoStream) {
    const std::vector<uint8_t> notVideo[] = {
        {}, {0x00, 0x00, 0x01, 0xBA, 0x44, 0, 0, 0, 0, 0, 0, 0},
        {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20},  // cut before its flags
        {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, 0x23, 0xFF, 0xFF, 0xE0, 0x1A},  // a matrix it does not hold
    };
    for (const auto& bytes : notVideo) EXPECT_EQ(DetectVideoStream(bytes), VideoStreamKind::NotVideo) << bytes.size();
}

using Entry = std::function<int(int, char**)>;
// Calls an entry point with an argument vector as the pipeline hands it over.
int Call(std::vector<std::string> texts, const Entry& entry) {
    std::vector<char*> pointers;
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    return entry(int(texts.size()), pointers.data());
}

TEST(StillCodec, EntryPointsWriteOnePictureOrRefuse) {
    test::TempDir dir;
    StillCodec codec({DiscKind::Cvd, 2});
    const Entry encode = [&](int n, char** v) { return codec.EncodeMain(n, v); };
    const Entry mux1 = [&](int n, char** v) { return codec.MuxMpg1(n, v, 2, 0); };
    const auto mux2 = [&](int mode) -> Entry { return [&codec, mode](int n, char** v) { return codec.Mux(n, v, mode, 0, 0); }; };
    const std::string bitmap = test::TestBitmap(704, 576), es = dir / "S.VBS", ps = dir / "S.PS", out = dir / "X.OUT";
    // The fourth argument, not the disc kind, chooses MPEG-1 or MPEG-2.
    ASSERT_EQ(Call({"mpeg2encode", bitmap, dir / "S1.VBS", "1"}, encode), 0) << codec.LastError();
    EXPECT_EQ(test::ProbeVideo(dir / "S1.VBS"), "mpeg1video,352,576,25/1,1");
    ASSERT_EQ(Call({"mpeg2encode", bitmap, es, "0"}, encode), 0) << codec.LastError();
    const std::vector<uint8_t> bytes = test::ReadBytes(es);  // ends with a sequence end code: shown at once
    EXPECT_EQ(GetBe32(&bytes[bytes.size() - 4]), 0x000001B7u);
    ASSERT_EQ(Call({"mux.exe", "-o", ps, es, "0.00", "1"}, mux2(3)), 0) << codec.LastError();
    EXPECT_TRUE(test::ProbeVideo(ps) == "mpeg2video,352,576,25/1,1" && test::ReadBytes(ps).size() % 2324 == 0);

    const std::vector<uint8_t> picture = test::ReadBytes(bitmap);
    test::WriteBytes(dir / "half.bmp", std::vector<uint8_t>(picture.begin(), picture.begin() + long(picture.size() / 2)));
    test::WriteBytes(dir / "junk.VBS", std::vector<uint8_t>(100, 0x47));
    const std::tuple<std::vector<std::string>, Entry, CodecResult> refused[] = {
        {{"mpeg2encode", bitmap, out}, encode, CodecResult::BadArguments},
        {{"mpeg2encode", bitmap, out, "2"}, encode, CodecResult::BadArguments},
        {{"mpeg2encode", dir / "missing.bmp", out, "0"}, encode, CodecResult::InputUnreadable},
        {{"mpeg2encode", dir / "half.bmp", out, "0"}, encode, CodecResult::InputFormat},
        {{"mpeg2encode", bitmap, dir / "no/such/X.OUT", "0"}, encode, CodecResult::OutputFailure},
        {{"mux.exe", "-x", out, es, "0.00"}, mux2(2), CodecResult::BadArguments},
        {{"mux.exe", "-o", out, es, "0.00"}, mux2(4), CodecResult::BadArguments},
        {{"mux.exe", "-o", out, es, "0.00"}, mux1, CodecResult::InputFormat},  // MPEG-1 packs for MPEG-1 only
        {{"mux.exe", "-o", out, dir / "junk.VBS", "0.00"}, mux2(2), CodecResult::InputFormat},
        {{"mux.exe", "-o", out, dir / "none.VBS", "0.00"}, mux2(2), CodecResult::InputUnreadable},
    };
    for (size_t i = 0; i < std::size(refused); ++i) {
        EXPECT_EQ(Call(std::get<0>(refused[i]), std::get<1>(refused[i])), int(std::get<2>(refused[i]))) << i;
        EXPECT_FALSE(codec.LastError().empty()) << i;
    }
    EXPECT_FALSE(test::FileExists(out));
}

TEST(StillCommand, WritesTheStillOrFailsWithoutLeavingFiles) {
    if (!test::FileExists(test::CliPath())) GTEST_SKIP() << "the qorvcd program is not built";
    test::TempDir dir;
    const std::string still = "TMPDIR='" + dir.Path() + "' '" + test::CliPath() + "' still ";
    ASSERT_EQ(test::RunCommand(still + "'" + test::TestBitmap(480, 576) + "' '" + dir / "MENU.MPS" + "' --kind cvd").exitCode, 0);
    EXPECT_EQ(test::ProbeVideo(test::WritePackAreas(dir / "MENU.MPS", dir / "packs.mpg")), "mpeg2video,352,576,25/1,1");
    EXPECT_EQ(test::RunCommand(still + "'" + dir / "packs.mpg" + "' '" + dir / "BAD.MPS" + "'").exitCode, 1);
    EXPECT_FALSE(test::FileExists(dir / "BAD.MPS"));
    // The private work folders (made in TMPDIR) went away with each run.
    EXPECT_EQ(test::RunCommand("ls -A '" + dir.Path() + "' | grep -c qorvcd-still").output, "0\n");
}

}  // namespace
}  // namespace qorvcd::codec
