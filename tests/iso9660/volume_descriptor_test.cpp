#include "iso9660/volume_descriptor.h"

#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "platform/clock.h"
#include "script/script_reader.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

// 5 March 2026, 12:34:56 UTC (a fixed clock reads local time as UTC).
constexpr std::time_t kFifthOfMarch = 1772714096;

std::string Field(const VolumeDescriptorSector& d, size_t offset, size_t size) {
    return std::string(reinterpret_cast<const char*>(d.data() + offset), size);
}

struct DescriptorHarness {
    test::TempDir dir;
    LogList log;
    BuildContext ctx;
    DescriptorHarness() {
        ctx.log = &log;
        ctx.kind = DiscKind::Vcd30;
        ctx.clock = Clock::Fixed(kFifthOfMarch);
    }
    std::optional<VolumeDescriptorSector> BuildFrom(const std::string& script) {
        test::WriteText(dir / "disc.txt", script);
        ScriptReader reader;
        EXPECT_TRUE(reader.OpenScript(dir / "disc.txt"));
        return BuildPrimaryVolumeDescriptor(&reader, ctx);
    }
};

TEST(VolumeDescriptor, DefaultsWithoutSection) {
    DescriptorHarness h;
    auto d = h.BuildFrom("[VCD]\r\nMODE = SVCD\r\nENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, 0, 7), "\1CD001\1");
    EXPECT_EQ(Field(*d, pvd::kSystemId, 32), "S_VCD30 DISC of Dovrane         ");
    EXPECT_EQ(Field(*d, pvd::kVolumeId, 32), "VCD30_202603 5" + std::string(18, ' '));
    EXPECT_EQ(GetLe16(d->data() + pvd::kLogicalBlockSize), 2048);
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), std::string(128, ' '));
    EXPECT_EQ(Field(*d, pvd::kCreationDate, 17), std::string(17, '0'));
    const std::string app = kApplicationText;
    EXPECT_EQ(Field(*d, pvd::kApplicationId, 128), app + std::string(128 - app.size(), '\0'));
    // Filled in only at the end of the layout.
    EXPECT_EQ(GetLe32(d->data() + pvd::kVolumeSpaceSize), 0u);
    EXPECT_EQ((*d)[pvd::kRootRecord], 0);
    EXPECT_EQ(*BuildPrimaryVolumeDescriptor(nullptr, h.ctx), *d);  // no reader: the same defaults

    const CalendarTime eve{2026, 12, 31, 0, 0, 0, 0};
    EXPECT_EQ(DefaultVolumeIdentifier(DiscKind::Svcd, CalendarTime{2026, 3, 5, 0, 0, 0, 0}), "SVCD_202603 5");
    EXPECT_EQ(DefaultVolumeIdentifier(DiscKind::SuperVcd, eve), "SVCD_20261231");
    EXPECT_EQ(DefaultVolumeIdentifier(DiscKind::Cvd, eve), "CVD_20261231");
}

TEST(VolumeDescriptor, SectionValuesReplaceDefaultsWithinTheirFields) {
    DescriptorHarness h;
    auto d = h.BuildFrom(
        "[ISO9660]\r\n"
        "volume_id = " + std::string(40, 'V') + "\r\n"
        "SYSTEMID = \"My System\"\r\n"
        "PUBLISHER=Publisher Twenty Chr\r\n"
        "UNKNOWN_KEY = whatever\r\n"
        "VOLUME_NO = -3\r\n"
        "SEQUENCE_NO = 7\r\n"
        "DATA_PREPARER = prep\r\n"
        "ABSTRACT_FILE = ABSTRACT.TXT\r\n"
        "CREATION_DATE = 2026030512000000\r\n"
        "[VCD]\r\n"
        "PUBLISHER = NotThisOne\r\n"
        "ENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, pvd::kVolumeId, 32), std::string(32, 'V'));
    EXPECT_EQ((*d)[pvd::kVolumeId + 32], 0);  // nothing past the field
    EXPECT_EQ(Field(*d, pvd::kSystemId, 10), "My System ");
    // The publisher value is one token: "Publisher" (the rest are other tokens).
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), "Publisher" + std::string(119, ' '));
    EXPECT_EQ(GetLe16(d->data() + pvd::kVolumeSetSize), 1);  // out of range: kept
    EXPECT_EQ(GetBe16(d->data() + pvd::kVolumeSequence + 2), 7);
    EXPECT_EQ(Field(*d, pvd::kDataPreparerId, 5), "prep ");
    EXPECT_EQ(Field(*d, pvd::kAbstractFileId, 37), "ABSTRACT.TXT" + std::string(25, ' '));
    EXPECT_EQ(Field(*d, pvd::kCreationDate, 17), "20260305120000000");

    VolumeDescriptorSector e = *d;
    // A shorter value keeps the tail of the first in fields not blanked first...
    EXPECT_TRUE(ApplyIso9660Setting(e, "PUBLISHER", "XY"));
    EXPECT_EQ(Field(e, pvd::kPublisherId, 12), "XYblisher   ");
    // ...but the volume identifier is blanked before each value.
    EXPECT_TRUE(ApplyIso9660Setting(e, "VOLUME_ID", "AB"));
    EXPECT_EQ(Field(e, pvd::kVolumeId, 32), "AB" + std::string(30, ' '));
    EXPECT_TRUE(ApplyIso9660Setting(e, "SEQUENCE_NO", "70000"));
    EXPECT_EQ(GetLe16(e.data() + pvd::kVolumeSequence), 7);
    EXPECT_TRUE(ApplyIso9660Setting(e, "VOLUME_NO", "32767"));
    EXPECT_EQ(GetBe16(e.data() + pvd::kVolumeSetSize + 2), 32767);
    EXPECT_FALSE(ApplyIso9660Setting(e, "NOT_A_KEY", "x"));
}

TEST(VolumeDescriptor, MalformedSectionFails) {
    DescriptorHarness h;
    EXPECT_FALSE(h.BuildFrom("[ISO9660]\r\nPUBLISHER ME\r\nENDFILE\r\n"));
    EXPECT_NE(h.log.Last().find("PUBLISHER"), std::string::npos);
    EXPECT_NE(h.log.Last().find("\"=\""), std::string::npos);
    EXPECT_FALSE(h.BuildFrom("[ISO9660]\r\nPUBLISHER =\r\n"));
    EXPECT_NE(h.log.Last().find("no value"), std::string::npos);
    // An empty quoted value is a value: the field keeps its blanks.
    auto d = h.BuildFrom("[ISO9660]\r\nPUBLISHER = \"\"\r\nENDFILE\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(Field(*d, pvd::kPublisherId, 128), std::string(128, ' '));
}

TEST(VolumeDescriptor, TerminatorBytes) {
    const VolumeDescriptorSector t = BuildVolumeDescriptorSetTerminator();
    EXPECT_EQ(Field(t, 0, 7), "\xFF" "CD001\1");
    EXPECT_EQ(Field(t, 1024, 36), kOfficeAndDateText);
    size_t nonZero = 0;
    for (uint8_t b : t) nonZero += b != 0;
    EXPECT_EQ(nonZero, 7u + 36u);  // nothing else
    EXPECT_TRUE(IsVolumeDescriptorSetTerminator(t.data(), t.size()));
}

TEST(VolumeDescriptor, LayoutFieldsReadBackAndDamage) {
    BuildContext ctx;
    ctx.kind = DiscKind::Svcd;
    ctx.clock = Clock::Fixed(kFifthOfMarch);
    auto d = BuildPrimaryVolumeDescriptor(nullptr, ctx);
    ASSERT_TRUE(d);
    SetPathTableFields(*d, 76, 18, 19);
    const RecordTime rootTime = RecordTimeFrom(ctx.clock);
    CompleteVolumeDescriptor(*d, 12345, rootTime, false);
    EXPECT_EQ(std::vector<uint8_t>(d->begin() + 132, d->begin() + 156),
              (std::vector<uint8_t>{76, 0, 0, 0, 0, 0, 0, 76, 18, 0, 0, 0, 18, 0, 0, 0, 0, 0, 0, 19, 0, 0, 0, 19}));
    EXPECT_EQ(Field(*d, 1024, 8), "CD-XA001");
    EXPECT_EQ(GetBe32(d->data() + 84), 12345u);
    const auto root = EncodeRootRecord(20, 2048, rootTime);
    EXPECT_TRUE(std::equal(root.begin(), root.end(), d->begin() + 156));
    EXPECT_EQ(Field(*d, 72, 8), std::string(8, '\0'));

    std::string error;
    auto info = DecodePrimaryVolumeDescriptor(d->data(), d->size(), &error);
    ASSERT_TRUE(info) << error;
    EXPECT_EQ(info->volumeId, "SVCD_202603 5");
    EXPECT_EQ(info->volumeSpaceSize, 12345u);
    EXPECT_EQ(info->typeMPathTable, 19u);
    ASSERT_TRUE(info->root);
    EXPECT_EQ(info->root->extent, 20u);
    EXPECT_TRUE(info->hasXaMark);
    EXPECT_FALSE(info->hasPlayOkMark);

    CompleteVolumeDescriptor(*d, 12345, rootTime, true);
    EXPECT_EQ(Field(*d, 72, 8), "S-OK 1.0");
    EXPECT_TRUE(DecodePrimaryVolumeDescriptor(d->data(), d->size())->hasPlayOkMark);

    for (const auto& [at, value] : {std::pair<size_t, uint8_t>{87, uint8_t((*d)[87] ^ 1)}, {0, 2}}) {
        VolumeDescriptorSector damaged = *d;
        damaged[at] = value;  // a size whose two byte orders disagree; a wrong type
        EXPECT_FALSE(DecodePrimaryVolumeDescriptor(damaged.data(), damaged.size(), &error)) << at;
    }
    EXPECT_FALSE(DecodePrimaryVolumeDescriptor(d->data(), 2047, &error));
    EXPECT_FALSE(IsVolumeDescriptorSetTerminator(d->data(), d->size()));
}

}  // namespace
}  // namespace qorvcd
