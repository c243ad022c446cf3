#include <gtest/gtest.h>

#include "codec/still_mux.h"
#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd::codec {
namespace {

constexpr size_t kPack = 2324;

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = uint8_t(i * 7 + 3);
    return v;
}

bool StartCodeAt(const std::vector<uint8_t>& s, size_t at, uint8_t code) {
    return at + 4 <= s.size() && s[at] == 0 && s[at + 1] == 0 && s[at + 2] == 1 && s[at + 3] == code;
}

uint64_t ReadTimestamp(const uint8_t* p) {
    return (uint64_t(p[0] & 0x0E) << 29) | (uint64_t(p[1]) << 22) | (uint64_t(p[2] & 0xFE) << 14) |
           (uint64_t(p[3]) << 7) | (p[4] >> 1);
}

// Walks a program stream as a demultiplexer does; every pack must be exactly
// one sector's data, made of whole packets.
struct Demuxed {
    std::vector<uint8_t> video;
    size_t packs = 0;
    size_t systemHeaders = 0;
    size_t systemHeaderPack = SIZE_MAX;
    size_t firstVideoPack = SIZE_MAX;
    uint8_t listedStream = 0;
    uint64_t lastScr = 0;
    uint64_t pts = 0;
    bool endCode = false;
};

Demuxed Demux(const std::vector<uint8_t>& ps, PackSyntax syntax) {
    Demuxed d;
    size_t at = 0;
    while (at < ps.size()) {
        EXPECT_TRUE(StartCodeAt(ps, at, 0xBA)) << "no pack start at " << at;
        if (!StartCodeAt(ps, at, 0xBA) || at + kPack > ps.size()) return d;
        const uint8_t* pack = ps.data() + at;
        if (syntax == PackSyntax::Mpeg1) {
            EXPECT_EQ(pack[4] & 0xF0, 0x20);
            d.lastScr = ReadTimestamp(pack + 4);
        } else {
            EXPECT_EQ(pack[4] & 0xC0, 0x40);
        }
        size_t p = PackHeaderSize(syntax);
        if (syntax == PackSyntax::Mpeg2) p += pack[13] & 0x07;
        while (p < kPack) {
            // The program end code closes the last pack in its last 4 bytes.
            if (p + 4 == kPack && at + kPack == ps.size() && StartCodeAt(ps, at + p, 0xB9)) {
                d.endCode = true;
                p = kPack;
                break;
            }
            EXPECT_TRUE(pack[p] == 0 && pack[p + 1] == 0 && pack[p + 2] == 1) << "pack " << d.packs << " at " << p;
            const uint8_t id = pack[p + 3];
            const size_t length = GetBe16(pack + p + 4);
            const size_t end = p + 6 + length;
            if (id == 0xBB) {
                ++d.systemHeaders;
                d.systemHeaderPack = d.packs;
                d.listedStream = pack[p + 12];
            } else if (id >= 0xE0 && id <= 0xEF) {
                size_t h = p + 6;
                if (syntax == PackSyntax::Mpeg1) {
                    while (pack[h] == 0xFF) ++h;
                    if ((pack[h] & 0xC0) == 0x40) h += 2;
                    if ((pack[h] & 0xF0) == 0x20) {
                        d.pts = ReadTimestamp(pack + h);
                        h += 5;
                    } else {
                        EXPECT_EQ(pack[h], 0x0F);
                        h += 1;
                    }
                } else {
                    if (pack[h + 1] & 0x80) d.pts = ReadTimestamp(pack + h + 3);
                    h += 3 + pack[h + 2];
                }
                if (d.firstVideoPack == SIZE_MAX) d.firstVideoPack = d.packs;
                d.video.insert(d.video.end(), pack + h, pack + end);
            } else {
                EXPECT_EQ(id, 0xBE) << "unexpected packet";
            }
            p = end;
        }
        EXPECT_EQ(p, kPack) << "pack " << d.packs << " does not end at the sector's end";
        ++d.packs;
        at += kPack;
    }
    return d;
}

TEST(StillMux, EveryPackFillsOneSectorForAnyPictureSize) {
    for (PackSyntax syntax : {PackSyntax::Mpeg1, PackSyntax::Mpeg2}) {
        StillMuxSettings s = DiscMuxSettings(syntax, syntax == PackSyntax::Mpeg2);
        // Sizes around the end of the first and of the second pack, where the
        // last pack's gap is closed by padding or, below 6 bytes, by stuffing.
        std::vector<size_t> sizes = {1, 100, 20000};
        for (size_t n = 2260; n <= 2300; ++n) sizes.push_back(n);
        for (size_t n = 4560; n <= 4600; ++n) sizes.push_back(n);
        for (size_t size : sizes) {
            const std::vector<uint8_t> stream = Pattern(size);
            const std::vector<uint8_t> ps = MultiplexStill(stream, s);
            const size_t packs = CountStillPacks(size, s);
            ASSERT_EQ(ps.size(), packs * kPack) << "size " << size;
            const Demuxed d = Demux(ps, syntax);
            EXPECT_EQ(d.packs, packs) << "size " << size;
            EXPECT_TRUE(d.video == stream) << "size " << size;
            EXPECT_TRUE(d.endCode);
            EXPECT_EQ(d.systemHeaders, 1u);
            EXPECT_EQ(d.systemHeaderPack, 0u);
            EXPECT_EQ(d.firstVideoPack, 1u);
        }
    }
}

TEST(StillMux, LeadingPacksTimesAndDiscRates) {
    StillMuxSettings s = DiscMuxSettings(PackSyntax::Mpeg1, false);
    EXPECT_EQ(s.muxRate, 3528u);  // 75 sectors of 2352 bytes, in 50-byte units
    EXPECT_EQ(s.ticksPerPack, 1200u);
    s.streamId = kHighStillStreamId;
    s.startScr = 90000;  // "1.00"
    std::vector<uint8_t> ps = MultiplexStill(Pattern(30000), s);
    // The system header lists the one stream at its byte 12; padding fills the pack.
    ASSERT_TRUE(StartCodeAt(ps, kMpeg1PackHeaderSize, 0xBB));
    EXPECT_EQ(ps[kMpeg1PackHeaderSize + 12], kHighStillStreamId);
    EXPECT_TRUE(StartCodeAt(ps, kMpeg1PackHeaderSize + kOneStreamSystemHeaderSize, 0xBE));
    EXPECT_TRUE(StartCodeAt(ps, kPack + kMpeg1PackHeaderSize, kHighStillStreamId));
    // The picture is presented after its last byte arrived.
    Demuxed d = Demux(ps, PackSyntax::Mpeg1);
    EXPECT_EQ(d.lastScr, 90000 + (d.packs - 1) * s.ticksPerPack);
    EXPECT_GT(d.pts, d.lastScr);

    s = DiscMuxSettings(PackSyntax::Mpeg2, true);
    EXPECT_EQ(s.muxRate, 7056u);
    EXPECT_EQ(s.ticksPerPack, 600u);
    s.reserveFirstSector = true;
    const std::vector<uint8_t> stream = Pattern(3000);
    ps = MultiplexStill(stream, s);
    d = Demux(ps, PackSyntax::Mpeg2);
    EXPECT_EQ(d.packs, 4u);  // reserved, system header, two of picture
    EXPECT_EQ(CountStillPacks(stream.size(), s), 4u);
    EXPECT_TRUE(StartCodeAt(ps, kMpeg2PackHeaderSize, 0xBE));
    EXPECT_EQ(d.systemHeaderPack, 1u);
    EXPECT_EQ(d.firstVideoPack, 2u);
    EXPECT_TRUE(d.video == stream);
    EXPECT_EQ(d.listedStream, kNormalStillStreamId);
}

TEST(StillMux, DetectsTheVideoSyntax) {
    std::string matrix;  // a loaded quantiser matrix moves the sequence extension 64 bytes on
    for (int i = 0; i < 64; ++i) matrix += (i ? "," : "") + std::to_string(16 + i % 9);
    const struct { const char* name; std::string options; VideoStreamKind kind; } streams[] = {
        {"es-mpeg1.m1v", "-c:v mpeg1video -f mpeg1video", VideoStreamKind::Mpeg1},
        {"es-mpeg2.m2v", "-c:v mpeg2video -f mpeg2video", VideoStreamKind::Mpeg2},
        {"es-mpeg2-matrix.m2v", "-c:v mpeg2video -intra_matrix " + matrix + " -f mpeg2video", VideoStreamKind::Mpeg2},
        {"es-mpeg1-matrix.m1v", "-c:v mpeg1video -intra_matrix " + matrix + " -f mpeg1video", VideoStreamKind::Mpeg1},
    };
    for (const auto& s : streams) {
        const std::string path = test::EnsureMedia(
            s.name, "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=352x288 -frames:v 1 " + s.options + " {out}");
        EXPECT_EQ(DetectVideoStream(test::ReadBytes(path)), s.kind) << s.name;
    }
    const std::vector<uint8_t> notVideo[] = {
        {},
        {0x00, 0x00, 0x01, 0xBA, 0x44, 0, 0, 0, 0, 0, 0, 0},
        {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20},  // cut before its flags
        {0x00, 0x00, 0x01, 0xB3, 0x16, 0x01, 0x20, 0x23, 0xFF, 0xFF, 0xE0, 0x1A},  // a matrix it does not hold
    };
    for (const auto& bytes : notVideo) EXPECT_EQ(DetectVideoStream(bytes), VideoStreamKind::NotVideo) << bytes.size();
}

}  // namespace
}  // namespace qorvcd::codec
