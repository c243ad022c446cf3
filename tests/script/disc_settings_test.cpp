#include "script/disc_settings.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/build_context.h"
#include "platform/log_list.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

TEST(DiscMode, OnlyTheFirstRecognisedModeOfTheVcdSectionDecides) {
    const std::pair<std::string, int> cases[] = {
        {"[VCD]\r\nMODE = SVCD\r\n", 1},
        {"[VCD]\r\nMODE=CVD\r\n", 2},
        {"[vcd]\nalbum = \"x\"\nmode = supervcd\n", 3},
        {"[VCD]\r\nMODE = \"cvd\"\r\n", 2},
        {"[VCD]\r\nMODE = VCD30\r\nMODE = CVD\r\n", 2},  // unknown values are passed over
        {"[VCD]\r\nMODE = SVCD\r\nMODE = CVD\r\n", 1},
        {"[VCD]\r\nMODE = VCD30\r\n", -1},
        {"[TRACK]\r\nMODE = SVCD\r\n", -1},
        {"[VCD]\r\nALBUM = A\r\n[TRACK]\r\nMODE = SVCD\r\n", -1},
        {"[VCD]\r\nMODE =\r\n[SVCD]\r\nMODE = SVCD\r\n", -1},
        {"", -1},
    };
    test::TempDir dir;
    for (const auto& [script, mode] : cases) {
        test::WriteText(dir / "disc.scr", script);
        EXPECT_EQ(ReadDiscMode(dir / "disc.scr", {}), mode) << script;
    }
    EXPECT_EQ(ReadDiscMode(dir / "absent.scr", {}), -1);
    // A rejected token ends the search.
    std::vector<std::string> messages;
    test::WriteText(dir / "disc.scr", "[VCD]\r\n" + std::string(300, 'Z') + "\r\nMODE = SVCD\r\n");
    EXPECT_EQ(ReadDiscMode(dir / "disc.scr", [&](const std::string& m) { messages.push_back(m); }), -1);
    EXPECT_EQ(messages, (std::vector<std::string>{"TOKEN too bigs"}));
}

TEST(EntryId, ReadFromTheVcd20SectionPaddedOrCut) {
    const std::tuple<std::string, const char*, int> cases[] = {
        {"[VCD20]\r\nENTRYID = ENTRYSVD\r\n", "ENTRYSVD", 0},
        {"[VCD30]\r\nFOLDER X\r\n[VCD20]\r\nentryid=entrysvd\r\nENDFILE\r\n", "ENTRYSVD", 0},
        {"[VCD20]\r\nOTHER = 1\r\n", "ENTRYVCD", 0},
        {"[VCD30]\r\nENTRYID = ENTRYSVD\r\n", "ENTRYVCD", 0},
        {"[VCD20]\r\nENDFILE\r\nENTRYID = ENTRYSVD\r\n", "ENTRYVCD", 0},
        {"[VCD20]\r\n[VCD30]\r\nENTRYID = ENTRYSVD\r\n", "ENTRYVCD", 0},
        {"[VCD30]\r\nENDFILE\r\nENTRYID = ENTRYSVD\r\n", "ENTRYVCD", 0},
        {"[VCD20]\r\nENTRYID = ABC\r\n", "ABC     ", 0},
        {"[VCD20]\r\nENTRYID = ENTRYSVDX\r\n", "ENTRYSVD", 1},  // cut, with a log line
        {"[VCD20]\r\nENTRYID = \"\"\r\n", "ENTRYVCD", 0},
    };
    test::TempDir dir;
    const std::string path = dir / "SUPERVCD.CFG";
    for (const auto& [settings, expected, logLines] : cases) {
        test::WriteText(path, settings);
        LogList log;
        BuildContext ctx;
        ctx.log = &log;
        char id[8];
        std::memcpy(id, "ENTRYVCD", 8);
        ReadEntryIdentifier(path, ctx, id);
        EXPECT_EQ(std::string(id, 8), expected) << settings;
        EXPECT_EQ(log.Count(), logLines) << settings;
        if (logLines) {
            EXPECT_NE(log.Last().find("8"), std::string::npos) << log.Last();
        }
    }
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    char id[8];
    std::memcpy(id, "ENTRYVCD", 8);
    ReadEntryIdentifier(dir / "absent.cfg", ctx, id);
    EXPECT_EQ(std::string(id, 8), "ENTRYVCD");
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"Can't open " + dir / "absent.cfg"});
}

}  // namespace
}  // namespace qorvcd
