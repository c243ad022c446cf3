#include "iso9660/directory_record.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "iso9660/dir_tree.h"
#include "platform/clock.h"

namespace qorvcd {
namespace {

// 5 March 2026, 12:34:56 UTC.
constexpr std::time_t kFixedTime = 1772714096;

RecordTime FixedTime() { return RecordTimeFrom(Clock::Fixed(kFixedTime)); }

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
    const size_t n = EncodeDirectoryRecord(r, out.data(), out.size());
    out.resize(n);
    return out;
}

TEST(DirectoryRecord, TrackFileGoldenBytes) {
    const DirNode track = Node("AVSEQ01.MPG", NodeKind::TrackFile, 1234, 20480);
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
    EXPECT_EQ(Encode(RecordForNode(track, FixedTime())), expected);
}

TEST(DirectoryRecord, LengthsAndPadding) {
    // A folder name of 6 characters needs a padding byte: 33 + 6 + 1 + 14.
    const std::vector<uint8_t> mpegav = Encode(RecordForNode(Node("MPEGAV", NodeKind::Directory), FixedTime()));
    ASSERT_EQ(mpegav.size(), 54u);
    EXPECT_EQ(mpegav[39], 0x00);  // padding
    EXPECT_EQ(mpegav[40 + 6], 'X');
    EXPECT_EQ(mpegav[25], 0x02);
    EXPECT_EQ(mpegav[40 + 4], 0x8D);
    EXPECT_EQ(mpegav[40 + 5], 0x55);

    // A 12-character file name: identifier of 14 bytes, padded to 48, then XA.
    const std::vector<uint8_t> longName =
        Encode(RecordForNode(Node("ABCDEFGH.TXT", NodeKind::Form1File), FixedTime()));
    EXPECT_EQ(longName.size(), 62u);
    EXPECT_EQ(longName[32], 14);
    EXPECT_EQ(DirectoryRecordLength(14), 62u);
    EXPECT_EQ(DirectoryRecordLength(13), 60u);
    EXPECT_EQ(DirectoryRecordLength(1, false), 34u);

    const std::vector<uint8_t> dot = Encode(DotRecord(false, 20, 2048, FixedTime()));
    const std::vector<uint8_t> dotdot = Encode(DotRecord(true, 20, 4096, FixedTime()));
    ASSERT_EQ(dot.size(), 48u);
    ASSERT_EQ(dotdot.size(), 48u);
    EXPECT_EQ(dot[33], 0x00);
    EXPECT_EQ(dotdot[33], 0x01);
    EXPECT_EQ(GetRecordDataLength(dotdot.data()), 4096u);
}

TEST(DirectoryRecord, XaAttributesAndFileNumbers) {
    EXPECT_EQ(XaAttributesOf(Node("VCD", NodeKind::Directory)), 0x8D55);
    EXPECT_EQ(XaAttributesOf(Node("INFO.VCD", NodeKind::Form1File)), 0x0955);
    EXPECT_EQ(XaAttributesOf(Node("AVSEQ01.DAT", NodeKind::TrackFile)), 0x1111);
    EXPECT_EQ(XaAttributesOf(Node("ITEM0001.MPG", NodeKind::Form2File)), 0x1111);

    EXPECT_EQ(XaFileNumberOf(Node("MUSIC12.DAT", NodeKind::TrackFile)), 12);
    EXPECT_EQ(XaFileNumberOf(Node("AVSEQ01.MPG", NodeKind::TrackFile)), 1);
    EXPECT_EQ(XaFileNumberOf(Node("ITEM0001.MPG", NodeKind::Form2File)), 1);
    EXPECT_EQ(XaFileNumberOf(Node("INFO.VCD", NodeKind::Form1File)), 0);
    EXPECT_EQ(XaFileNumberOf(Node("ABC", NodeKind::TrackFile)), 0);  // too short for an index
}

TEST(DirectoryRecord, RootRecordOfTheVolumeDescriptor) {
    const auto root = EncodeRootRecord(20, 2048, FixedTime());
    const std::array<uint8_t, 34> expected = {
        34, 0, 20, 0, 0, 0, 0, 0, 0, 20, 0x00, 0x08, 0, 0, 0, 0, 0x08, 0x00,
        126, 3, 5, 12, 34, 56, 0, 0x02, 0, 0, 1, 0, 0, 1, 1, 0x00,
    };
    EXPECT_EQ(root, expected);
}

TEST(DirectoryRecord, EncodeRefusesWhatDoesNotFit) {
    DirectoryRecord r = RecordForNode(Node("AVSEQ01.MPG", NodeKind::TrackFile), FixedTime());
    std::vector<uint8_t> small(59, 0xEE);
    EXPECT_EQ(EncodeDirectoryRecord(r, small.data(), small.size()), 0u);
    EXPECT_EQ(small[0], 0xEE);  // nothing written
    r.identifier.clear();
    std::vector<uint8_t> big(255);
    EXPECT_EQ(EncodeDirectoryRecord(r, big.data(), big.size()), 0u);
    r.identifier.assign(230, 'A');  // 33 + 230 + 1 + 14 > 255
    EXPECT_EQ(EncodeDirectoryRecord(r, big.data(), big.size()), 0u);
}

TEST(DirectoryRecord, DecodeRoundTripAndPatches) {
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
    EXPECT_EQ(decoded->identifier, "ITEM0002.MPG;1");

    const auto root = EncodeRootRecord(20, 2048, FixedTime());
    decoded = DecodeDirectoryRecord(root.data(), root.size());
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->hasXa);
    EXPECT_EQ(decoded->identifier, std::string(1, '\0'));
}

TEST(DirectoryRecord, DecodeRejectsDamagedRecords) {
    const std::vector<uint8_t> good = Encode(RecordForNode(Node("INFO.VCD", NodeKind::Form1File, 150, 2048), FixedTime()));
    std::string error;

    EXPECT_FALSE(DecodeDirectoryRecord(good.data(), good.size() - 1, &error));  // runs past the data
    EXPECT_NE(error.find("runs past"), std::string::npos);

    std::vector<uint8_t> zero(48, 0);
    EXPECT_FALSE(DecodeDirectoryRecord(zero.data(), zero.size(), &error));
    EXPECT_EQ(error, "end of sector");

    std::vector<uint8_t> badId = good;
    badId[32] = 40;  // identifier longer than the record
    EXPECT_FALSE(DecodeDirectoryRecord(badId.data(), badId.size(), &error));

    std::vector<uint8_t> badOrder = good;
    badOrder[9] ^= 1;  // big-endian extent disagrees
    EXPECT_FALSE(DecodeDirectoryRecord(badOrder.data(), badOrder.size(), &error));

    std::vector<uint8_t> tooShort = good;
    tooShort[0] = 20;
    EXPECT_FALSE(DecodeDirectoryRecord(tooShort.data(), tooShort.size(), &error));

    std::vector<uint8_t> noXa = good;
    noXa[44 + 6] = 'Y';  // "XA" signature damaged: read as a plain record
    auto plain = DecodeDirectoryRecord(noXa.data(), noXa.size());
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->hasXa);
}

}  // namespace
}  // namespace qorvcd
