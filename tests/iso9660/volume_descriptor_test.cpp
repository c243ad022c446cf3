#include "iso9660/volume_descriptor.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/bytes.h"
#include "platform/clock.h"
#include "script/script_reader.h"
#include "session/build_context.h"
#include "session/disc_kind.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

// 5 March 2026, 12:34:56 UTC (a fixed clock reads local time as UTC).
constexpr std::time_t kFifthOfMarch = 1772714096;
// 31 December 2026, 08:00:00 UTC.
constexpr std::time_t kNewYearsEve = 1798704000;

std::string Field(const VolumeDescriptorSector& d, size_t offset, size_t size) {
    return std::string(reinterpret_cast<const char*>(d.data() + offset), size);
}

class VolumeDescriptorTest : public ::testing::Test {
protected:
    VolumeDescriptorTest() {
        ctx.log = &log;
        ctx.kind = DiscKind::Vcd30;
        ctx.clock = Clock::Fixed(kFifthOfMarch);
    }

    // Builds from a script with the given text (CR LF line ends).
    std::optional<VolumeDescriptorSector> BuildFrom(const std::string& script) {
        test::WriteText(dir / "disc.txt", script);
        ScriptReader reader;
        EXPECT_TRUE(reader.OpenScript(dir / "disc.txt"));
        return BuildPrimaryVolumeDescriptor(&reader, ctx);
    }

    test::TempDir dir;
    LogList log;
    BuildContext ctx;
};

TEST_F(VolumeDescriptorTest, DefaultsWithoutSection) {
    auto d = BuildFrom("[VCD]\r\nMODE = SVCD\r\nENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ((*d)[0], 1);
    EXPECT_EQ(Field(*d, 1, 5), "CD001");
    EXPECT_EQ((*d)[6], 1);
    EXPECT_EQ(Field(*d, pvd::kSystemId, 32), "S_VCD30 DISC of Dovrane         ");
    EXPECT_EQ(Field(*d, pvd::kVolumeId, 32), "VCD30_202603 5" + std::string(18, ' '));
    EXPECT_EQ(GetLe16(d->data() + pvd::kVolumeSetSize), 1);
    EXPECT_EQ(GetBe16(d->data() + pvd::kVolumeSetSize + 2), 1);
    EXPECT_EQ(GetLe16(d->data() + pvd::kVolumeSequence), 1);
    EXPECT_EQ(GetLe16(d->data() + pvd::kLogicalBlockSize), 2048);
    EXPECT_EQ(GetBe16(d->data() + pvd::kLogicalBlockSize + 2), 2048);
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), std::string(128, ' '));
    EXPECT_EQ(Field(*d, pvd::kCopyrightFileId, 37), std::string(37, ' '));
    EXPECT_EQ(Field(*d, pvd::kCreationDate, 17), std::string(17, '0'));
    EXPECT_EQ(Field(*d, pvd::kEffectiveDate, 17), std::string(17, '0'));
    EXPECT_EQ(Field(*d, pvd::kExpirationDate, 17), std::string(17, '\0'));
    const std::string app = kApplicationText;
    EXPECT_EQ(Field(*d, pvd::kApplicationId, app.size()), app);
    EXPECT_EQ(Field(*d, pvd::kApplicationId + app.size(), 128 - app.size()), std::string(128 - app.size(), '\0'));
    EXPECT_EQ((*d)[pvd::kFileStructureVersion], 1);
    // Filled in only at the end of the layout.
    EXPECT_EQ(GetLe32(d->data() + pvd::kVolumeSpaceSize), 0u);
    EXPECT_EQ((*d)[pvd::kRootRecord], 0);
    EXPECT_EQ((*d)[pvd::kXaMark], 0);

    // Without any reader the same defaults come out.
    auto bare = BuildPrimaryVolumeDescriptor(nullptr, ctx);
    ASSERT_TRUE(bare);
    EXPECT_EQ(*bare, *d);
}

TEST_F(VolumeDescriptorTest, DefaultVolumeIdentifierPerKind) {
    CalendarTime fifth{2026, 3, 5, 0, 0, 0, 0};
    CalendarTime eve{2026, 12, 31, 0, 0, 0, 0};
    EXPECT_EQ(DefaultVolumeIdentifier(DiscKind::Vcd30, fifth), "VCD30_202603 5");
    EXPECT_EQ(DefaultVolumeIdentifier(DiscKind::Svcd, fifth), "SVCD_202603 5");
    EXPECT_EQ(DefaultVolumeIdentifier(DiscKind::SuperVcd, eve), "SVCD_20261231");
    EXPECT_EQ(DefaultVolumeIdentifier(DiscKind::Cvd, eve), "CVD_20261231");

    ctx.kind = DiscKind::Cvd;
    ctx.clock = Clock::Fixed(kNewYearsEve);
    auto d = BuildPrimaryVolumeDescriptor(nullptr, ctx);
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, pvd::kVolumeId, 13), "CVD_20261231 ");
}

TEST_F(VolumeDescriptorTest, SectionValuesReplaceDefaults) {
    const std::string longId(40, 'V');
    auto d = BuildFrom(
        "[ISO9660]\r\n"
        "volume_id = " + longId + "\r\n"
        "SYSTEMID = \"My System\"\r\n"
        "PUBLISHER=Publisher Twenty Chr\r\n"
        "UNKNOWN_KEY = whatever\r\n"
        "VOLUME_NO = 0\r\n"
        "SEQUENCE_NO = 7\r\n"
        "DATA_PREPARER = prep\r\n"
        "APPLICATION = ignored\r\n"
        "CREATION_DATE = 2026030512000000\r\n"
        "ABSTRACT_FILE = ABSTRACT.TXT\r\n"
        "[VCD]\r\n"
        "PUBLISHER = NotThisOne\r\n"
        "ENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, pvd::kVolumeId, 32), std::string(32, 'V'));
    EXPECT_EQ((*d)[pvd::kVolumeId + 32], 0);  // nothing past the field
    EXPECT_EQ(Field(*d, pvd::kSystemId, 32), "My System" + std::string(23, ' '));
    // The publisher value is one token: "Publisher" (the rest are other tokens).
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), "Publisher" + std::string(119, ' '));
    EXPECT_EQ(GetLe16(d->data() + pvd::kVolumeSetSize), 1);
    EXPECT_EQ(GetLe16(d->data() + pvd::kVolumeSequence), 7);
    EXPECT_EQ(GetBe16(d->data() + pvd::kVolumeSequence + 2), 7);
    EXPECT_EQ(Field(*d, pvd::kDataPreparerId, 128), "prep" + std::string(124, ' '));
    EXPECT_EQ(Field(*d, pvd::kApplicationId, 25), kApplicationText);
    EXPECT_EQ(Field(*d, pvd::kCreationDate, 17), "20260305120000000");
    EXPECT_EQ(Field(*d, pvd::kAbstractFileId, 37), "ABSTRACT.TXT" + std::string(25, ' '));
}

TEST_F(VolumeDescriptorTest, CountsAndPaddingRules) {
    auto d = BuildFrom(
        "[ISO9660]\r\n"
        "PUBLISHER = \"ABCDEFGHIJKLMNOPQRST\"\r\n"
        "VOLUME_NO = -3\r\n"
        "SEQUENCE_NO = 70000\r\n"
        "ENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), "ABCDEFGHIJKLMNOPQRST" + std::string(108, ' '));
    EXPECT_EQ(GetLe16(d->data() + pvd::kVolumeSetSize), 1);
    EXPECT_EQ(GetLe16(d->data() + pvd::kVolumeSequence), 1);

    VolumeDescriptorSector e = *d;
    // A second, shorter value keeps the tail of the first in fields not blanked first...
    EXPECT_TRUE(ApplyIso9660Setting(e, "PUBLISHER", "XY"));
    EXPECT_EQ(Field(e, pvd::kPublisherId, 6), "XYCDEF");
    // ...but the volume identifier is blanked before each value.
    EXPECT_TRUE(ApplyIso9660Setting(e, "VOLUME_ID", "LONGVOLUME"));
    EXPECT_TRUE(ApplyIso9660Setting(e, "VOLUME_ID", "AB"));
    EXPECT_EQ(Field(e, pvd::kVolumeId, 32), "AB" + std::string(30, ' '));
    EXPECT_TRUE(ApplyIso9660Setting(e, "VOLUME_NO", "32767"));
    EXPECT_EQ(GetBe16(e.data() + pvd::kVolumeSetSize + 2), 32767);
    EXPECT_FALSE(ApplyIso9660Setting(e, "NOT_A_KEY", "x"));
}

TEST_F(VolumeDescriptorTest, MalformedSectionFails) {
    EXPECT_FALSE(BuildFrom("[ISO9660]\r\nPUBLISHER ME\r\nENDFILE\r\n"));
    EXPECT_NE(log.Last().find("PUBLISHER"), std::string::npos);
    EXPECT_NE(log.Last().find("\"=\""), std::string::npos);

    EXPECT_FALSE(BuildFrom("[ISO9660]\r\nPUBLISHER =\r\n"));
    EXPECT_NE(log.Last().find("no value"), std::string::npos);

    // An empty quoted value is a value: the field keeps its blanks.
    auto d = BuildFrom("[ISO9660]\r\nPUBLISHER = \"\"\r\nENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), std::string(128, ' '));
}

TEST(VolumeDescriptor, TerminatorBytes) {
    const VolumeDescriptorSector t = BuildVolumeDescriptorSetTerminator();
    EXPECT_EQ(t[0], 255);
    EXPECT_EQ(Field(t, 1, 5), "CD001");
    EXPECT_EQ(t[6], 1);
    EXPECT_EQ(Field(t, 1024, 36), kOfficeAndDateText);
    EXPECT_EQ(t[1024 + 36], 0);
    size_t nonZero = 0;
    for (uint8_t b : t) nonZero += b != 0;
    EXPECT_EQ(nonZero, 7u + 36u);  // type, CD001, version and the text: nothing else
    EXPECT_TRUE(IsVolumeDescriptorSetTerminator(t.data(), t.size()));
}

TEST(VolumeDescriptor, LayoutFieldsAndReadBack) {
    BuildContext ctx;
    ctx.kind = DiscKind::Svcd;
    ctx.clock = Clock::Fixed(kFifthOfMarch);
    auto d = BuildPrimaryVolumeDescriptor(nullptr, ctx);
    ASSERT_TRUE(d);
    SetPathTableFields(*d, 76, 18, 19);
    const RecordTime rootTime = RecordTimeFrom(ctx.clock);
    CompleteVolumeDescriptor(*d, 12345, rootTime, false);

    EXPECT_EQ(std::vector<uint8_t>(d->begin() + 132, d->begin() + 156),
              (std::vector<uint8_t>{76, 0, 0, 0, 0, 0, 0, 76, 18, 0, 0, 0, 18, 0, 0, 0,
                                    0, 0, 0, 19, 0, 0, 0, 19}));
    EXPECT_EQ(Field(*d, 1024, 8), "CD-XA001");
    EXPECT_EQ(GetBe32(d->data() + 84), 12345u);
    const auto root = EncodeRootRecord(20, 2048, rootTime);
    EXPECT_TRUE(std::equal(root.begin(), root.end(), d->begin() + 156));
    EXPECT_EQ(Field(*d, 72, 8), std::string(8, '\0'));

    std::string error;
    auto info = DecodePrimaryVolumeDescriptor(d->data(), d->size(), &error);
    ASSERT_TRUE(info) << error;
    EXPECT_EQ(info->volumeId, "SVCD_202603 5");
    EXPECT_EQ(info->systemId, kDefaultSystemIdentifier);
    EXPECT_EQ(info->applicationId, kApplicationText);
    EXPECT_EQ(info->publisherId, "");
    EXPECT_EQ(info->volumeSpaceSize, 12345u);
    EXPECT_EQ(info->pathTableSize, 76u);
    EXPECT_EQ(info->typeLPathTable, 18u);
    EXPECT_EQ(info->typeMPathTable, 19u);
    EXPECT_EQ(info->logicalBlockSize, 2048);
    ASSERT_TRUE(info->root);
    EXPECT_EQ(info->root->extent, 20u);
    EXPECT_EQ(info->root->dataLength, 2048u);
    EXPECT_TRUE(info->hasXaMark);
    EXPECT_FALSE(info->hasPlayOkMark);

    CompleteVolumeDescriptor(*d, 12345, rootTime, true);
    EXPECT_EQ(Field(*d, 72, 8), "S-OK 1.0");
    EXPECT_TRUE(DecodePrimaryVolumeDescriptor(d->data(), d->size())->hasPlayOkMark);

    VolumeDescriptorSector damaged = *d;
    damaged[87] ^= 1;  // big-endian volume space size disagrees
    EXPECT_FALSE(DecodePrimaryVolumeDescriptor(damaged.data(), damaged.size(), &error));
    damaged = *d;
    damaged[0] = 2;
    EXPECT_FALSE(DecodePrimaryVolumeDescriptor(damaged.data(), damaged.size(), &error));
    EXPECT_FALSE(DecodePrimaryVolumeDescriptor(d->data(), 2047, &error));
    EXPECT_FALSE(IsVolumeDescriptorSetTerminator(d->data(), d->size()));
}

}  // namespace
}  // namespace qorvcd
