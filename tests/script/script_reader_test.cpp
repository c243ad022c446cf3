#include "script/script_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <random>

#include "platform/file_faults.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using List = std::vector<std::string>;

// A reader opened on a script written from `text`, recording its messages.
class ScriptFixture : public ::testing::Test {
protected:
    ScriptReader& Open(const std::string& text) {
        test::WriteText(dir_ / "script.txt", text);
        reader_.emplace([this](const std::string& m) { messages_.push_back(m); });
        EXPECT_TRUE(reader_->OpenScript(dir_ / "script.txt"));
        return *reader_;
    }
    // All tokens up to the end of the file; a rejected token reads as "<null>".
    List Tokens(const std::string& text, bool upper = false) {
        ScriptReader& reader = Open(text);
        List out;
        for (int guard = 0; guard < 10000; ++guard) {
            const char* t = upper ? reader.NextTokenUpper() : reader.NextToken();
            if (t == nullptr) {
                out.push_back("<null>");
            } else if (*t == '\0' && reader.AtEnd()) {
                return out;
            } else {
                out.push_back(t);
            }
        }
        ADD_FAILURE() << "reader never reached the end of the file";
        return out;
    }
    test::TempDir dir_;
    std::optional<ScriptReader> reader_;
    List messages_;
};

TEST_F(ScriptFixture, Tokenising) {
    const std::string longest(255, 'q');
    const std::pair<std::string, List> cases[] = {
        {"MODE=SVCD\r\n", {"MODE", "=", "SVCD"}},
        {"\t MODE\t=\tSVCD \r\n", {"MODE", "=", "SVCD"}},
        {"A==B\r\n", {"A", "=", "=", "B"}},
        {"MODE = SVCD", {"MODE", "=", "SVCD"}},  // last word at the end of the file
        {"  ;a remark\r\n", {}},
        {"[VCD] ; MODE = CVD\r\nALBUM = X\r\n", {"[VCD]", "ALBUM", "=", "X"}},
        {"A;B\r\n", {"A;B"}},
        {"ALBUM = \"My\tHoliday Disc\"\r\n", {"ALBUM", "=", "My Holiday Disc"}},
        {"\"a=b\"=c\r\n", {"a=b", "=", "c"}},
        {"\"x;y\" \"" + longest + "\"\r\n", {"x;y", longest}},
        {longest, {longest}},
        {"A = \"\" B\r\n", {"A", "=", "", "B"}},
        {std::string("A\0\0B", 4), {"A", "B"}},  // NUL separates words
    };
    for (const auto& [text, tokens] : cases) EXPECT_EQ(Tokens(text), tokens) << text;
    EXPECT_EQ(Tokens("ALBUM = \"My Disc\"\r\n", true), (List{"ALBUM", "=", "MY DISC"}));
    // A comment longer than one read is skipped whole, on every line-end style.
    for (const std::string eol : {"\r\n", "\n", "\r", "\n\r\n"}) {
        EXPECT_EQ(Tokens(";" + std::string(700, 'x') + " MODE = CVD" + eol + "[VCD]" + eol + "ALBUM = \"two words\"" +
                         eol + eol + "ENDFILE" + eol),
                  (List{"[VCD]", "ALBUM", "=", "two words", "ENDFILE"}))
            << testing::PrintToString(eol);
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ScriptFixture, OverlongWordsAndUnclosedQuotesAreRejectedOnce) {
    ScriptReader& reader = Open(std::string(256, 'w') + "\r\nNEXT\r\n");
    EXPECT_EQ(reader.NextToken(), nullptr);
    EXPECT_EQ(messages_, (List{"TOKEN too bigs"}));
    EXPECT_NE(reader.RejectReason().find("255"), std::string::npos);
    const char* t = reader.NextToken();  // reading goes on to the next line
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t, "NEXT");

    messages_.clear();
    EXPECT_EQ(Tokens("ALBUM = \"no end"), (List{"ALBUM", "=", "<null>"}));
    EXPECT_EQ(messages_, (List{"TOKEN too bigs"}));
    const List far = Tokens("\"" + std::string(300, 'a') + "\" B\r\n");
    ASSERT_FALSE(far.empty());
    EXPECT_EQ(far.front(), "<null>");
}

TEST_F(ScriptFixture, FindSectionSearchesFromTheStartUpToEndfile) {
    ScriptReader& reader = Open(
        "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\nMPEGTRACK A\r\n[PBC]\r\nX [INLINE]\r\nENDFILE\r\n[AFTER]\r\n");
    EXPECT_EQ(reader.FindSection("[PBC]"), 1);
    EXPECT_STREQ(reader.NextTokenUpper(), "X");
    EXPECT_EQ(reader.FindSection("[VCD]"), 1);
    EXPECT_STREQ(reader.NextTokenUpper(), "MODE");
    EXPECT_EQ(reader.FindSection("[INLINE]"), 1);  // a header need not start its line
    EXPECT_EQ(reader.FindSection("[AFTER]"), 0);
    ScriptReader& other = Open("[vcd]\r\nMODE=CVD");
    EXPECT_EQ(other.FindSection("[VCD20]"), 0);
    EXPECT_EQ(other.FindSection("[VCD]"), 1);

    // Closed or missing files read as empty.
    other.CloseScript();
    EXPECT_FALSE(other.IsOpen());
    EXPECT_STREQ(other.NextToken(), "");
    other.CloseScript();
    ScriptReader missing;
    EXPECT_FALSE(missing.OpenScript(dir_ / "missing.txt"));
    EXPECT_STREQ(missing.NextToken(), "");
    EXPECT_EQ(missing.FindSection("[VCD]"), 0);
}

TEST_F(ScriptFixture, BinaryFilesEndWithoutCrashOrLoop) {
    std::mt19937 random(1234);
    std::vector<uint8_t> noise(20000);
    for (uint8_t& b : noise) b = uint8_t(random());
    for (size_t i = 1000; i < 3000; ++i) noise[i] = 0;
    for (size_t i = 5000; i < 5400; ++i) noise[i] = i % 2 ? '"' : ';';
    for (const auto& bytes : {noise, std::vector<uint8_t>(5000, 0)}) {
        test::WriteBytes(dir_ / "bin", bytes);
        ScriptReader reader([](const std::string&) {});
        ASSERT_TRUE(reader.OpenScript(dir_ / "bin"));
        size_t reads = 0;
        for (;;) {
            const char* t = reader.NextToken();
            ASSERT_LE(++reads, bytes.size() + 1) << "reader loops";
            if (t != nullptr && *t == '\0' && reader.AtEnd()) break;
        }
        EXPECT_EQ(reader.FindSection("[VCD]"), 0);
    }
}

// A script is read whole at the open: a read that fails there fails the open
// with its reason, and no token comes from half a script afterwards.
TEST_F(ScriptFixture, AScriptThatCannotBeReadWholeDoesNotOpen) {
    test::WriteText(dir_ / "script.txt", "[VCD]\r\nMODE = SVCD\r\n");
    for (const FileOp failing : {FileOp::Open, FileOp::Measure, FileOp::Read}) {
        FileFaultPlan plan;
        plan.FailOperation(failing == FileOp::Open ? 1 : failing == FileOp::Measure ? 2 : 3, EIO);
        ScriptReader reader;
        bool opened;
        {
            ScopedFileFaultPlan scope(plan);
            opened = reader.OpenScript(dir_ / "script.txt");
        }
        EXPECT_EQ(plan.FailedOperation(), failing);
        EXPECT_FALSE(opened) << FileOpName(failing);
        EXPECT_NE(reader.OpenError().find("Input/output error"), std::string::npos) << reader.OpenError();
        EXPECT_STREQ(reader.NextToken(), "");
        EXPECT_TRUE(reader.AtEnd());
    }
    // Once open, the file itself may go: the tokens come from what was read.
    ScriptReader& reader = Open("[VCD]\r\nMODE = SVCD\r\n");
    std::remove((dir_ / "script.txt").c_str());
    EXPECT_EQ(reader.FindSection("[VCD]"), 1);
    EXPECT_STREQ(reader.NextTokenUpper(), "MODE");
}

}  // namespace
}  // namespace qorvcd
