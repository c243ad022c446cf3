#include "iso9660/directory_record.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "iso9660/dir_tree.h"
#include "platform/clock.h"

namespace qorvcd {
namespace {

// 5 March 2026, 12:34:56 UTC.
RecordTime FixedTime() { return RecordTimeFrom(Clock::Fixed(1772714096)); }

DirNode Node(const std::string& name, NodeKind kind, uint32_t start = 0, uint32_t size = 0) {
    DirNode n;
    n.name = name;
    n.kind = kind;
    n.startSector = start;
    n.size = size;
    return n;
}

std::vector<uint8_t> Encode(const DirectoryRecord& r) {
    std::vector<uint8_t> out(255, 0xEE);
    out.resize(EncodeDirectoryRecord(r, out.data(), out.size()));
    return out;
}

TEST(DirectoryRecord, GoldenBytesOfTrackFileAndRootRecord) {
    const std::vector<uint8_t> expected = {
        60, 0,                                            // length, extended attribute length
        0xD2, 0x04, 0x00, 0x00, 0x00, 0x00, 0x04, 0xD2,   // extent 1234
        0x00, 0x50, 0x00, 0x00, 0x00, 0x00, 0x50, 0x00,   // data length 20480
        126, 3, 5, 12, 34, 56, 0,                         // 2026-03-05 12:34:56 +0
        0x00, 0, 0,                                       // flags, unit size, gap
        0x01, 0x00, 0x00, 0x01,                           // volume sequence 1
        13, 'A', 'V', 'S', 'E', 'Q', '0', '1', '.', 'M', 'P', 'G', ';', '1',
        0x00, 0x00, 0x00, 0x00, 0x11, 0x11, 'X', 'A', 0x01, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(Encode(RecordForNode(Node("AVSEQ01.MPG", NodeKind::TrackFile, 1234, 20480), FixedTime())), expected);

    const std::array<uint8_t, 34> root = {
        34, 0, 20, 0, 0, 0, 0, 0, 0, 20, 0x00, 0x08, 0, 0, 0, 0, 0x08, 0x00,
        126, 3, 5, 12, 34, 56, 0, 0x02, 0, 0, 1, 0, 0, 1, 1, 0x00,
    };
    EXPECT_EQ(EncodeRootRecord(20, 2048, FixedTime()), root);
}

TEST(DirectoryRecord, LengthsPaddingAndXaFields) {
    // Six characters need a padding byte: 33 + 6 + 1 + 14.
    const std::vector<uint8_t> mpegav = Encode(RecordForNode(Node("MPEGAV", NodeKind::Directory), FixedTime()));
    ASSERT_EQ(mpegav.size(), 54u);
    EXPECT_EQ(mpegav[39], 0x00);
    EXPECT_EQ(mpegav[25], 0x02);
    EXPECT_EQ(mpegav[40 + 4], 0x8D);
    EXPECT_EQ(mpegav[40 + 6], 'X');
    EXPECT_EQ(DirectoryRecordLength(14), 62u);
    EXPECT_EQ(DirectoryRecordLength(13), 60u);
    EXPECT_EQ(DirectoryRecordLength(1, false), 34u);
    const std::vector<uint8_t> dotdot = Encode(DotRecord(true, 20, 4096, FixedTime()));
    ASSERT_EQ(dotdot.size(), 48u);
    EXPECT_EQ(dotdot[33], 0x01);
    EXPECT_EQ(GetRecordDataLength(dotdot.data()), 4096u);

    const struct { const char* name; NodeKind kind; uint16_t attributes; uint8_t fileNumber; } cases[] = {
        {"VCD", NodeKind::Directory, 0x8D55, 0},        {"INFO.VCD", NodeKind::Form1File, 0x0955, 0},
        {"MUSIC12.DAT", NodeKind::TrackFile, 0x1111, 12}, {"ITEM0001.MPG", NodeKind::Form2File, 0x1111, 1},
        {"ABC", NodeKind::TrackFile, 0x1111, 0},  // too short for an index
    };
    for (const auto& c : cases) {
        EXPECT_EQ(XaAttributesOf(Node(c.name, c.kind)), c.attributes) << c.name;
        EXPECT_EQ(XaFileNumberOf(Node(c.name, c.kind)), c.fileNumber) << c.name;
    }
}

TEST(DirectoryRecord, EncodeRefusesWhatDoesNotFit) {
    DirectoryRecord r = RecordForNode(Node("AVSEQ01.MPG", NodeKind::TrackFile), FixedTime());
    std::vector<uint8_t> small(59, 0xEE);
    EXPECT_EQ(EncodeDirectoryRecord(r, small.data(), small.size()), 0u);
    EXPECT_EQ(small[0], 0xEE);  // nothing written
    std::vector<uint8_t> big(255);
    r.identifier.clear();
    EXPECT_EQ(EncodeDirectoryRecord(r, big.data(), big.size()), 0u);
    r.identifier.assign(230, 'A');  // 33 + 230 + 1 + 14 > 255
    EXPECT_EQ(EncodeDirectoryRecord(r, big.data(), big.size()), 0u);
}

TEST(DirectoryRecord, DecodeRoundTripPatchesAndDamage) {
    const DirectoryRecord original = RecordForNode(Node("ITEM0002.MPG", NodeKind::Form2File, 450, 30720), FixedTime());
    std::vector<uint8_t> bytes = Encode(original);
    std::string error;
    auto decoded = DecodeDirectoryRecord(bytes.data(), bytes.size(), &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, original);
    PutRecordExtent(bytes.data(), 7777);
    PutRecordDataLength(bytes.data(), 12345);
    decoded = DecodeDirectoryRecord(bytes.data(), bytes.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->extent, 7777u);
    EXPECT_EQ(decoded->dataLength, 12345u);

    const std::vector<uint8_t> good = Encode(RecordForNode(Node("INFO.VCD", NodeKind::Form1File, 150, 2048), FixedTime()));
    EXPECT_FALSE(DecodeDirectoryRecord(good.data(), good.size() - 1, &error));
    EXPECT_NE(error.find("runs past"), std::string::npos);
    const std::vector<uint8_t> zero(48, 0);
    EXPECT_FALSE(DecodeDirectoryRecord(zero.data(), zero.size(), &error));
    EXPECT_EQ(error, "end of sector");
    const std::pair<size_t, uint8_t> damages[] = {
        {32, 40},        // identifier longer than the record
        {9, uint8_t(good[9] ^ 1)},  // big-endian extent disagrees
        {0, 20},         // record shorter than its fixed part
    };
    for (const auto& [at, value] : damages) {
        std::vector<uint8_t> bad = good;
        bad[at] = value;
        EXPECT_FALSE(DecodeDirectoryRecord(bad.data(), bad.size(), &error)) << at;
    }
    std::vector<uint8_t> noXa = good;
    noXa[44 + 6] = 'Y';  // a damaged "XA" signature reads as a plain record
    auto plain = DecodeDirectoryRecord(noXa.data(), noXa.size());
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->hasXa);
}

}  // namespace
}  // namespace qorvcd
