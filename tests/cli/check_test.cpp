// `qorvcd check` on real media: every problem of a script with its line, the
// exit status, and nothing written.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

const KindCase& Kind(const std::string& name) {
    for (const KindCase& k : AllKinds())
        if (k.name == name) return k;
    throw std::runtime_error("no kind " + name);
}

// The whole disc of the kind, VERSION fitting it and without ANZVOL, so its
// lines are: 1 [VCD] ... 3 ALBUM, 6 [TRACK], 7 and 8 the tracks, 9 [PBC],
// 11 SEGMENU, 12 SEGCLIP, 14 SELECTION MAIN, 15 PLAY1, 16 PLAY2, 17 CLIP.
std::vector<std::string> CleanScript(const KindCase& kind) {
    std::vector<std::string> lines;
    for (const std::string& line : WholeDiscScript(kind)) {
        if (line == "ANZVOL = 1") continue;
        lines.push_back(line == "VERSION = 2.0" && !kind.vcd30 ? "VERSION = 1.0" : line);
    }
    // A Video CD 3.0 names no MODE: a comment keeps the lines where they are.
    if (kind.vcd30) lines.insert(lines.begin() + 1, "; no MODE: a Video CD 3.0");
    return lines;
}

size_t Find(const std::vector<std::string>& lines, const std::string& start) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(start, 0) == 0) return i;
    throw std::runtime_error("no line " + start);
}

using Edit = std::function<void(std::vector<std::string>&)>;

class Check : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(CliPath())) GTEST_SKIP() << "the qorvcd program is not built";
        RunCommand("mkdir -p " + Quote(dir / "tmp"));
    }
    CommandResult Run(const std::string& options) {
        return RunCommand("cd " + Quote(dir.Path()) + " && TMPDIR=" + Quote(dir / "tmp") + " " + Quote(CliPath()) +
                          " check disc.txt " + options);
    }
    // Every file with its size and time, and whatever is in the temp folder.
    std::string Listing() {
        return RunCommand("cd " + Quote(dir.Path()) + " && find . -path ./tmp -prune -o -printf '%p %s %T@\\n' | sort && ls -A tmp").output;
    }

    TempDir dir;
};

TEST_F(Check, EveryProblemIsToldAtItsLineAndNothingIsWritten) {
    const struct {
        const char* name;
        const char* kind;
        Edit edit;
        std::string options;
        int exitCode;
        std::vector<std::string> expected;  // parts of the output, in any order
    } cases[] = {
        {"a clean disc", "Svcd", [](auto&) {}, "", 0, {"disc.txt: 0 error(s), 0 warning(s)"}},
        {"a misspelt key and section", "Svcd",
         [](auto& s) {
             s[2] = "ALBUMM = \"WHOLE DISC\"";
             s[8] = "[PCB]";
         },
         "", 1, {"disc.txt:3: warning: unknown keyword ALBUMM", "disc.txt:9: warning: unknown section [PCB]"}},
        {"warnings allowed", "Svcd", [](auto& s) { s[2] = "ALBUMM = \"WHOLE DISC\""; }, "--warnings-ok", 0,
         {"disc.txt:3: warning:", "0 error(s), 1 warning(s)"}},
        {"declarations the probe contradicts", "Svcd",
         [](auto& s) { s[6] = "MPEGTRACK AVSEQ01 A.MPS NTSC AUDIO 7 TIME 999"; }, "", 1,
         {"disc.txt:7: warning: AVSEQ01 declares NTSC but A.MPS is PAL",
          "disc.txt:7: warning: AVSEQ01 declares AUDIO 7", "disc.txt:7: warning: AVSEQ01 declares TIME 999"}},
        {"a misspelt clause fails at its line", "Svcd",
         [](auto& s) {
             std::string& line = s[Find(s, "PLAYLIST PLAY1")];
             line.replace(line.find("PREVIOUS"), 8, "PREVIUOS");
         }, "", 1,
         {"disc.txt:15: error: PLAYLIST PLAY1 don't define PLAY keyword",
          "disc.txt:15: warning: unknown keyword PREVIUOS in a PLAYLIST (did you mean PREVIOUS?)"}},
        {"a missing track and a missing segment are both told", "Svcd",
         [](auto& s) {
             s[7] = "MPEGTRACK AVSEQ02 GONE.MPS PAL AUDIO 2 TIME 2";
             s[11] = "SEGCLIP = LOST.MPS AUDIO 1 VIDEO 28";
         },
         "", 1, {"disc.txt:8: error: Error 10002: File GONE.MPS is not a track format", "disc.txt:12: error: Can't open file LOST.MPS"}},
        {"a list nothing reaches", "Svcd",
         [](auto& s) { s.insert(s.begin() + 17, "PLAYLIST LOST PREVIOUS NONE NEXT NONE RETURN MAIN WAIT 0 AUTOWAIT 0 PLAY SEGCLIP ENDPLAYLIST"); }, "", 1,
         {"disc.txt:18: warning: list LOST is not reached from the start list MAIN"}},
        {"a link to no list", "Svcd", [](auto& s) {
             std::string& line = s[Find(s, "PLAYLIST PLAY2")];
             line.replace(line.find("NEXT NONE"), 9, "NEXT PLAY9");
         }, "", 1,
         {"disc.txt:16: error: Play Next: Can't find ID PLAY9"}},
        {"a MODE that names no kind", "Svcd", [](auto& s) { s[1] = "MODE = DVD"; }, "", 1,
         {"disc.txt:2: warning: MODE DVD is not a disc kind"}},
        {"an unfit VERSION", "Svcd", [](auto& s) { s[3] = "VERSION = 2.0"; }, "", 1,
         {"disc.txt:4: warning: VERSION 2.0 does not suit"}},
        {"a clean Video CD 3.0", "Vcd30", [](auto&) {}, "--vcd30", 0, {"0 error(s), 0 warning(s)"}},
        {"MPEG-2 on a Video CD 3.0", "Vcd30", [](auto&) {}, "--vcd30", 1,
         {"disc.txt:7: warning: A.MPS is an MPEG-2 stream", "disc.txt:8: warning: B.MPS is an MPEG-2 stream"}},
    };
    for (const auto& c : cases) {
        const KindCase& kind = Kind(c.kind);
        // The last Video CD case is given the SVCD kind's MPEG-2 media.
        const bool mpeg2OnVcd = std::string(c.name).find("MPEG-2") != std::string::npos;
        CopyKindMedia(mpeg2OnVcd ? Kind("Svcd") : kind, dir.Path());
        std::vector<std::string> script = CleanScript(kind);
        c.edit(script);
        WriteScript(dir / "disc.txt", script);
        const std::string before = Listing();
        const CommandResult result = Run(c.options);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name << "\n" << result.output;
        for (const std::string& part : c.expected)
            EXPECT_NE(result.output.find(part), std::string::npos) << c.name << ": no \"" << part << "\" in\n" << result.output;
        EXPECT_EQ(Listing(), before) << c.name << ": check wrote or left something";
    }
}

}  // namespace
}  // namespace qorvcd::test

namespace qorvcd::test {
namespace {

// `build` puts the place of a script's error beside its log line, and prints
// a warning with its place while the build goes on.
TEST_F(Check, BuildTellsTheLineOfAnErrorBesideItsLogLine) {
    const struct {
        const char* name;
        Edit edit;
        int exitCode;
        std::vector<std::string> expected;
        std::vector<std::string> absent;
    } cases[] = {
        {"a message box", [](auto& s) { s[6] = "MPEGTRACK AVSEQ01 A.MPS PAL TIME 3"; }, 1,
         {"disc.txt:7: error: Missing AUDIO", ">>> Fail <<<"}, {"qorvcd: Missing AUDIO"}},
        {"a log line", [](auto& s) { s[7] = "MPEGTRACK AVSEQ02 GONE.MPS PAL AUDIO 2 TIME 2"; }, 1,
         {"Error 10002: File GONE.MPS is not a track format\n", "disc.txt:8: error: Error 10002: File GONE.MPS"}, {}},
        {"only warnings", [](auto& s) { s[2] = "ALBUMM = \"X\""; }, 0,
         {"disc.txt:3: warning: unknown keyword ALBUMM in [VCD] (did you mean ALBUM?)", "Result: 0"}, {"error"}},
    };
    for (const auto& c : cases) {
        CopyKindMedia(Kind("Svcd"), dir.Path());
        std::vector<std::string> script = CleanScript(Kind("Svcd"));
        c.edit(script);
        WriteScript(dir / "disc.txt", script);
        const CommandResult result = RunCommand("cd " + Quote(dir.Path()) + " && " + Quote(CliPath()) +
                                                " build disc.txt -o disc.img --work-dir tmp");
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name << "\n" << result.output;
        for (const std::string& part : c.expected)
            EXPECT_NE(result.output.find(part), std::string::npos) << c.name << ": no \"" << part << "\" in\n" << result.output;
        for (const std::string& part : c.absent)
            EXPECT_EQ(result.output.find(part), std::string::npos) << c.name << ": \"" << part << "\" in\n" << result.output;
    }
}


// The directories are not written by a dry run, yet what they would refuse
// (a name that is not 8.3, folders too deep) is told at its line all the same.
TEST_F(Check, NamesAndNestingTheDirectoriesWouldRefuseAreTold) {
    CopyKindMedia(Kind("Svcd"), dir.Path());
    WriteText(dir / "LONGNAMED.TXT", "x");
    const struct {
        std::vector<std::string> lists;  // added after the clean script
        size_t line;                     // the line of `lists` the error is told at, from 1
        std::string told;
    } cases[] = {
        {{"[VCD30]", "FOLDER \\EXTRA", "LONGNAMED.TXT LONGNAMED.TXT", "ENDFOLDER"}, 3,
         "error: \\EXTRA\\LONGNAMED.TXT is not an 8.3 name"},
        {{"[VCD30]", "FOLDER \\A\\B\\C\\D\\E\\F\\G\\H\\I", "ENDFOLDER"}, 2,
         "error: \\A\\B\\C\\D\\E\\F\\G\\H\\I is nested deeper than 8 folder levels"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> script = CleanScript(Kind("Svcd"));
        const std::string place = "disc.txt:" + std::to_string(script.size() + c.line) + ": ";
        script.insert(script.end(), c.lists.begin(), c.lists.end());
        WriteScript(dir / "disc.txt", script);
        const CommandResult result = Run("");
        EXPECT_EQ(result.exitCode, 1) << result.output;
        EXPECT_NE(result.output.find(place + c.told), std::string::npos) << place << c.told << "\n" << result.output;
    }
}

// A disc over its capacity: a warning without --capacity, a failure with it,
// before a single track sector is written. The long track is a real one with
// a hole of 82 minutes of empty sectors in the middle (a sparse file).
TEST_F(Check, ADiscOverItsCapacityWarnsOrFailsBeforeTheTracks) {
    CopyKindMedia(Kind("Svcd"), dir.Path());
    const std::vector<uint8_t> track = ReadBytes(dir / "A.MPS");
    constexpr size_t kUnit = 2336;
    const size_t half = track.size() / kUnit / 2 * kUnit;
    {
        std::vector<uint8_t> head(track.begin(), track.begin() + long(half));
        WriteBytes(dir / "A.MPS", head);
    }
    const uint64_t hole = uint64_t(82) * 60 * 75 * kUnit;
    ASSERT_EQ(RunCommand("truncate -s " + std::to_string(half + hole) + " " + Quote(dir / "A.MPS")).exitCode, 0);
    {
        std::vector<uint8_t> tail(track.begin() + long(half), track.end());
        std::FILE* f = std::fopen((dir / "A.MPS").c_str(), "ab");
        ASSERT_TRUE(f && std::fwrite(tail.data(), 1, tail.size(), f) == tail.size());
        std::fclose(f);
    }
    WriteScript(dir / "disc.txt", CleanScript(Kind("Svcd")));
    const CommandResult warned = Run("--warnings-ok");
    EXPECT_EQ(warned.exitCode, 0) << warned.output;
    EXPECT_NE(warned.output.find("warning: the disc takes about 8"), std::string::npos) << warned.output;
    EXPECT_NE(warned.output.find("more than a 80-minute disc holds"), std::string::npos) << warned.output;

    const CommandResult refused = RunCommand("cd " + Quote(dir.Path()) + " && " + Quote(CliPath()) +
                                             " build disc.txt -o disc.img --capacity 74 --work-dir tmp");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("error: the disc takes about 8"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("more than a 74-minute disc holds"), std::string::npos) << refused.output;
    EXPECT_EQ(refused.output.find("Adding Video tracks"), std::string::npos) << refused.output;
    EXPECT_FALSE(FileExists(dir / "disc.img"));
}

}  // namespace
}  // namespace qorvcd::test
