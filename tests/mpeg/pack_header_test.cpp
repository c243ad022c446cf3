// Pack headers, clock references, time stamps, picture coding types and stream
// ids against hand-checked bytes of the ISO/IEC 11172-1 and 13818-1 layouts.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "mpeg/pack_header.h"

namespace qorvcd {
namespace {

// SCR 0x1'2345'6789 and mux rate 3528 (a Video CD stream's rate) in an MPEG-1 pack header.
constexpr uint8_t kMpeg1Pack[] = {0x00, 0x00, 0x01, 0xBA, 0x29, 0x8D, 0x15, 0xCF, 0x13, 0x80, 0x1B, 0x91};
// SCR base 0x1'DCBA'9876, extension 0x1A5, mux rate 6972 and two stuffing bytes in an MPEG-2 pack header.
constexpr uint8_t kMpeg2Pack[] = {0x00, 0x00, 0x01, 0xBA, 0x7D, 0xCB, 0xAC, 0xC3,
                                  0xB7, 0x4B, 0x00, 0x6C, 0xF3, 0xFA, 0xFF, 0xFF};
// SCR base 135000 (1.5 s), no extension, no stuffing.
constexpr uint8_t kMpeg2PackAtOneAndAHalfSeconds[] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x24,
                                                      0x7A, 0xC4, 0x01, 0x00, 0x6C, 0xF3, 0xF8};

TEST(PackHeader, ClockReferencesAndLengthsOfBothSyntaxes) {
    EXPECT_TRUE(IsMpeg1PackHeader(kMpeg1Pack) && !IsMpeg2PackHeader(kMpeg1Pack) && !HasMpeg2MarkerBit(kMpeg1Pack));
    EXPECT_TRUE(IsMpeg2PackHeader(kMpeg2Pack) && !IsMpeg1PackHeader(kMpeg2Pack) && HasMpeg2MarkerBit(kMpeg2Pack));

    EXPECT_EQ(ReadClockReference(kMpeg1Pack, PackSyntax::Mpeg1), 0x123456789u);
    EXPECT_EQ(ReadClockReference(kMpeg2Pack, PackSyntax::Mpeg2), 0x1DCBA9876u);
    EXPECT_EQ(ReadClockReferenceExtension(kMpeg2Pack), 0x1A5u);
    EXPECT_EQ(ReadClockReference(kMpeg2PackAtOneAndAHalfSeconds, PackSyntax::Mpeg2), 135000u);
    EXPECT_EQ(ReadClockReferenceExtension(kMpeg2PackAtOneAndAHalfSeconds), 0u);
    // The probe and the track writer keep the low 32 bits: bit 32 goes, and a
    // value from 2^31 up reads negative as the probe's signed count.
    EXPECT_EQ(uint32_t(ReadClockReference(kMpeg1Pack, PackSyntax::Mpeg1)), 0x23456789u);
    EXPECT_EQ(int32_t(uint32_t(ReadClockReference(kMpeg2Pack, PackSyntax::Mpeg2))), -591751050);

    EXPECT_EQ(PackHeaderLength(kMpeg1Pack, PackSyntax::Mpeg1), 12u);
    EXPECT_EQ(PackHeaderLength(kMpeg2Pack, PackSyntax::Mpeg2), 16u);
    EXPECT_EQ(PackHeaderLength(kMpeg2PackAtOneAndAHalfSeconds, PackSyntax::Mpeg2), 14u);
    EXPECT_EQ(PackHeaderSize(PackSyntax::Mpeg1), 12u);
    EXPECT_EQ(PackHeaderSize(PackSyntax::Mpeg2), 14u);

    // Within a window: byte 13 is read only when it is there, and only the
    // '01' marker makes an MPEG-2 header.
    EXPECT_EQ(PackHeaderLengthWithin(kMpeg2Pack, sizeof kMpeg2Pack), 16u);
    EXPECT_EQ(PackHeaderLengthWithin(kMpeg2Pack, 13), 14u);
    EXPECT_EQ(PackHeaderLengthWithin(kMpeg2Pack, 4), 12u);
    EXPECT_EQ(PackHeaderLengthWithin(kMpeg1Pack, sizeof kMpeg1Pack), 12u);
    std::array<uint8_t, 14> odd{};
    std::copy(std::begin(kMpeg2PackAtOneAndAHalfSeconds), std::end(kMpeg2PackAtOneAndAHalfSeconds), odd.begin());
    odd[4] |= 0xC0;  // marker '11', which neither syntax uses
    odd[13] = 0xFF;
    EXPECT_TRUE(HasMpeg2MarkerBit(odd.data()) && !IsMpeg2PackHeader(odd.data()) && !IsMpeg1PackHeader(odd.data()));
    EXPECT_EQ(PackHeaderLengthWithin(odd.data(), odd.size()), 12u);
}

TEST(PackHeader, WritersGiveTheHeaderBytesAndReadBack) {
    std::array<uint8_t, kMpeg2ClockReferenceSize> scr2{};
    WriteMpeg2ClockReference(scr2.data(), 0x1DCBA9876u, 0x1A5);
    EXPECT_TRUE(std::equal(scr2.begin(), scr2.end(), kMpeg2Pack + 4));
    WriteMpeg2ClockReference(scr2.data(), 135000, 0);
    EXPECT_TRUE(std::equal(scr2.begin(), scr2.end(), kMpeg2PackAtOneAndAHalfSeconds + 4));
    std::array<uint8_t, kMpeg1ClockReferenceSize> scr1{};
    WriteTimestamp(scr1.data(), kMpeg1PackMarker, 0x123456789u);
    EXPECT_TRUE(std::equal(scr1.begin(), scr1.end(), kMpeg1Pack + 4));

    // Every bit of the 33 lands in its own place and the markers stay set.
    const uint64_t values[] = {0, 1, 3600, 0x7FFF, 0x8000, 0xFFFFFFFFu, 0x100000000u, 0x155555555u, 0xAAAAAAAAu,
                               kMaxTimestamp};
    for (uint64_t v : values) {
        std::array<uint8_t, 4 + kMpeg2ClockReferenceSize> pack{0x00, 0x00, 0x01, 0xBA};
        WriteMpeg2ClockReference(pack.data() + 4, v, uint16_t(v & 0x1FF));
        EXPECT_EQ(ReadClockReference(pack.data(), PackSyntax::Mpeg2), v) << v;
        EXPECT_EQ(ReadClockReferenceExtension(pack.data()), v & 0x1FF) << v;
        EXPECT_TRUE(IsMpeg2PackHeader(pack.data()) && (pack[4] & 0x04) && (pack[6] & 0x04) && (pack[8] & 0x04) &&
                    (pack[9] & 0x01)) << v;
        WriteTimestamp(pack.data() + 4, kMpeg1PackMarker, v);
        EXPECT_EQ(ReadClockReference(pack.data(), PackSyntax::Mpeg1), v) << v;
        EXPECT_TRUE(IsMpeg1PackHeader(pack.data()) && (pack[4] & 0x01) && (pack[6] & 0x01) && (pack[8] & 0x01)) << v;
    }
    // Values are taken modulo 2^33.
    std::array<uint8_t, kTimestampSize> a{}, b{};
    WriteTimestamp(a.data(), kPtsOnlyPrefix, kMaxTimestamp + 1 + 90000);
    WriteTimestamp(b.data(), kPtsOnlyPrefix, 90000);
    EXPECT_EQ(a, b);
}

TEST(PackHeader, TimeStampsAndWherePayloadsBegin) {
    const uint8_t ptsMax[] = {0x2F, 0xFF, 0xFF, 0xFF, 0xFF};  // '0010', all 33 bits set
    const uint8_t ptsBeforeDts[] = {0x31, 0x00, 0x01, 0x1C, 0x21};  // '0011', 3600
    const uint8_t dtsZero[] = {0x11, 0x00, 0x01, 0x00, 0x01};  // '0001', 0
    EXPECT_EQ(ReadTimestamp(ptsMax), kMaxTimestamp);
    EXPECT_EQ(ReadTimestamp(ptsBeforeDts), 3600u);
    EXPECT_EQ(ReadTimestamp(dtsZero), 0u);
    std::array<uint8_t, kTimestampSize> out{};
    WriteTimestamp(out.data(), kPtsBeforeDtsPrefix, 3600);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), ptsBeforeDts));
    WriteTimestamp(out.data(), kDtsPrefix, 0);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), dtsZero));

    using Bytes = std::vector<uint8_t>;
    const Bytes start = {0x00, 0x00, 0x01, 0xC0, 0x00, 0x20};
    auto packet = [&](const Bytes& header) {
        Bytes p = start;
        p.insert(p.end(), header.begin(), header.end());
        p.insert(p.end(), {0xFF, 0xFD, 0x90, 0x00});  // the audio frame header the payload starts with
        return p;
    };
    struct Case {
        Bytes header;
        PackSyntax syntax;
        size_t payload;
    };
    const Case cases[] = {
        {{0x0F}, PackSyntax::Mpeg1, 7},                                   // no time stamp
        {{0xFF, 0xFF, 0x0F}, PackSyntax::Mpeg1, 9},                       // stuffing
        {{0x21, 0x00, 0x01, 0x1C, 0x21}, PackSyntax::Mpeg1, 11},          // PTS
        {{0x40, 0x20, 0x21, 0x00, 0x01, 0x1C, 0x21}, PackSyntax::Mpeg1, 13},  // buffer size, PTS
        {{0xFF, 0x40, 0x20, 0x31, 0x00, 0x01, 0x1C, 0x21, 0x11, 0x00, 0x01, 0x00, 0x01}, PackSyntax::Mpeg1, 19},
        {{0x81, 0x80, 0x05, 0x21, 0x00, 0x01, 0x1C, 0x21}, PackSyntax::Mpeg2, 14},  // PTS
        {{0x81, 0x00, 0x00}, PackSyntax::Mpeg2, 9},                                 // none
        {{0x81, 0x80, 0x07, 0x21, 0x00, 0x01, 0x1C, 0x21, 0xFF, 0xFF}, PackSyntax::Mpeg2, 16},  // PES stuffing
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Bytes p = packet(cases[i].header);
        const size_t at = PacketPayloadOffset(p.data(), p.size(), cases[i].syntax);
        EXPECT_EQ(at, cases[i].payload) << i;
        EXPECT_TRUE(at + 2 <= p.size() && p[at] == 0xFF && p[at + 1] == 0xFD) << i;
    }
    // A header cut short answers with the size: nothing past it is read.
    const Bytes allStuffing = {0x00, 0x00, 0x01, 0xC0, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(PacketPayloadOffset(allStuffing.data(), allStuffing.size(), PackSyntax::Mpeg1), allStuffing.size());
    const Bytes noHeaderLength = {0x00, 0x00, 0x01, 0xC0, 0x00, 0x20, 0x81, 0x80};
    EXPECT_EQ(PacketPayloadOffset(noHeaderLength.data(), noHeaderLength.size(), PackSyntax::Mpeg2), 8u);
}

TEST(PackHeader, IntraPicturesAndStreamIds) {
    // Picture headers with temporal_reference 5 and an I, P or B coding type.
    const uint8_t intra[] = {0x00, 0x00, 0x01, 0x00, 0x01, 0x4F, 0xFF, 0xF8};
    const uint8_t predicted[] = {0x00, 0x00, 0x01, 0x00, 0x01, 0x57, 0xFF, 0xF8};
    const uint8_t bidirectional[] = {0x00, 0x00, 0x01, 0x00, 0x01, 0x5F, 0xFF, 0xF8};
    EXPECT_EQ(PictureCodingTypeOf(intra), uint8_t(PictureCodingType::Intra));
    EXPECT_EQ(PictureCodingTypeOf(predicted), uint8_t(PictureCodingType::Predicted));
    EXPECT_EQ(PictureCodingTypeOf(bidirectional), uint8_t(PictureCodingType::Bidirectional));

    std::vector<uint8_t> pack(64, 0x55);
    EXPECT_FALSE(HoldsIntraPicture(pack.data(), pack.size()));
    std::copy(std::begin(predicted), std::end(predicted), pack.begin() + 10);
    EXPECT_FALSE(HoldsIntraPicture(pack.data(), pack.size()));  // a P-picture is no entry point
    std::copy(std::begin(intra), std::end(intra), pack.begin() + 30);
    EXPECT_TRUE(HoldsIntraPicture(pack.data(), pack.size()));  // after a P-picture in the same pack
    // The last start code looked at begins 6 bytes before the end, so that
    // its coding type is inside; one byte later it is not seen.
    std::vector<uint8_t> tail(40, 0x55);
    std::copy(std::begin(intra), std::begin(intra) + 6, tail.end() - 6);
    EXPECT_TRUE(HoldsIntraPicture(tail.data(), tail.size()));
    EXPECT_FALSE(HoldsIntraPicture(tail.data() + 1, tail.size() - 2));
    EXPECT_FALSE(HoldsIntraPicture(intra, 5));
    EXPECT_FALSE(HoldsIntraPicture(intra, 0));
    // A sequence header start code is not a picture.
    const uint8_t sequence[] = {0x00, 0x00, 0x01, 0xB3, 0x16, 0x0F, 0xFF, 0xFF};
    EXPECT_FALSE(HoldsIntraPicture(sequence, sizeof sequence));
    // The search skips ahead between candidates: it must agree with a test at
    // every offset on buffers crowded with prefixes, near misses and pictures
    // of each type, at every length (the edges included).
    std::mt19937 random(7);
    const uint8_t alphabet[] = {0x00, 0x00, 0x00, 0x01, 0x01, 0x4F, 0x57, 0x08, 0xB3};
    for (int round = 0; round < 4000; ++round) {
        std::vector<uint8_t> bytes(random() % 80);
        if (round % 2 == 0) {
            for (uint8_t& b : bytes) b = alphabet[random() % sizeof alphabet];
        } else {  // sparse: long runs without a zero byte, then a planted picture header
            for (uint8_t& b : bytes) b = uint8_t(1 + random() % 255);
            if (bytes.size() >= 6) {
                const uint8_t* planted = random() % 2 ? intra : predicted;
                std::copy(planted, planted + 6, bytes.begin() + random() % (bytes.size() - 5));
            }
        }
        bool expected = false;
        for (size_t i = 0; i + 5 < bytes.size(); ++i)
            expected |= IsStartCodePrefix(&bytes[i]) && bytes[i + 3] == 0x00 && PictureCodingTypeOf(&bytes[i]) == 1;
        ASSERT_EQ(HoldsIntraPicture(bytes.data(), bytes.size()), expected) << "round " << round;
    }

    for (int id = 0; id < 256; ++id) {
        const uint8_t b = uint8_t(id);
        EXPECT_EQ(IsVideoStreamId(b), id >= 0xE0 && id <= 0xE2) << id;
        EXPECT_EQ(IsAudioStreamId(b), id == 0xC0 || id == 0xC1) << id;
        EXPECT_EQ(IsPacketStreamId(b), id >= 0xBC) << id;
        EXPECT_EQ(IsListedStreamId(b), id >= 0x80) << id;
    }
    EXPECT_EQ(kMpegClockTicksPerHundredth, 900u);
}

}  // namespace
}  // namespace qorvcd
