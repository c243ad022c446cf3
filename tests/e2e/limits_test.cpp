// Every limit of the disc and of its fixed fields, met by a whole build
// through the command line: the build fails (non-zero result, ">>> Fail <<<",
// no image), the log names the item at fault, and the error is told at the
// script line the item comes from.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/log_list.h"
#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

const KindCase& Vcd30() { return AllKinds()[0]; }
std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}
const KindCase& Svcd() { return AllKinds()[1]; }

struct Refusal {
    int result;
    std::string logged;   // part of a log line naming the item
    int line;             // the script line the error is told at; 0: not told at a line
    std::string fixedLine = {};  // the long-standing log line the limit also keeps, when it has one
};

class Limits : public ::testing::Test {
protected:
    // Builds `lines` as disc.txt beside the kind's media.
    CommandResult Build(const KindCase& kind, const std::vector<std::string>& lines) {
        if (!media_) {
            CopyKindMedia(kind, dir_.Path());
            media_ = true;
        }
        WriteScript(dir_ / "disc.txt", lines);
        return BuildDisc(kind, dir_ / "disc.txt", dir_ / "disc.img", dir_.Path());
    }
    void ExpectRefused(const CommandResult& r, const Refusal& want, const std::string& what) {
        SCOPED_TRACE(what);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.output.find("Result: " + std::to_string(want.result) + "\n"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(">>> Fail <<<"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(want.logged), std::string::npos) << r.output;
        if (!want.fixedLine.empty()) {
            EXPECT_NE(r.output.find(want.fixedLine), std::string::npos) << r.output;
        }
        if (want.line > 0) {
            EXPECT_NE(r.output.find("disc.txt:" + std::to_string(want.line) + ": error: "), std::string::npos)
                << r.output;
        }
        EXPECT_FALSE(FileExists(dir_ / "disc.img"));
    }
    TempDir dir_;
    bool media_ = false;
};

// An SVCD with one track; `pbc` lines follow its [PBC] header (line 7).
std::vector<std::string> SvcdScript(const std::vector<std::string>& pbc = {}) {
    std::vector<std::string> s = {"[VCD]", "MODE = SVCD", "VERSION = 1.0", "[TRACK]",
                                  "MPEGTRACK AVSEQ01 A.MPS PAL AUDIO 2 TIME 3", "ENDTRACK", "[PBC]"};
    s.insert(s.end(), pbc.begin(), pbc.end());
    return s;
}

std::string PlayList(const std::string& id, const std::string& rest = "PLAY AVSEQ01 ENDPLAYLIST") {
    return "PLAYLIST " + id + " PREVIOUS NONE NEXT NONE RETURN NONE " + rest;
}

TEST_F(Limits, NinetyNineVideoTracksAreOneTooMany) {
    std::vector<std::string> script = {"[VCD]", "MODE = SVCD", "VERSION = 1.0", "[TRACK]"};
    for (int n = 1; n <= 99; ++n) script.push_back(Format("MPEGTRACK AVSEQ%02d CLIP.MPS PAL AUDIO 2 TIME 1", n));
    ExpectRefused(Build(Svcd(), script),
                  {1, "track AVSEQ99 would be track 100 of the disc, and a CD holds 99 tracks", 103}, "99 tracks");
}

TEST_F(Limits, EntryPointsBeyondTheEntriesTableNameTheirPlayList) {
    // One track start and 509 entry points: the last in time is entry 510.
    std::vector<std::string> pbc;
    for (int n = 1; n <= 509; ++n)
        pbc.push_back(PlayList(Format("P%d", n), Format("PLAY AVSEQ01 FROM %d TO %d ENDPLAYLIST", n, n + 1)));
    ExpectRefused(Build(Svcd(), SvcdScript(pbc)),
                  {2000, "play list P509, which starts track AVSEQ01 at 509.00 seconds, would take entry 510 of ENTRIES",
                   7 + 509},
                  "510 entries");
}

TEST_F(Limits, SegmentsBeyondTheSegmentAreaNameTheirItem) {
    // Sparse files: 997 segments and 2 more; nothing is read from them.
    for (const auto& [name, segments] : {std::pair{"BIG1.MPS", 997}, {"BIG2.MPS", 2}}) {
        WriteBytes(dir_ / name, {});
        std::filesystem::resize_file(dir_ / name, uint64_t(2336) * 150 * segments);
    }
    ExpectRefused(Build(Vcd30(), {"[VCD]", "VERSION = 2.0", "[TRACK]", "ENDTRACK", "[PBC]", "SEGMENT",
                                  "SEG01 = BIG1.MPS", "SEG02 = BIG2.MPS", "ENDSEGMENT"}),
                  {2000,
                   "segment item SEG02 (BIG2.MPS) takes segments 998 to 999; a disc holds at most 998 segments "
                   "(play items 1000 to 1997)",
                   8, "Error ::In SEGMENT over 1998 section!!"},
                  "999 segments");
}

TEST_F(Limits, IdsOfEightCharactersAreRefusedWhereverTheyStand) {
    struct Case {
        std::vector<std::string> script;
        Refusal want;
    };
    std::vector<std::string> longTrack = SvcdScript();
    longTrack[4] = "MPEGTRACK AVSEQ001 A.MPS PAL AUDIO 2 TIME 3";
    const Case cases[] = {
        {longTrack, {1, "Track ID AVSEQ001 is too long, at most 7 characters", 5}},
        {SvcdScript({"SEGMENT", "SEGCLIP01 = CLIP.MPS AUDIO 1 VIDEO 28", "ENDSEGMENT"}),
         {2000, "Segment item ID SEGCLIP01 is too long", 9}},
        {SvcdScript({"", PlayList("P1"), "PLAYLIST P2 PREVIOUS NONE NEXT NEXTLIST1 RETURN NONE PLAY AVSEQ01 ENDPLAYLIST"}),
         {1, "Link ID NEXTLIST1 is too long", 10}},
        {SvcdScript({PlayList("P1"), "SELECTION S1 PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT NONE TIMEOUT NONE",
                     "PLAYITEM AVSEQ01 ITEMS 1 P1 2 CHOICE002 ENDITEMS ENDSELECT"}),
         {1, "Selection item ID CHOICE002 is too long", 10}},
    };
    for (const Case& c : cases) ExpectRefused(Build(Svcd(), c.script), c.want, c.want.logged);
}

TEST_F(Limits, DiscNamesMustBe83AndFoldersAtMostEightDeep) {
    for (const char* source : {"LONGNAMED.TXT", "A.B.C", "ABCDEFGH.ABCD", "A.TXT"}) WriteText(dir_ / source, "x");
    struct Case {
        std::vector<std::string> folders;
        Refusal want;
    };
    const Case cases[] = {
        {{"FOLDER \\EXTRA", "A.TXT A.TXT", "LONGNAMED.TXT LONGNAMED.TXT", "ENDFOLDER"},
         {5000, "\\EXTRA\\LONGNAMED.TXT is not an 8.3 name", 12}},
        {{"FOLDER \\EXTRA", "A.B.C A.B.C", "ENDFOLDER"}, {5000, "\\EXTRA\\A.B.C is not an 8.3 name", 11}},
        {{"FOLDER \\NINECHARS", "A.TXT A.TXT", "ENDFOLDER"}, {5000, "\\NINECHARS is not an 8.3 name", 10}},
        {{"FOLDER \\EXTRA", "ABCDEFGH.ABCD ABCDEFGH.ABCD", "ENDFOLDER"},
         {5000, "\\EXTRA\\ABCDEFGH.ABCD is not an 8.3 name", 11, "ABCDEFGH.ABCD name too long, not a 8.3 name format"}},
        {{"FOLDER \\A\\B\\C\\D\\E\\F\\G\\H\\I", "ENDFOLDER"},
         {200, "\\A\\B\\C\\D\\E\\F\\G\\H\\I is nested deeper than 8 folder levels", 10}},
        // The data folder is two levels down: seven folders under it make nine.
        {{"FOLDER \\DATA\\SVCDDATA\\A\\B\\C\\D\\E\\F\\G", "ENDFOLDER"},
         {200, "\\DATA\\SVCDDATA\\A\\B\\C\\D\\E\\F\\G is nested deeper than 8 folder levels", 10}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> script = SvcdScript({PlayList("P1"), "[VCD30]"});
        script.insert(script.end(), c.folders.begin(), c.folders.end());
        ExpectRefused(Build(Svcd(), script), c.want, c.want.logged);
    }
    // Eight levels, and six under the data folder, still fit.
    std::vector<std::string> deep = SvcdScript({PlayList("P1"), "[VCD30]", "FOLDER \\A\\B\\C\\D\\E\\F\\G\\H", "ENDFOLDER",
                                                "FOLDER \\DATA\\SVCDDATA\\A\\B\\C\\D\\E\\F", "ENDFOLDER"});
    const CommandResult fits = Build(Svcd(), deep);
    EXPECT_EQ(fits.exitCode, 0) << fits.output;
}

TEST_F(Limits, ApplicationPathsOf260CharactersAreRefused) {
    // A folder of 244 characters (five of 48 and their separators) holding
    // the home page: with "\COMP" and a file name its paths pass 259.
    std::string folder;
    for (char c : {'A', 'B', 'C', 'D', 'E'}) folder += (folder.empty() ? "" : "\\") + std::string(48, c);
    std::filesystem::create_directories(dir_ / Native(folder));
    WriteText(dir_ / (Native(folder) + "/INDEX.HTM"), "<html></html>");
    const std::string app = folder + "\\COMP";
    ExpectRefused(Build(Svcd(), SvcdScript({PlayList("P1"), "[VCD30]", "TITLEHOMEDIR = " + folder,
                                            "HOMEPAGE = INDEX.HTM"})),
                  {2000, "the application folder " + app + " is 249 characters long", 10}, "application folder");
    // A home page whose path passes 259 characters.
    const std::string page = std::string(20, 'P') + ".HTM";
    ExpectRefused(Build(Svcd(), SvcdScript({PlayList("P1"), "[VCD30]", "TITLEHOMEDIR = " + folder,
                                            "HOMEPAGE = " + page})),
                  {2000, "the home page " + folder + "\\" + page + " is 269 characters long; a path holds at most 259",
                   11},
                  "home page");
}

}  // namespace
}  // namespace qorvcd::test
