#include "script/script_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;
using test::WriteText;

// A reader opened on a script written from `text`, recording its messages.
class ScriptFixture : public ::testing::Test {
protected:
    ScriptReader& Open(const std::string& text) {
        const std::string path = dir_ / "script.txt";
        WriteText(path, text);
        reader_.emplace([this](const std::string& m) { messages_.push_back(m); });
        EXPECT_TRUE(reader_->OpenScript(path));
        return *reader_;
    }

    // All tokens up to the end of the file; a rejected token reads as "<null>".
    std::vector<std::string> Tokens(const std::string& text, bool upper = false) {
        ScriptReader& reader = Open(text);
        std::vector<std::string> out;
        for (int guard = 0; guard < 10000; ++guard) {
            const char* t = upper ? reader.NextTokenUpper() : reader.NextToken();
            if (t == nullptr) {
                out.push_back("<null>");
                continue;
            }
            if (*t == '\0' && reader.AtEnd()) return out;
            out.push_back(t);
        }
        ADD_FAILURE() << "reader never reached the end of the file";
        return out;
    }

    TempDir dir_;
    std::optional<ScriptReader> reader_;
    std::vector<std::string> messages_;
};

using List = std::vector<std::string>;

TEST_F(ScriptFixture, KeywordEqualsValueSplitWithOrWithoutBlanks) {
    EXPECT_EQ(Tokens("MODE=SVCD\r\n"), (List{"MODE", "=", "SVCD"}));
    EXPECT_EQ(Tokens("MODE = SVCD\r\n"), (List{"MODE", "=", "SVCD"}));
    EXPECT_EQ(Tokens("\t MODE\t=\tSVCD \r\n"), (List{"MODE", "=", "SVCD"}));
    EXPECT_EQ(Tokens("A==B\r\n"), (List{"A", "=", "=", "B"}));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ScriptFixture, CommentsGiveNoTokenAndRunToTheEndOfTheirLine) {
    EXPECT_EQ(Tokens("  ;a remark\r\n"), List{});
    EXPECT_EQ(Tokens("[VCD] ; MODE = CVD\r\nALBUM = X\r\n"), (List{"[VCD]", "ALBUM", "=", "X"}));
    // A comment far longer than one read is skipped whole, on every line-end style.
    const std::string remark(700, 'x');
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        EXPECT_EQ(Tokens(";" + remark + " MODE = CVD" + eol + "NEXT" + eol), (List{"NEXT"})) << eol;
    }
    // A semicolon inside a word belongs to the word.
    EXPECT_EQ(Tokens("A;B\r\n"), (List{"A;B"}));
}

TEST_F(ScriptFixture, QuotedTextKeepsBlanksTurnsTabsToBlanksAndCaseFollowsTheCall) {
    EXPECT_EQ(Tokens("ALBUM = \"My\tHoliday Disc\"\r\n"), (List{"ALBUM", "=", "My Holiday Disc"}));
    EXPECT_EQ(Tokens("ALBUM = \"My\tHoliday Disc\"\r\n", true),
              (List{"ALBUM", "=", "MY HOLIDAY DISC"}));
    // The quotes delimit the token even with no blank after them.
    EXPECT_EQ(Tokens("\"a=b\"=c\r\n"), (List{"a=b", "=", "c"}));
    // A quoted text may hold a semicolon, and 255 characters exactly.
    const std::string longest(255, 'q');
    EXPECT_EQ(Tokens("\"x;y\" \"" + longest + "\"\r\n"), (List{"x;y", longest}));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ScriptFixture, EmptyQuotesGiveAnEmptyTokenAndReadingGoesOn) {
    ScriptReader& reader = Open("A = \"\" B\r\n");
    EXPECT_STREQ(reader.NextToken(), "A");
    EXPECT_STREQ(reader.NextToken(), "=");
    EXPECT_STREQ(reader.NextToken(), "");
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_STREQ(reader.NextToken(), "B");
}

TEST_F(ScriptFixture, CrLfLfAndLoneCrFilesReadAlike) {
    const List expected{"[VCD]", "MODE", "=", "SVCD", "ALBUM", "=", "two words", "ENDFILE"};
    for (const char* eol : {"\r\n", "\n", "\r", "\n\r\n"}) {
        const std::string e = eol;
        const std::string text =
            "[VCD]" + e + "MODE=SVCD" + e + "ALBUM = \"two words\"" + e + e + "ENDFILE" + e;
        EXPECT_EQ(Tokens(text), expected) << "line end " << testing::PrintToString(e);
    }
}

TEST_F(ScriptFixture, LastWordAtEndOfFileIsAToken) {
    EXPECT_EQ(Tokens("MODE = SVCD"), (List{"MODE", "=", "SVCD"}));
    EXPECT_TRUE(messages_.empty());
    // After the end every read gives the empty token again.
    ScriptReader& reader = Open("END");
    EXPECT_STREQ(reader.NextToken(), "END");
    EXPECT_STREQ(reader.NextToken(), "");
    EXPECT_STREQ(reader.NextToken(), "");
    EXPECT_TRUE(reader.AtEnd());
}

TEST_F(ScriptFixture, WordsOf256CharactersOrMoreAreRejectedOnce) {
    const std::string fits(255, 'w');
    EXPECT_EQ(Tokens(fits + "\r\nNEXT\r\n"), (List{fits, "NEXT"}));
    EXPECT_EQ(Tokens(fits), (List{fits}));  // also when it ends the file
    EXPECT_TRUE(messages_.empty());

    ScriptReader& reader = Open(std::string(256, 'w') + "\r\nNEXT\r\n");
    EXPECT_EQ(reader.NextToken(), nullptr);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], "TOKEN too bigs");
    EXPECT_NE(reader.RejectReason().find("255"), std::string::npos);
    // Reading goes on after the bytes examined and reaches the next line.
    const char* t = reader.NextToken();
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t, "NEXT");
}

TEST_F(ScriptFixture, QuoteThatNeverClosesIsRejectedLikeAnOverlongWord) {
    EXPECT_EQ(Tokens("ALBUM = \"no end"), (List{"ALBUM", "=", "<null>"}));
    EXPECT_EQ(messages_, (std::vector<std::string>{"TOKEN too bigs"}));
    messages_.clear();
    // A closing quote more than 255 characters on is out of reach.
    const List tokens = Tokens("\"" + std::string(300, 'a') + "\" B\r\n");
    ASSERT_FALSE(tokens.empty());
    EXPECT_EQ(tokens.front(), "<null>");
    EXPECT_FALSE(messages_.empty());
}

TEST_F(ScriptFixture, FindSectionSearchesFromTheStartInAnyOrder) {
    ScriptReader& reader = Open(
        "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\nMPEGTRACK AVSEQ01 A.MPG\r\n[PBC]\r\nX [INLINE]\r\nENDFILE\r\n"
        "[AFTER]\r\n");
    EXPECT_EQ(reader.FindSection("[PBC]"), 1);
    EXPECT_STREQ(reader.NextTokenUpper(), "X");
    EXPECT_EQ(reader.FindSection("[VCD]"), 1);
    EXPECT_STREQ(reader.NextTokenUpper(), "MODE");
    EXPECT_EQ(reader.FindSection("[TRACK]"), 1);
    EXPECT_STREQ(reader.NextTokenUpper(), "MPEGTRACK");
    // A header need not start its line.
    EXPECT_EQ(reader.FindSection("[INLINE]"), 1);
    // Absent: stops at ENDFILE (what follows it is not searched) ...
    EXPECT_EQ(reader.FindSection("[AFTER]"), 0);
    EXPECT_EQ(reader.FindSection("[VCD30]"), 0);
    // ... and, without ENDFILE, at the end of the file.
    ScriptReader& other = Open("[vcd]\r\nMODE=CVD");
    EXPECT_EQ(other.FindSection("[VCD]"), 1);  // tokens are compared upper-cased
    EXPECT_EQ(other.FindSection("[VCD20]"), 0);
    EXPECT_EQ(other.FindSection("[VCD]"), 1);
}

TEST_F(ScriptFixture, ClosedOrMissingFilesReadAsEmpty) {
    ScriptReader reader;
    EXPECT_FALSE(reader.OpenScript(dir_ / "missing.txt"));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_STREQ(reader.NextToken(), "");
    EXPECT_EQ(reader.FindSection("[VCD]"), 0);
    ScriptReader& open = Open("A B");
    open.CloseScript();
    EXPECT_FALSE(open.IsOpen());
    EXPECT_STREQ(open.NextToken(), "");
    open.CloseScript();  // twice is harmless
}

// Reads a whole binary file token by token; it must end, and never read
// more tokens than there are bytes.
void ExpectBinaryFileEnds(const std::string& path) {
    ScriptReader reader([](const std::string&) {});
    ASSERT_TRUE(reader.OpenScript(path));
    const size_t size = test::ReadBytes(path).size();
    size_t reads = 0;
    for (;;) {
        const char* t = reader.NextToken();
        ++reads;
        ASSERT_LE(reads, size + 1) << "reader loops on " << path;
        if (t != nullptr && *t == '\0' && reader.AtEnd()) break;
    }
    EXPECT_EQ(reader.FindSection("[VCD]"), 0);
}

TEST_F(ScriptFixture, BinaryFilesEndWithoutCrashOrLoop) {
    std::mt19937 random(1234);
    std::vector<uint8_t> noise(20000);
    for (uint8_t& b : noise) b = uint8_t(random());
    // Stretches of NUL bytes, quotes and semicolons in the noise.
    for (size_t i = 1000; i < 3000; ++i) noise[i] = 0;
    for (size_t i = 5000; i < 5400; ++i) noise[i] = i % 2 ? '"' : ';';
    test::WriteBytes(dir_ / "noise.bin", noise);
    ExpectBinaryFileEnds(dir_ / "noise.bin");
    test::WriteBytes(dir_ / "zeros.bin", std::vector<uint8_t>(5000, 0));
    ExpectBinaryFileEnds(dir_ / "zeros.bin");
    // A real program file.
    ExpectBinaryFileEnds("/proc/self/exe");
}

TEST_F(ScriptFixture, NulBytesSeparateWordsInsteadOfEndingTheFile) {
    EXPECT_EQ(Tokens(std::string("A\0\0B", 4)), (List{"A", "B"}));
}

}  // namespace
}  // namespace qorvcd
