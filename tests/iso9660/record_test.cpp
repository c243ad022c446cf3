// Directory records and volume descriptors: golden bytes, limits, damage.
#include <gtest/gtest.h>

#include <array>

#include "core/build_context.h"
#include "iso9660/dir_tree.h"
#include "iso9660/directory_record.h"
#include "iso9660/volume_descriptor.h"
#include "platform/bytes.h"
#include "platform/clock.h"
#include "script/script_reader.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

constexpr std::time_t kFifthOfMarch = 1772714096;  // 2026-03-05 12:34:56 UTC
RecordTime FixedTime() { return RecordTimeFrom(Clock::Fixed(kFifthOfMarch)); }

DirNode Node(const std::string& name, NodeKind kind, uint32_t start = 0, uint32_t size = 0) {
    DirNode n;
    std::tie(n.name, n.kind, n.startSector, n.size) = std::tie(name, kind, start, size);
    return n;
}

std::vector<uint8_t> Encode(const DirNode& node) {
    std::vector<uint8_t> out(255, 0xEE);
    out.resize(EncodeDirectoryRecord(RecordForNode(node, FixedTime()), out.data(), out.size()));
    return out;
}

TEST(DirectoryRecord, GoldenBytesAndXaFields) {
    const std::vector<uint8_t> trackFile = {
        60, 0, 0xD2, 0x04, 0x00, 0x00, 0x00, 0x00, 0x04, 0xD2, 0x00, 0x50, 0x00, 0x00, 0x00, 0x00,
        0x50, 0x00, 126, 3, 5, 12, 34, 56, 0, 0x00, 0, 0, 0x01, 0x00, 0x00, 0x01,
        13, 'A', 'V', 'S', 'E', 'Q', '0', '1', '.', 'M', 'P', 'G', ';', '1', 0x00, 0x00,
        0x00, 0x00, 0x11, 0x11, 'X', 'A', 0x01, 0, 0, 0, 0, 0,
    };
    EXPECT_EQ(Encode(Node("AVSEQ01.MPG", NodeKind::TrackFile, 1234, 20480)), trackFile);
    const std::array<uint8_t, 34> root = {34, 0, 20, 0, 0, 0, 0, 0, 0, 20, 0x00, 0x08, 0, 0, 0, 0, 0x08, 0x00,
                                          126, 3, 5, 12, 34, 56, 0, 0x02, 0, 0, 1, 0, 0, 1, 1, 0x00};
    EXPECT_EQ(EncodeRootRecord(20, 2048, FixedTime()), root);
    // An even identifier length takes a padding byte: 33 + 6 + 1 + 14.
    const std::vector<uint8_t> mpegav = Encode(Node("MPEGAV", NodeKind::Directory));
    EXPECT_EQ(std::vector<uint8_t>(mpegav.begin() + 39, mpegav.end()),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0x8D, 0x55, 'X', 'A', 0, 0, 0, 0, 0, 0}));

    const struct { const char* name; NodeKind kind; uint16_t attributes; uint8_t fileNumber; } cases[] = {
        {"VCD", NodeKind::Directory, 0x8D55, 0},          {"INFO.VCD", NodeKind::Form1File, 0x0955, 0},
        {"MUSIC12.DAT", NodeKind::TrackFile, 0x1111, 12}, {"ITEM0001.MPG", NodeKind::Form2File, 0x1111, 1},
        {"ABC", NodeKind::TrackFile, 0x1111, 0},  // too short for an index
    };
    for (const auto& c : cases) {
        EXPECT_EQ(XaAttributesOf(Node(c.name, c.kind)), c.attributes) << c.name;
        EXPECT_EQ(XaFileNumberOf(Node(c.name, c.kind)), c.fileNumber) << c.name;
    }
}

TEST(DirectoryRecord, EncodeRefusesWhatDoesNotFitAndDecodeRefusesDamage) {
    DirectoryRecord r = RecordForNode(Node("AVSEQ01.MPG", NodeKind::TrackFile), FixedTime());
    std::vector<uint8_t> buffer(255, 0xEE);
    EXPECT_EQ(EncodeDirectoryRecord(r, buffer.data(), 59), 0u);  // one byte short
    EXPECT_EQ(buffer[0], 0xEE);
    r.identifier.assign(230, 'A');  // 33 + 230 + 1 + 14 > 255
    EXPECT_EQ(EncodeDirectoryRecord(r, buffer.data(), buffer.size()), 0u);
    const DirNode item = Node("ITEM0002.MPG", NodeKind::Form2File, 450, 30720);
    std::vector<uint8_t> good = Encode(item);
    std::string error;
    EXPECT_EQ(DecodeDirectoryRecord(good.data(), good.size(), &error), RecordForNode(item, FixedTime())) << error;
    EXPECT_FALSE(DecodeDirectoryRecord(good.data(), good.size() - 1, &error));
    EXPECT_NE(error.find("runs past"), std::string::npos);
    EXPECT_FALSE(DecodeDirectoryRecord(std::vector<uint8_t>(48, 0).data(), 48, &error));
    EXPECT_EQ(error, "end of sector");
    // Identifier longer than the record, big-endian extent disagreeing, record shorter than its fixed part.
    for (const auto& [at, value] : {std::pair<size_t, uint8_t>{32, 40}, {9, uint8_t(good[9] ^ 1)}, {0, 20}}) {
        std::vector<uint8_t> bad = good;
        bad[at] = value;
        EXPECT_FALSE(DecodeDirectoryRecord(bad.data(), bad.size(), &error)) << at;
    }
    good[48 + 6] = 'Y';  // a damaged "XA" signature reads as a plain record
    EXPECT_FALSE(DecodeDirectoryRecord(good.data(), good.size()).value().hasXa);
}

std::string Field(const VolumeDescriptorSector& d, size_t offset, size_t size) {
    return std::string(reinterpret_cast<const char*>(d.data() + offset), size);
}

std::optional<VolumeDescriptorSector> BuildFrom(const std::string& script, LogList* log = nullptr) {
    test::TempDir dir;
    test::WriteText(dir / "disc.txt", script);
    BuildContext ctx;
    std::tie(ctx.log, ctx.kind, ctx.clock) = std::tuple(log, DiscKind::Vcd30, Clock::Fixed(kFifthOfMarch));
    ScriptReader reader;
    EXPECT_TRUE(reader.OpenScript(dir / "disc.txt"));
    return BuildPrimaryVolumeDescriptor(&reader, ctx);
}

TEST(VolumeDescriptor, DefaultsAndSectionValuesWithinTheirFields) {
    LogList log;
    auto d = BuildFrom("[VCD]\r\nMODE = SVCD\r\nENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, 0, 7), "\1CD001\1");
    EXPECT_EQ(Field(*d, pvd::kSystemId, 32), "S_VCD30 DISC of Dovrane         ");
    EXPECT_EQ(Field(*d, pvd::kVolumeId, 32), "VCD30_202603 5" + std::string(18, ' '));
    const std::string app = kApplicationText;
    EXPECT_EQ(Field(*d, pvd::kApplicationId, 128), app + std::string(128 - app.size(), '\0'));

    d = BuildFrom("[ISO9660]\r\nvolume_id = " + std::string(40, 'V') +
                    "\r\nSYSTEMID = \"My System\"\r\nPUBLISHER=Publisher Twenty Chr\r\nUNKNOWN_KEY = x\r\n"
                    "VOLUME_NO = -3\r\nSEQUENCE_NO = 7\r\nCREATION_DATE = 2026030512000000\r\n"
                    "[VCD]\r\nPUBLISHER = NotThisOne\r\nENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, pvd::kVolumeId, 33), std::string(32, 'V') + '\0');  // nothing past the field
    EXPECT_EQ(Field(*d, pvd::kSystemId, 10), "My System ");
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), "Publisher" + std::string(119, ' '));  // one token
    EXPECT_EQ(GetLe16(d->data() + pvd::kVolumeSetSize), 1);  // out of range: kept
    EXPECT_EQ(GetBe16(d->data() + pvd::kVolumeSequence + 2), 7);
    EXPECT_EQ(Field(*d, pvd::kCreationDate, 17), "20260305120000000");
    // A shorter value keeps the tail of the first, except in the blanked volume identifier.
    EXPECT_TRUE(ApplyIso9660Setting(*d, "PUBLISHER", "XY"));
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 12), "XYblisher   ");
    EXPECT_TRUE(ApplyIso9660Setting(*d, "VOLUME_ID", "AB"));
    EXPECT_EQ(Field(*d, pvd::kVolumeId, 32), "AB" + std::string(30, ' '));

    EXPECT_FALSE(BuildFrom("[ISO9660]\r\nPUBLISHER ME\r\nENDFILE\r\n", &log));
    EXPECT_NE(log.Last().find("PUBLISHER"), std::string::npos);
    EXPECT_FALSE(BuildFrom("[ISO9660]\r\nPUBLISHER =\r\n", &log));
    EXPECT_NE(log.Last().find("no value"), std::string::npos);
    d = BuildFrom("[ISO9660]\r\nPUBLISHER = \"\"\r\nENDFILE\r\n");  // an empty quoted value is a value
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), std::string(128, ' '));
}

TEST(VolumeDescriptor, LayoutFieldsTerminatorAndDamage) {
    BuildContext ctx;
    ctx.kind = DiscKind::Svcd;
    ctx.clock = Clock::Fixed(kFifthOfMarch);
    auto d = BuildPrimaryVolumeDescriptor(nullptr, ctx);
    SetPathTableFields(*d, 76, 18, 19);
    CompleteVolumeDescriptor(*d, 12345, FixedTime(), false);
    EXPECT_EQ(Field(*d, 72, 8), std::string(8, '\0'));
    CompleteVolumeDescriptor(*d, 12345, FixedTime(), true);
    EXPECT_EQ(std::vector<uint8_t>(d->begin() + 132, d->begin() + 156),
              (std::vector<uint8_t>{76, 0, 0, 0, 0, 0, 0, 76, 18, 0, 0, 0, 18, 0, 0, 0, 0, 0, 0, 19, 0, 0, 0, 19}));
    EXPECT_EQ(Field(*d, 1024, 8), "CD-XA001");
    EXPECT_EQ(Field(*d, 72, 8), "S-OK 1.0");
    std::string error;
    auto info = DecodePrimaryVolumeDescriptor(d->data(), d->size(), &error);
    ASSERT_TRUE(info) << error;
    EXPECT_TRUE(info->volumeSpaceSize == 12345 && info->root->extent == 20 && info->hasXaMark && info->hasPlayOkMark);
    // A size whose two byte orders disagree; a wrong type; a short sector.
    for (const auto& [at, value] : {std::pair<size_t, uint8_t>{87, uint8_t((*d)[87] ^ 1)}, {0, 2}}) {
        VolumeDescriptorSector damaged = *d;
        damaged[at] = value;
        EXPECT_FALSE(DecodePrimaryVolumeDescriptor(damaged.data(), damaged.size(), &error)) << at;
    }
    EXPECT_FALSE(DecodePrimaryVolumeDescriptor(d->data(), 2047, &error));

    const VolumeDescriptorSector t = BuildVolumeDescriptorSetTerminator();
    EXPECT_EQ(Field(t, 0, 7), "\xFF" "CD001\1");
    EXPECT_EQ(Field(t, 1024, 36), kOfficeAndDateText);
    EXPECT_EQ(std::count(t.begin(), t.end(), 0), 2048 - 7 - 36);  // nothing else
    EXPECT_TRUE(IsVolumeDescriptorSetTerminator(t.data(), t.size()) && !IsVolumeDescriptorSetTerminator(d->data(), 2048));
}

}  // namespace
}  // namespace qorvcd
