// The scan information of SVCD video streams: its position fields, which
// I-pictures a block names, and the scanner that finds pictures and blocks
// through packs, also where a start code or a block is cut by a pack end.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "mpeg/pack_header.h"
#include "mpeg/scan_information.h"

namespace qorvcd {
namespace {

using Field = std::array<uint8_t, 3>;

TEST(ScanPosition, FieldsAreBcdWithMarkerBitsAndNoneIsAllOnes) {
    EXPECT_EQ(EncodeScanPosition(0), (Field{0x00, 0x80, 0x80}));
    EXPECT_EQ(EncodeScanPosition(19), (Field{0x00, 0x80, 0x99}));
    EXPECT_EQ(EncodeScanPosition(1271), (Field{0x00, 0x96, 0xF1}));          // 16 s 71 sectors
    EXPECT_EQ(EncodeScanPosition(100 * 4500 - 1), (Field{0x99, 0xD9, 0xF4}));  // 99:59:74
    EXPECT_EQ(EncodeScanPosition(100 * 4500), (Field{0xFF, 0xFF, 0xFF}));      // beyond the fields
    EXPECT_EQ(EncodeScanPosition(std::nullopt), (Field{0xFF, 0xFF, 0xFF}));

    for (uint32_t sector : {0u, 1u, 74u, 75u, 4499u, 4500u, 123456u}) {
        EXPECT_EQ(DecodeScanPosition(EncodeScanPosition(sector).data()), sector);
    }
    const Field none{0xFF, 0xFF, 0xFF}, noMarker{0x00, 0x00, 0x81}, notBcd{0x00, 0x8A, 0x80},
        badSecond{0x00, 0xE0, 0x80}, badFrame{0x00, 0x80, 0xF5};
    for (const Field& f : {none, noMarker, notBcd, badSecond, badFrame}) {
        EXPECT_FALSE(DecodeScanPosition(f.data()));
    }
}

TEST(ScanPosition, AnEncoderPlaceholderDecodesAndABrokenFieldDoesNot) {
    // What ffmpeg and mpeg2enc leave: previous and next 1, the jumps "none".
    const std::array<uint8_t, 12> placeholder{0x00, 0x80, 0x81, 0x00, 0x80, 0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(DecodeScanOffsets(placeholder.data()), (ScanOffsets{1, 1, std::nullopt, std::nullopt}));
    std::array<uint8_t, 12> broken = placeholder;
    broken[7] = 0x01;  // a marker bit missing
    EXPECT_FALSE(DecodeScanOffsets(broken.data()));
    const ScanOffsets offsets{std::nullopt, 19, 1, 500};
    EXPECT_EQ(DecodeScanOffsets(EncodeScanOffsets(offsets).data()), offsets);
}

TEST(ScanOffsetsFor, NamesTheNeighboursAndTheFurthestPicturesWithinTheJump) {
    // I-pictures every 2 s, 20 units apart.
    std::vector<IntraPicturePlace> pictures;
    for (uint32_t k = 0; k < 10; ++k) pictures.push_back({1 + 20 * k, 2.0 * k});

    ScanBlockPlace first;  // in the first I-picture's own unit
    first.unit = 1, first.seconds = 0;
    EXPECT_EQ(ScanOffsetsFor(first, pictures), (ScanOffsets{std::nullopt, 21, 1, 81}));  // 8 s is the last < 10 s

    ScanBlockPlace middle;  // a picture between the I-pictures at 81 (8 s) and 101 (10 s)
    middle.unit = 90, middle.seconds = 9.0;
    EXPECT_EQ(ScanOffsetsFor(middle, pictures), (ScanOffsets{81, 101, 1, 181}));

    ScanBlockPlace exact;  // exactly 10 s from the pictures at 0 s and 20 s: outside
    exact.unit = 101, exact.seconds = 10.0;
    EXPECT_EQ(ScanOffsetsFor(exact, pictures), (ScanOffsets{81, 121, 21, 181}));

    ScanBlockPlace last;  // after the last I-picture: no next, forward is itself
    last.unit = 190, last.seconds = 18.5;
    EXPECT_EQ(ScanOffsetsFor(last, pictures), (ScanOffsets{181, std::nullopt, 101, 190}));

    EXPECT_EQ(ScanOffsetsFor(middle, {}), (ScanOffsets{std::nullopt, std::nullopt, 90, 90}));
}

// An MPEG-2 pack of `size` bytes: the pack header with `scr`, then one video
// packet holding `payload`, then a padding packet filling the rest.
std::vector<uint8_t> VideoPack(uint32_t scr, const std::vector<uint8_t>& payload, size_t size = 200) {
    std::vector<uint8_t> pack = {0x00, 0x00, 0x01, 0xBA, 0, 0, 0, 0, 0, 0, 0x01, 0x89, 0xC3, 0xF8};
    WriteMpeg2ClockReference(pack.data() + 4, scr, 0);
    const size_t length = 3 + payload.size();
    pack.insert(pack.end(), {0x00, 0x00, 0x01, 0xE0, uint8_t(length >> 8), uint8_t(length), 0x80, 0x00, 0x00});
    pack.insert(pack.end(), payload.begin(), payload.end());
    const size_t padding = size - pack.size() - 6;
    pack.insert(pack.end(), {0x00, 0x00, 0x01, 0xBE, uint8_t(padding >> 8), uint8_t(padding)});
    pack.insert(pack.end(), padding, 0xFF);
    return pack;
}

// Where the video packet's payload starts in a VideoPack.
constexpr size_t kPayloadAt = 14 + 9;

TEST(ScanInformationScanner, FindsPicturesAndBlocksAlsoWhereAPackCutsThem) {
    const std::vector<uint8_t> intra = {0x00, 0x00, 0x01, 0x00, 0x00, 0x08, 0xFF, 0xF8};  // coding type 1
    const std::vector<uint8_t> predicted = {0x00, 0x00, 0x01, 0x00, 0x00, 0x50, 0xFF, 0xF8};  // type 2
    const std::vector<uint8_t> block = {0x00, 0x00, 0x01, 0xB2, 0x10, 0x0E, 0x00, 0x80, 0x81, 0x00,
                                        0x80, 0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const std::vector<uint8_t> otherUserData = {0x00, 0x00, 0x01, 0xB2, 0x11, 0x0E, 0x01, 0x02};

    std::vector<uint8_t> unit0 = intra;
    unit0.insert(unit0.end(), block.begin(), block.end());
    unit0.insert(unit0.end(), otherUserData.begin(), otherUserData.end());
    unit0.insert(unit0.end(), predicted.begin(), predicted.end());
    // Unit 1 ends inside a block's payload; unit 2 holds the rest of it and
    // then the first two bytes of an I-picture's start code, whose rest is in unit 3.
    std::vector<uint8_t> unit1 = {0x12, 0x34};
    unit1.insert(unit1.end(), block.begin(), block.begin() + 10);
    std::vector<uint8_t> unit2(block.begin() + 10, block.end());
    unit2.insert(unit2.end(), {0x00, 0x00});
    const std::vector<uint8_t> unit3(intra.begin() + 2, intra.end());

    ScanInformationScanner scanner;
    const std::vector<std::vector<uint8_t>> units = {unit0, unit1, unit2, unit3};
    for (uint32_t n = 0; n < units.size(); ++n) {
        const std::vector<uint8_t> pack = VideoPack(90000 * n, units[n]);
        scanner.FeedPack(n, pack.data(), pack.size());
    }
    const std::vector<uint8_t> audioOnly = {0x00, 0x00, 0x01, 0xBA};  // no more than a start code
    scanner.FeedPack(4, audioOnly.data(), audioOnly.size());

    ASSERT_EQ(scanner.IntraPictures().size(), 2u);
    EXPECT_EQ(scanner.IntraPictures()[0].unit, 0u);
    EXPECT_EQ(scanner.IntraPictures()[1].unit, 2u);  // where its start code begins
    EXPECT_DOUBLE_EQ(scanner.IntraPictures()[1].seconds, 2.0);

    ASSERT_EQ(scanner.Blocks().size(), 2u);
    const ScanBlockPlace& a = scanner.Blocks()[0];
    EXPECT_EQ(a.unit, 0u);
    EXPECT_EQ(a.bytes[0].unit, 0u);
    EXPECT_EQ(a.bytes[0].offset, kPayloadAt + intra.size() + 6);
    const ScanBlockPlace& b = scanner.Blocks()[1];
    EXPECT_EQ(b.unit, 1u);
    EXPECT_EQ(b.bytes[3].unit, 1u);  // payload bytes 0-3 in unit 1, the rest in unit 2
    EXPECT_EQ(b.bytes[3].offset, kPayloadAt + 2 + 9);
    EXPECT_EQ(b.bytes[4].unit, 2u);
    EXPECT_EQ(b.bytes[4].offset, kPayloadAt);
    EXPECT_EQ(b.payload, a.payload);
}

TEST(ScanInformationScanner, DropsABlockThatAStartCodeCutsShort) {
    const std::vector<uint8_t> cut = {0x00, 0x00, 0x01, 0xB2, 0x10, 0x0E, 0x00, 0x80,
                                      0x00, 0x00, 0x01, 0x00, 0x00, 0x08, 0xFF, 0xF8};
    ScanInformationScanner scanner;
    const std::vector<uint8_t> pack = VideoPack(0, cut);
    scanner.FeedPack(0, pack.data(), pack.size());
    EXPECT_TRUE(scanner.Blocks().empty());
    EXPECT_EQ(scanner.IntraPictures().size(), 1u);  // the code that cut it is still seen
}

}  // namespace
}  // namespace qorvcd
