#include "script/disc_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/log_list.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;
using test::WriteText;

class DiscModeTest : public ::testing::Test {
protected:
    int ModeOf(const std::string& script) {
        const std::string path = dir_ / "disc.scr";
        WriteText(path, script);
        return ReadDiscMode(path, [this](const std::string& m) { messages_.push_back(m); });
    }
    TempDir dir_;
    std::vector<std::string> messages_;
};

TEST_F(DiscModeTest, RecognisedModesInAnyCase) {
    EXPECT_EQ(ModeOf("[VCD]\r\nMODE = SVCD\r\n"), 1);
    EXPECT_EQ(ModeOf("[VCD]\r\nMODE=CVD\r\n"), 2);
    EXPECT_EQ(ModeOf("[VCD]\r\nMODE = SUPERVCD\r\n"), 3);
    EXPECT_EQ(ModeOf("[vcd]\nalbum = \"x\"\nmode = supervcd\n"), 3);
    EXPECT_EQ(ModeOf("[VCD]\r\nMODE = \"cvd\"\r\n"), 2);
}

TEST_F(DiscModeTest, NoRecognisedModeLeavesTheFallback) {
    EXPECT_EQ(ModeOf("[VCD]\r\nALBUM = X\r\n[TRACK]\r\n"), -1);
    EXPECT_EQ(ModeOf("[VCD]\r\nMODE = VCD30\r\n"), -1);
    EXPECT_EQ(ModeOf("[TRACK]\r\nMODE = SVCD\r\n"), -1);  // no [VCD] section
    EXPECT_EQ(ModeOf(""), -1);
    EXPECT_EQ(ReadDiscMode(dir_ / "absent.scr", {}), -1);
}

TEST_F(DiscModeTest, OnlyTheVcdSectionDecides) {
    // An unknown value is passed over: a later MODE line of the section decides.
    EXPECT_EQ(ModeOf("[VCD]\r\nMODE = VCD30\r\nMODE = CVD\r\n"), 2);
    // A MODE in a later section is not seen, nor one whose value is the next header.
    EXPECT_EQ(ModeOf("[VCD]\r\nALBUM = A\r\n[TRACK]\r\nMODE = SVCD\r\n"), -1);
    EXPECT_EQ(ModeOf("[VCD]\r\nMODE =\r\n[SVCD]\r\nMODE = SVCD\r\n"), -1);
    // The first recognised MODE wins.
    EXPECT_EQ(ModeOf("[VCD]\r\nMODE = SVCD\r\nMODE = CVD\r\n"), 1);
}

TEST_F(DiscModeTest, RejectedTokenEndsTheSearch) {
    EXPECT_EQ(ModeOf("[VCD]\r\n" + std::string(300, 'Z') + "\r\nMODE = SVCD\r\n"), -1);
    EXPECT_EQ(messages_, (std::vector<std::string>{"TOKEN too bigs"}));
}

class EntryIdTest : public ::testing::Test {
protected:
    std::string Read(const std::string& settings, const char* initial = "ENTRYVCD") {
        const std::string path = dir_ / "SUPERVCD.CFG";
        WriteText(path, settings);
        return ReadFrom(path, initial);
    }
    std::string ReadFrom(const std::string& path, const char* initial = "ENTRYVCD") {
        BuildContext ctx;
        ctx.log = &log_;
        char id[8];
        std::memcpy(id, initial, 8);
        ReadEntryIdentifier(path, ctx, id);
        return std::string(id, 8);
    }
    TempDir dir_;
    LogList log_;
};

TEST_F(EntryIdTest, ValueReplacesTheDefault) {
    EXPECT_EQ(Read("[VCD20]\r\nENTRYID = ENTRYSVD\r\n"), "ENTRYSVD");
    EXPECT_EQ(Read("[VCD30]\r\nFOLDER X\r\n[VCD20]\r\nentryid=entrysvd\r\nENDFILE\r\n"), "ENTRYSVD");
    EXPECT_EQ(log_.Count(), 0);
}

TEST_F(EntryIdTest, WithoutKeyOrSectionTheIdentifierStays) {
    EXPECT_EQ(Read("[VCD20]\r\nOTHER = 1\r\n"), "ENTRYVCD");
    EXPECT_EQ(Read("[VCD30]\r\nENTRYID = ENTRYSVD\r\n"), "ENTRYVCD");
    // A key after the section's ENDFILE, or in the next section, is not the section's.
    EXPECT_EQ(Read("[VCD20]\r\nENDFILE\r\nENTRYID = ENTRYSVD\r\n"), "ENTRYVCD");
    EXPECT_EQ(Read("[VCD20]\r\n[VCD30]\r\nENTRYID = ENTRYSVD\r\n"), "ENTRYVCD");
    // Without [VCD20], a key that follows some ENDFILE is not taken for it.
    EXPECT_EQ(Read("[VCD30]\r\nENDFILE\r\nENTRYID = ENTRYSVD\r\n"), "ENTRYVCD");
}

TEST_F(EntryIdTest, MissingFileIsLoggedAndChangesNothing) {
    const std::string path = dir_ / "SUPERVCD.CFG";
    EXPECT_EQ(ReadFrom(path, "ENTRYVCD"), "ENTRYVCD");
    ASSERT_EQ(log_.Count(), 1);
    EXPECT_EQ(log_.Last(), "Can't open " + path);
}

TEST_F(EntryIdTest, ShortValuesArePaddedWithBlanksLongOnesCut) {
    EXPECT_EQ(Read("[VCD20]\r\nENTRYID = ABC\r\n"), "ABC     ");
    EXPECT_EQ(log_.Count(), 0);
    EXPECT_EQ(Read("[VCD20]\r\nENTRYID = ENTRYSVDX\r\n"), "ENTRYSVD");
    ASSERT_EQ(log_.Count(), 1);
    EXPECT_NE(log_.Last().find("8"), std::string::npos);
    // An empty value leaves the identifier alone.
    EXPECT_EQ(Read("[VCD20]\r\nENTRYID = \"\"\r\n"), "ENTRYVCD");
}

}  // namespace
}  // namespace qorvcd
