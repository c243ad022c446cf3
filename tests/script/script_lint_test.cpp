// Lines of tokens, and the mistakes the build passes over told at their line.
#include "script/script_lint.h"

#include <gtest/gtest.h>

#include "script/script_reader.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

// Each token of `text` with the line the reader gives it.
std::vector<std::pair<std::string, int>> TokenLines(const std::string& text) {
    test::TempDir dir;
    test::WriteText(dir / "s.txt", text);
    ScriptReader reader;
    EXPECT_TRUE(reader.OpenScript(dir / "s.txt"));
    std::vector<std::pair<std::string, int>> out;
    for (const char* t = reader.NextToken(); t && *t; t = reader.NextToken()) out.push_back({t, reader.TokenLine()});
    return out;
}

TEST(ScriptLines, EveryLineEndCountsOnceAndCommentsAndQuotesKeepTheirLine) {
    using Tokens = std::vector<std::pair<std::string, int>>;
    const struct {
        const char* name;
        std::string text;
        Tokens expected;
    } cases[] = {
        {"CR LF", "A\r\nB\r\n\r\nC", {{"A", 1}, {"B", 2}, {"C", 4}}},
        {"LF", "A\nB\n\nC\n", {{"A", 1}, {"B", 2}, {"C", 4}}},
        {"lone CR", "A\rB\r\rC", {{"A", 1}, {"B", 2}, {"C", 4}}},
        {"mixed", "A\r\n\nB\r\rC", {{"A", 1}, {"B", 3}, {"C", 5}}},
        {"comment", "; a comment = with words\r\nKEY = \"a value\" ; more\r\nNEXT",
         {{"KEY", 2}, {"=", 2}, {"a value", 2}, {"NEXT", 3}}},
        {"blank start", "\r\n\r\n   \tX", {{"X", 3}}},
    };
    for (const auto& c : cases) EXPECT_EQ(TokenLines(c.text), c.expected) << c.name;
}

TEST(ScriptLines, AWordThatSpansAChunkKeepsTheLineItStartsOn) {
    const std::string text = std::string(300, '\n') + "WORD\n" + std::string(700, ' ') + "LAST";
    const auto tokens = TokenLines(text);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].second, 301);
    EXPECT_EQ(tokens[1].second, 302);
}

TEST(NearestKeyword, SuggestsOnlyNearMisses) {
    const std::vector<std::string_view> keys = {"ALBUM", "VERSION", "VOLUME", "ANZVOL", "MODE"};
    const struct {
        const char* word;
        const char* expected;
    } cases[] = {
        {"ALBUMM", "ALBUM"}, {"VERSOIN", "VERSION"}, {"VOLUMES", "VOLUME"}, {"MDOE", "MODE"},
        {"PUBLISHER", ""},   {"X", ""},              {"ALBUM", "ALBUM"},
    };
    for (const auto& c : cases) EXPECT_EQ(NearestKeyword(c.word, keys), c.expected) << c.word;
    EXPECT_EQ(NearestKeyword("[PCB]", {"[VCD]", "[TRACK]", "[PBC]"}), "[PBC]");
}

struct Expected {
    int line;
    std::string text;  // a part of the warning
};

std::vector<Diagnostic> Lint(const std::vector<std::string>& lines, DiscKind kind) {
    test::TempDir dir;
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    test::WriteText(dir / "disc.txt", text);
    std::vector<Diagnostic> out;
    LintScript(dir / "disc.txt", {kind, "disc.txt"}, [&](const Diagnostic& d) { out.push_back(d); });
    return out;
}

TEST(ScriptLint, EachMistakeIsOneWarningAtItsLine) {
    // Line 1 is [VCD]; line 2 is VERSION unless a case replaces it.
    const struct {
        const char* name;
        DiscKind kind;
        std::vector<std::string> lines;
        std::vector<Expected> expected;
    } cases[] = {
        {"a correct SVCD", DiscKind::Svcd,
         {"[VCD]", "VERSION = 1.0", "MODE = SVCD", "ALBUM = \"A B\"", "[TRACK]", "MPEGTRACK AVSEQ01 A.MPS PAL AUDIO 2 TIME 3",
          "[PBC]", "SEGMENT", "SEGA = A.BMP AUDIO 0 VIDEO 20", "ENDSEGMENT",
          "SELECTION M PREVIOUS NONE DEFAULT P WAIT 5 LOOP 1 JUMP COMPLETE PLAYITEM SEGA ITEMS 1 P ENDITEMS ENDSELECT",
          "PLAYLIST P RETURN M WAIT 0 PLAY AVSEQ01 FROM 1.0 TO 2 ENDPLAYLIST", "STOPLIST S 1 SEGA", "STARTLIST M",
          "[ISO9660]", "VOLUME_ID = X", "[VCD30]", "FOLDER \\DOCS", "ENDFOLDER"},
         {}},
        {"misspelt album key", DiscKind::Svcd, {"[VCD]", "VERSION = 1.0", "ALBUMM = \"X\""}, {{3, "ALBUMM in [VCD] (did you mean ALBUM?)"}}},
        {"misspelt section", DiscKind::Svcd, {"[VCD]", "VERSION = 1.0", "[PCB]", "PLAYLIST A PLAY B ENDPLAYLIST"},
         {{3, "unknown section [PCB] (did you mean [PBC]?)"}}},
        {"MODE that names no kind", DiscKind::Svcd, {"[VCD]", "VERSION = 1.0", "MODE = DVD"}, {{3, "MODE DVD is not a disc kind"}}},
        {"MODE VCD2", DiscKind::Svcd, {"[VCD]", "VERSION = 1.0", "MODE = VCD2"}, {{3, "MODE VCD2"}}},
        {"VCD30 kind named by MODE", DiscKind::Vcd30, {"[VCD]", "VERSION = 2.0", "MODE = VCD30"}, {}},
        {"no VERSION", DiscKind::Svcd, {"[VCD]", "ALBUM = X"}, {{0, "no VERSION"}}},
        {"SVCD with VERSION 2.0", DiscKind::Svcd, {"[VCD]", "VERSION = 2.0"}, {{2, "wants VERSION = 1.0"}}},
        {"Video CD with menus and 1.1", DiscKind::Vcd30, {"[VCD]", "VERSION = 1.1", "[PBC]"}, {{2, "wants VERSION = 2.0"}}},
        {"Video CD without menus", DiscKind::Vcd30, {"[VCD]", "VERSION = 1.1"}, {}},
        {"misspelt track line", DiscKind::Svcd,
         {"[VCD]", "VERSION = 1.0", "[TRACK]", "MPEGTRACK AVSEQ01 A.MPS PAL AUDIO 2 TIME 3", "MPEGTRAK AVSEQ02 B.MPS"},
         {{5, "MPEGTRAK in [TRACK] (did you mean MPEGTRACK?); the track list ends here"}}},
        {"misspelt clause", DiscKind::Svcd,
         {"[VCD]", "VERSION = 1.0", "[PBC]", "PLAYLIST P PREVIUOS NONE", "PLAY AVSEQ01 ENDPLAYLIST"},
         {{4, "PREVIUOS in a PLAYLIST (did you mean PREVIOUS?)"}}},
        {"misspelt end of a selection", DiscKind::Svcd,
         {"[VCD]", "VERSION = 1.0", "[PBC]", "SELECTION M PLAYITEM SEGA ITEMS 1 P ENDITEMS", "ENDSELCT"},
         {{5, "ENDSELCT in a SELECTION (did you mean ENDSELECT?)"}}},
        {"unknown statement", DiscKind::Svcd, {"[VCD]", "VERSION = 1.0", "[PBC]", "PLAYLST P"},
         {{4, "PLAYLST in [PBC] (did you mean PLAYLIST?)"}}},
        {"volume key", DiscKind::Svcd, {"[VCD]", "VERSION = 1.0", "[ISO9660]", "VOLUMEID = X"},
         {{4, "VOLUMEID in [ISO9660] (did you mean VOLUME_ID?)"}}},
        {"after ENDFILE nothing is read", DiscKind::Svcd, {"[VCD]", "VERSION = 1.0", "ENDFILE", "[PCB]"}, {}},
    };
    for (const auto& c : cases) {
        const std::vector<Diagnostic> got = Lint(c.lines, c.kind);
        ASSERT_EQ(got.size(), c.expected.size()) << c.name << (got.empty() ? "" : ": " + FormatDiagnostic(got[0]));
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].severity, Severity::Warning) << c.name;
            EXPECT_EQ(got[i].file, "disc.txt") << c.name;
            EXPECT_EQ(got[i].line, c.expected[i].line) << c.name;
            EXPECT_NE(got[i].text.find(c.expected[i].text), std::string::npos) << c.name << ": " << got[i].text;
        }
    }
}

TEST(ScriptLint, DiagnosticsReadAsCompilerMessages) {
    EXPECT_EQ(FormatDiagnostic({"a/disc.txt", 9, Severity::Error, "Missing AUDIO"}), "a/disc.txt:9: error: Missing AUDIO");
    EXPECT_EQ(FormatDiagnostic({"disc.txt", 0, Severity::Warning, "no VERSION"}), "disc.txt: warning: no VERSION");
}

}  // namespace
}  // namespace qorvcd
