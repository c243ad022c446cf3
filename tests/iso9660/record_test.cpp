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

std::vector<uint8_t> Encode(const DirNode& node) { return RecordForNode(node, FixedTime()).Encode(); }

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
    r.identifier.assign(230, 'A');  // 33 + 230 + 1 + 14 > 255
    EXPECT_TRUE(r.Encode().empty());
    r.identifier.clear();
    EXPECT_TRUE(r.Encode().empty());
    const DirNode item = Node("ITEM0002.MPG", NodeKind::Form2File, 450, 30720);
    std::vector<uint8_t> good = Encode(item);
    std::string error;
    EXPECT_EQ(DirectoryRecord::Decode(good, &error), RecordForNode(item, FixedTime())) << error;
    EXPECT_EQ(DirectoryRecord::Decode(good)->Encode(), good);
    const struct { std::vector<uint8_t> bytes; const char* why; } refused[] = {
        {std::vector<uint8_t>(good.begin(), good.end() - 1), "runs past"},
        {std::vector<uint8_t>(48, 0), "end of sector"},
        {{}, "end of sector"},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(DirectoryRecord::Decode(c.bytes, &error));
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
    // Identifier longer than the record, big-endian extent disagreeing, record shorter than its fixed part.
    const struct { size_t at; uint8_t value; const char* why; } damage[] = {
        {32, 40, "identifier of 40 bytes"},
        {9, uint8_t(good[9] ^ 1), "two byte orders"},
        {0, 20, "below the minimum"},
    };
    for (const auto& c : damage) {
        std::vector<uint8_t> bad = good;
        bad[c.at] = c.value;
        EXPECT_FALSE(DirectoryRecord::Decode(bad, &error)) << c.at;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
    good[48 + 6] = 'Y';  // a damaged "XA" signature reads as a plain record
    EXPECT_FALSE(DirectoryRecord::Decode(good).value().hasXa);
}

template <typename Bytes>
std::string Field(const Bytes& d, size_t offset, size_t size) {
    return std::string(reinterpret_cast<const char*>(d.data() + offset), size);
}
std::string Field(const PrimaryVolumeDescriptor& d, size_t offset, size_t size) {
    return Field(d.Encode(), offset, size);
}

std::optional<PrimaryVolumeDescriptor> BuildFrom(const std::string& script, LogList* log = nullptr) {
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
    EXPECT_EQ(GetLe16(d->Encode().data() + pvd::kVolumeSetSize), 1);  // out of range: kept
    EXPECT_EQ(GetBe16(d->Encode().data() + pvd::kVolumeSequence + 2), 7);
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
    const std::vector<uint8_t> bytes = d->Encode();
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 132, bytes.begin() + 156),
              (std::vector<uint8_t>{76, 0, 0, 0, 0, 0, 0, 76, 18, 0, 0, 0, 18, 0, 0, 0, 0, 0, 0, 19, 0, 0, 0, 19}));
    EXPECT_EQ(Field(*d, 1024, 8), "CD-XA001");
    EXPECT_EQ(Field(*d, 72, 8), "S-OK 1.0");
    std::string error;
    auto info = PrimaryVolumeDescriptor::Decode(bytes, &error);
    ASSERT_TRUE(info) << error;
    EXPECT_TRUE(info->volumeSpaceSize == 12345 && info->root->extent == 20 && info->xaMark && info->playOkMark);
    EXPECT_EQ(*info, *d);
    EXPECT_EQ(info->Encode(), bytes);

}

TEST(VolumeDescriptor, SetTerminatorBytesAndRefusals) {
    const VolumeDescriptorSetTerminator terminator;
    const std::vector<uint8_t> t = terminator.Encode();
    ASSERT_EQ(t.size(), 2048u);
    EXPECT_EQ(Field(t, 0, 7), "\xFF" "CD001\1");
    EXPECT_EQ(Field(t, 1024, 36), "QORVCD AUTHORING LIBRARY VERSION 0.1");
    EXPECT_EQ(std::count(t.begin(), t.end(), 0), 2048 - 7 - 36);  // nothing else
    std::string why;
    EXPECT_EQ(VolumeDescriptorSetTerminator::Decode(t, &why), terminator) << why;
    // The text fills at most the reserved bytes before the last, which stays zero.
    const VolumeDescriptorSetTerminator longest{std::string(1100, 'x')};
    const std::vector<uint8_t> full = longest.Encode();
    EXPECT_EQ(full[2047], 0);
    EXPECT_EQ(VolumeDescriptorSetTerminator::Decode(full)->officeAndDate, std::string(1023, 'x'));
    EXPECT_EQ(VolumeDescriptorSetTerminator::Decode(VolumeDescriptorSetTerminator{""}.Encode())->officeAndDate, "");

    const struct { size_t at; uint8_t value; const char* why; } damages[] = {
        {0, 1, "volume descriptor type 1, expected 255 (set terminator)"},
        {3, 'x', "no \"CD001\" version 1 volume descriptor"},
        {6, 2, "no \"CD001\" version 1 volume descriptor"},
    };
    for (const auto& d : damages) {
        std::vector<uint8_t> bad = t;
        bad[d.at] = d.value;
        EXPECT_FALSE(VolumeDescriptorSetTerminator::Decode(bad, &why)) << d.at;
        EXPECT_EQ(why, d.why);
    }
    EXPECT_FALSE(VolumeDescriptorSetTerminator::Decode(std::span(t).first(2047), &why));
    EXPECT_EQ(why, "volume descriptor needs 2048 bytes, found 2047");
}

// Every field in its place: a descriptor with distinct values encodes to the
// hand-placed bytes and decodes back to the same struct.
TEST(VolumeDescriptor, RoundTripOfEveryField) {
    PrimaryVolumeDescriptor d;
    PutPadded(d.systemId.data(), d.systemId.size(), "SYS");
    PutPadded(d.volumeId.data(), d.volumeId.size(), "VOL");
    PutPadded(d.volumeSetId.data(), d.volumeSetId.size(), "SET");
    PutPadded(d.publisherId.data(), d.publisherId.size(), "PUB", 0);
    PutPadded(d.dataPreparerId.data(), d.dataPreparerId.size(), "PREP");
    PutPadded(d.applicationId.data(), d.applicationId.size(), "APP");
    PutPadded(d.copyrightFileId.data(), d.copyrightFileId.size(), "C.TXT");
    PutPadded(d.abstractFileId.data(), d.abstractFileId.size(), "A.TXT");
    PutPadded(d.bibliographicFileId.data(), d.bibliographicFileId.size(), "B.TXT");
    PutPadded(d.creationDate.data(), d.creationDate.size(), "2026030512345600", 0);
    PutPadded(d.modificationDate.data(), d.modificationDate.size(), "2026030612345600", 0);
    PutPadded(d.effectiveDate.data(), d.effectiveDate.size(), "2026030712345600", 0);
    std::tie(d.volumeSpaceSize, d.volumeSetSize, d.volumeSequenceNumber, d.logicalBlockSize) =
        std::tuple(0x01020304u, uint16_t(3), uint16_t(2), uint16_t(2048));
    std::tie(d.pathTableSize, d.typeLPathTable, d.optTypeLPathTable, d.typeMPathTable, d.optTypeMPathTable) =
        std::tuple(76u, 18u, 0x1112u, 19u, 0x2122u);
    d.root = RootRecord(20, 2048, FixedTime());
    std::tie(d.xaMark, d.playOkMark) = std::pair(true, true);

    const std::vector<uint8_t> bytes = d.Encode();
    ASSERT_EQ(bytes.size(), 2048u);
    EXPECT_EQ(Field(bytes, 0, 8), std::string("\1CD001\1\0", 8));
    const struct { size_t offset; std::vector<uint8_t> expected; } fields[] = {
        {8, {'S', 'Y', 'S', ' '}},
        {40, {'V', 'O', 'L', ' '}},
        {72, {'S', '-', 'O', 'K', ' ', '1', '.', '0'}},
        {80, {4, 3, 2, 1, 1, 2, 3, 4}},
        {120, {3, 0, 0, 3, 2, 0, 0, 2, 0x00, 0x08, 0x08, 0x00}},
        {132, {76, 0, 0, 0, 0, 0, 0, 76, 18, 0, 0, 0, 0x12, 0x11, 0, 0, 0, 0, 0, 19, 0, 0, 0x21, 0x22}},
        {156, {34, 0, 20, 0, 0, 0, 0, 0, 0, 20}},
        {190, {'S', 'E', 'T', ' '}},
        {318, {'P', 'U', 'B', 0}},
        {446, {'P', 'R', 'E', 'P', ' '}},
        {574, {'A', 'P', 'P', ' '}},
        {702, {'C', '.', 'T', 'X', 'T', ' '}},
        {739, {'A', '.', 'T', 'X', 'T', ' '}},
        {776, {'B', '.', 'T', 'X', 'T', ' '}},
        {813, {'2', '0', '2', '6', '0', '3', '0', '5'}},
        {830, {'2', '0', '2', '6', '0', '3', '0', '6'}},
        {847, {0, 0, 0, 0}},
        {864, {'2', '0', '2', '6', '0', '3', '0', '7'}},
        {881, {1, 0}},
        {1024, {'C', 'D', '-', 'X', 'A', '0', '0', '1'}},
    };
    for (const auto& f : fields) {
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + f.offset, bytes.begin() + f.offset + f.expected.size()),
                  f.expected) << "offset " << f.offset;
    }
    std::string error;
    const auto back = PrimaryVolumeDescriptor::Decode(bytes, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, d);
    EXPECT_EQ(PrimaryVolumeDescriptor::Text(back->publisherId), "PUB");
    EXPECT_EQ(PrimaryVolumeDescriptor::Text(back->volumeId), "VOL");

    // Without the marks and the root those bytes stay zero.
    std::tie(d.xaMark, d.playOkMark) = std::pair(false, false);
    d.root.reset();
    const std::vector<uint8_t> plain = d.Encode();
    EXPECT_EQ(std::count(plain.begin() + 72, plain.begin() + 80, 0), 8);
    EXPECT_EQ(std::count(plain.begin() + 156, plain.begin() + 190, 0), 34);
    EXPECT_EQ(std::count(plain.begin() + 883, plain.end(), 0), 2048 - 883);
    EXPECT_EQ(PrimaryVolumeDescriptor::Decode(plain).value(), d);
}

TEST(VolumeDescriptor, DecodeRefusesDamageWithAReason) {
    PrimaryVolumeDescriptor d;
    d.volumeSpaceSize = 300;
    const std::vector<uint8_t> good = d.Encode();
    const struct { size_t at; uint8_t value; const char* why; } damage[] = {
        {87, 1, "two byte orders"},     // volume space size, big-endian copy
        {122, 9, "two byte orders"},    // volume set size
        {135, 1, "two byte orders"},    // path table size
        {0, 2, "type 2, expected 1"},
        {0, 255, "type 255"},
        {3, 'X', "CD001"},
        {6, 2, "CD001\" version 1"},
    };
    std::string error;
    for (const auto& c : damage) {
        std::vector<uint8_t> bad = good;
        bad[c.at] = c.value;
        EXPECT_FALSE(PrimaryVolumeDescriptor::Decode(bad, &error)) << c.at;
        EXPECT_NE(error.find(c.why), std::string::npos) << c.at << ": " << error;
    }
    EXPECT_FALSE(PrimaryVolumeDescriptor::Decode(std::span(good.data(), 2047), &error));
    EXPECT_EQ(error, "volume descriptor needs 2048 bytes, found 2047");
}

}  // namespace
}  // namespace qorvcd
