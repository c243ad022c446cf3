// The primary volume descriptor of a standard disc: the standard system
// identifier and the volume dates from the build's clock, both of which the
// script's [ISO9660] keys still replace.
#include <gtest/gtest.h>

#include <string>

#include "core/build_context.h"
#include "iso9660/volume_descriptor.h"
#include "platform/clock.h"
#include "script/script_reader.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

constexpr std::time_t kFifthOfMarch = 1772714096;  // 2026-03-05 12:34:56 UTC

std::string Text(const auto& field) { return std::string(field.begin(), field.end()); }

std::optional<PrimaryVolumeDescriptor> Build(bool standard, const std::string& script) {
    test::TempDir dir;
    test::WriteText(dir / "disc.txt", script);
    BuildContext ctx;
    ctx.kind = DiscKind::Svcd;
    ctx.standard = standard;
    ctx.clock = Clock::Fixed(kFifthOfMarch);
    ScriptReader reader;
    EXPECT_TRUE(reader.OpenScript(dir / "disc.txt"));
    return BuildPrimaryVolumeDescriptor(&reader, ctx);
}

TEST(StandardDescriptor, VolumeDatesAreUniversalTimeInTheSeventeenByteForm) {
    EXPECT_EQ(Text(VolumeDateOf({2026, 3, 5, 12, 34, 56, 4})),
              std::string("2026030512345600") + '\0');
    EXPECT_EQ(Text(VolumeDateOf({1999, 12, 31, 23, 59, 59, 0})),
              std::string("1999123123595900") + '\0');
    // Beyond four digits of year the date stays at the last year it can name.
    EXPECT_EQ(Text(VolumeDateOf({12026, 1, 2, 3, 4, 5, 0})).substr(0, 4), "9999");
}

TEST(StandardDescriptor, IdentifierAndDatesOfTheStandardUnlessTheScriptGivesThem) {
    const auto standard = Build(true, "[VCD]\r\nMODE = SVCD\r\n");
    ASSERT_TRUE(standard);
    EXPECT_EQ(Text(standard->systemId), "CD-RTOS CD-BRIDGE" + std::string(15, ' '));
    EXPECT_EQ(Text(standard->creationDate), std::string("2026030512345600") + '\0');
    EXPECT_EQ(standard->modificationDate, standard->creationDate);
    EXPECT_EQ(Text(standard->effectiveDate),
              std::string(16, '0') + '\0');  // unset, in the standard's form
    EXPECT_EQ(standard->expirationDate, PrimaryVolumeDescriptor::Date{});

    const auto own = Build(false, "[VCD]\r\nMODE = SVCD\r\n");
    ASSERT_TRUE(own);
    EXPECT_EQ(Text(own->systemId), "S_VCD30 DISC of Dovrane" + std::string(9, ' '));
    for (const auto* date : {&own->creationDate, &own->modificationDate, &own->effectiveDate}) {
        EXPECT_EQ(Text(*date), std::string(17, '0'));
    }

    const auto keyed =
        Build(true, "[ISO9660]\r\nSYSTEMID = MINE\r\nCREATION_DATE = 2001020304050600\r\n");
    ASSERT_TRUE(keyed);
    EXPECT_EQ(Text(keyed->systemId), "MINE" + std::string(28, ' '));
    EXPECT_EQ(Text(keyed->creationDate), std::string("2001020304050600") + '\0');
    EXPECT_EQ(Text(keyed->modificationDate), std::string("2026030512345600") + '\0');
}

}  // namespace
}  // namespace qorvcd
