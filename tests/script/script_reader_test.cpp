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

// The search every FindSection makes, written out plainly: from the start,
// token by token, up to the name, "ENDFILE" or the end of the file.
struct SearchResult {
    int found = 0;
    int line = 0;
    size_t messages = 0;  // words rejected on the way
    int rejectLine = 0;   // the last of them; 0 when there was none
    bool rejectNoted = false;  // a reason is kept for it
    std::string after;    // the token read next
    bool operator==(const SearchResult&) const = default;
};
void PrintTo(const SearchResult& r, std::ostream* os) {
    *os << "found " << r.found << " line " << r.line << " messages " << r.messages << " rejectLine " << r.rejectLine
        << (r.rejectNoted ? " noted" : "") << " after " << r.after;
}

// What a reader shows after a search: `messages` counts what was shown during
// it. The line of a rejected word is compared when the search passed one, or
// when the reader searched nothing before (a word rejected by an earlier
// search stays noted).
SearchResult AfterSearch(ScriptReader& reader, int found, size_t messages, bool fresh) {
    const bool compared = messages || fresh;
    SearchResult r{found, reader.TokenLine(), messages, compared ? reader.RejectLine() : 0,
                   compared && !reader.RejectReason().empty(), {}};
    const char* next = reader.NextTokenUpper();
    r.after = next ? next : "<null>";
    return r;
}

SearchResult PlainSearch(const std::string& path, const std::string& name) {
    size_t messages = 0;
    ScriptReader reader([&](const std::string&) { ++messages; });
    EXPECT_TRUE(reader.OpenScript(path));
    int found = 0;
    for (const char* t = reader.NextTokenUpper();; t = reader.NextTokenUpper()) {
        const std::string token = t ? t : "";
        if (token == name) {
            found = 1;
            break;
        }
        if (token == "ENDFILE" || reader.AtEnd()) break;
    }
    return AfterSearch(reader, found, messages, true);
}

TEST_F(ScriptFixture, FindSectionAnswersAsASearchFromTheStartWould) {
    // Scripts of headers, words, quotes, comments, ENDFILE and rejected words,
    // looked up in every order: the index must leave the reader exactly where
    // the plain search does, and report the rejected words it passes.
    const std::vector<std::string> pieces = {
        "[VCD]", "[TRACK]", "[PBC]", "[vcd30]", "X", "MODE=SVCD", "\"[PBC] quoted\"", "\"[ISO9660]\"", ";c [PBC]",
        "ENDFILE", std::string(300, 'w'), "\"open", "\r\n", "\n", "\t", "[TRACK]"};
    const std::vector<std::string> names = {"[VCD]", "[TRACK]", "[PBC]", "[VCD30]", "[ISO9660]", "[NONE]", "MODE",
                                            "X"};
    std::mt19937 random(77);
    for (int script = 0; script < 150; ++script) {
        std::string text;
        const int count = int(random() % 14);
        for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()] + (random() % 3 ? " " : "\r\n");
        if (random() % 2) text += "\r\n";
        const std::string path = dir_ / "search.txt";
        test::WriteText(path, text);
        size_t messages = 0;
        ScriptReader reader([&](const std::string&) { ++messages; });
        ASSERT_TRUE(reader.OpenScript(path));
        for (int lookup = 0; lookup < 12; ++lookup) {
            const std::string name = names[random() % names.size()];
            const size_t before = messages;
            const int found = reader.FindSection(name.c_str());
            const SearchResult got = AfterSearch(reader, found, messages - before, lookup == 0);
            ASSERT_EQ(got, PlainSearch(path, name)) << testing::PrintToString(text) << " " << name;
        }
    }
}

TEST_F(ScriptFixture, LargeScriptsAreReadOnceAndScannedInLinearTime) {
    // One long line of short tokens with a section every few hundred bytes,
    // each looked up, last first, and read to its next header.
    constexpr int kSections = 3000;
    std::string text;
    for (int s = 0; s < kSections; ++s) {
        text += "[S" + std::to_string(s) + "] K" + std::to_string(s) + " = V";
        for (int w = 0; w < 60; ++w) text += " A";
        text += ' ';
    }
    text += "\r\n";
    ScriptReader& reader = Open(text);
    const uint64_t size = text.size();
    for (int s = kSections - 1; s >= 0; --s) {
        ASSERT_EQ(reader.FindSection(("[S" + std::to_string(s) + "]").c_str()), 1) << s;
        ASSERT_STREQ(reader.NextTokenUpper(), ("K" + std::to_string(s)).c_str());
    }
    EXPECT_EQ(reader.FindSection("[ABSENT]"), 0);
    while (!reader.AtEnd()) reader.NextToken();
    EXPECT_EQ(reader.TokenLine(), 1);
    EXPECT_EQ(reader.FileBytesRead(), size);
    // One pass for the index and one for the reading to the end; a search
    // from the start per lookup would scan about kSections / 2 times the text.
    EXPECT_LE(reader.BytesScanned(), 3 * size);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(ScriptFixture, SectionsBeyondWhatTheIndexKeepsAreStillFound) {
    const size_t headers = ScriptReader::kMaxIndexedHeaders + 10;
    std::string text;
    for (size_t n = 0; n < headers; ++n) text += "[H" + std::to_string(n) + "] V" + std::to_string(n) + "\r\n";
    ScriptReader& reader = Open(text + "[H5] AGAIN\r\n");
    for (size_t n : {headers - 1, size_t(5), headers - 2, size_t(0)}) {
        ASSERT_EQ(reader.FindSection(("[H" + std::to_string(n) + "]").c_str()), 1) << n;
        EXPECT_STREQ(reader.NextToken(), ("V" + std::to_string(n)).c_str());
        EXPECT_EQ(reader.TokenLine(), int(n + 1));
    }
    EXPECT_EQ(reader.FindSection("[ABSENT]"), 0);
}

TEST_F(ScriptFixture, AScriptTooLargeToTakeIsRefusedWithItsReason) {
    const std::string path = dir_ / "huge.txt";
    {
        File file;
        ASSERT_TRUE(file.Open(path, FileMode::CreateReadWrite));
        ASSERT_TRUE(file.Seek(ScriptReader::kMaxScriptSize));  // sparse: nothing is stored
        ASSERT_TRUE(file.Write("X", 1));
        ASSERT_TRUE(file.Close());
    }
    ScriptReader reader;
    EXPECT_FALSE(reader.OpenScript(path));
    EXPECT_NE(reader.OpenError().find("holds " + std::to_string(ScriptReader::kMaxScriptSize + 1) + " bytes"),
              std::string::npos)
        << reader.OpenError();
    EXPECT_EQ(reader.FileBytesRead(), 0u);
    EXPECT_STREQ(reader.NextToken(), "");
    EXPECT_FALSE(reader.OpenScript(dir_ / "missing.txt"));
    EXPECT_FALSE(reader.OpenError().empty());
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
