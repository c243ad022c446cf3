// PSD and LOT compiled from real [PBC] statements, checked byte by byte.
#include "content/psd_compiler.h"

#include "content/lot.h"
#include "content/psd_records.h"
#include "content_fixture.h"

namespace qorvcd::test {
namespace {

using Bytes = std::vector<uint8_t>;

class PsdCompilerTest : public ::testing::Test {
  protected:
    explicit PsdCompilerTest(DiscKind kind = DiscKind::Svcd) : f(kind) {
        for (const char* id : {"AVSEQ01", "AVSEQ02", "AVSEQ03"}) {
            TrackEntry t;
            t.id = id;
            tracks.Insert(t);
        }
        tracks.Number();  // 2, 3, 4
        AddSegment("SEG01", 1000, 0);
        AddSegment("SEG02", 1001, 2);
    }
    void AddSegment(const char* id, uint32_t number, int32_t audioCode) {
        SegmentItem s;
        s.id = id;
        s.number = number;
        s.audioCode = audioCode;
        segments.Insert(s);
    }
    // Reads the statements as a [PBC] section and compiles them.
    PsdImage Compile(const std::string& statements) {
        f.OpenScript("[PBC]\n" + statements + "\n");
        EXPECT_TRUE(ReadPbcScript(f.reader, f.ctx, "AVSEQ", pbc)) << f.AllOutput();
        return BuildPsd(pbc, tracks, segments, f.ctx);
    }
    static Bytes Slice(const Bytes& b, size_t at, size_t n) {
        return at + n <= b.size() ? Bytes(b.begin() + at, b.begin() + at + n) : Bytes();
    }
    template <typename Node>
    static int Offset(const std::vector<Node>& nodes, const std::string& id) {
        for (const auto& n : nodes)
            if (n.id == id) return n.psdOffset;
        ADD_FAILURE() << "no list " << id;
        return -1;
    }
    int List(const std::string& id) const { return Offset(pbc.playLists, id); }
    int Selection(const std::string& id) const { return Offset(pbc.selections, id); }

    ContentFixture f;
    TrackList tracks;
    SegmentList segments;
    PbcScript pbc;
};

TEST_F(PsdCompilerTest, NoPlaybackControlGivesAnEmptyPsdAndLot) {
    f.OpenScript("[VCD]\n");
    ASSERT_TRUE(ReadPbcScript(f.reader, f.ctx, "AVSEQ", pbc));
    const PsdCompileResult r = CompilePsd(pbc, tracks, segments, f.ctx);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.psdSize, 0u);
    EXPECT_EQ(r.lotEntryCount, 0u);
    EXPECT_EQ(r.psdPath, f.ctx.workFolder + "PSD.SVD");
    EXPECT_TRUE(ReadBytes(r.psdPath).empty());
    Bytes expected(65536, 0xFF);
    expected[0] = expected[1] = 0;
    EXPECT_EQ(ReadBytes(f.ctx.workFolder + "LOT.SVD"), expected);
}

TEST_F(PsdCompilerTest, PlayListsAreLinkedByOffsetAndNumberedFromTheStartList) {
    const PsdImage image = Compile(
        "PLAYLIST P1 PREVIOUS NONE NEXT P2 RETURN NONE WAIT 5 AUTOWAIT -1 PLAY AVSEQ02 "
        "ENDPLAYLIST\n"
        "PLAYLIST P2 PREVIOUS P1 NEXT NONE RETURN P1 PLAYTIME 30 PLAY SEG02 ENDPLAYLIST");
    ASSERT_TRUE(image.ok) << f.AllOutput();
    EXPECT_EQ(image.lotEntryCount, 2u);
    ASSERT_EQ(image.psd.size(), 32u);
    EXPECT_EQ(Slice(image.psd, 0, 16), (Bytes{0x10, 0x01, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0x02, 0xFF,
                                              0xFF, 0x00, 0x00, 0x05, 0xFF, 0x00, 0x03}));
    EXPECT_EQ(Slice(image.psd, 16, 16), (Bytes{0x10, 0x01, 0x00, 0x02, 0x00, 0x00, 0xFF, 0xFF, 0x00,
                                               0x00, 0x00, 0x1E, 0xFF, 0xFF, 0x03, 0xE9}));
    EXPECT_EQ(Slice(image.lot, 0, 8), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFF, 0xFF}));
    EXPECT_EQ(List("P2"), 16);
}

TEST_F(PsdCompilerTest, SelectionSizesRoundUpToEightBytes) {
    std::string statements;
    for (int n : {3, 2, 10, 0}) {
        statements += "SELECTION S" + std::to_string(n) +
                      " PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT NONE TIMEOUT NONE PLAYITEM SEG01";
        if (n > 0) statements += " ITEMS";
        for (int i = 1; i <= n; ++i) statements += " " + std::to_string(i) + " NONE";
        statements += n > 0 ? " ENDITEMS ENDSELECT\n" : " ENDSELECT\n";
    }
    const PsdImage image = Compile(statements);
    ASSERT_TRUE(image.ok) << f.AllOutput();
    EXPECT_EQ(Selection("S3"), 0);
    EXPECT_EQ(Selection("S2"), 32);
    EXPECT_EQ(Selection("S10"), 56);
    EXPECT_EQ(Selection("S0"), 96);
    EXPECT_EQ(image.psd.size(), 96u + 24u);
    EXPECT_EQ(Slice(image.psd, 26, 6), Bytes(6, 0));  // padding after the last choice
}

TEST_F(PsdCompilerTest, SelectionRecordCarriesLinksChoicesAndItem) {
    const PsdImage image = Compile(
        "SELECTION MENU PREVIOUS NONE NEXT P1 RETURN MENU DEFAULT P2 TIMEOUT P1 WAIT 10 LOOP 2\n"
        "  PLAYITEM SEG01 ITEMS 3 P1 4 NONE 5 P2 ENDITEMS ENDSELECT\n"
        "PLAYLIST P1 PREVIOUS MENU NEXT P2 RETURN MENU PLAY AVSEQ01 ENDPLAYLIST\n"
        "PLAYLIST P2 PREVIOUS P1 NEXT NONE RETURN MENU PLAY AVSEQ03 ENDPLAYLIST");
    ASSERT_TRUE(image.ok) << f.AllOutput();
    // MENU: 26 bytes rounded to 32; P1 at 32 (4), P2 at 48 (6).
    EXPECT_EQ(Slice(image.psd, 0, 32),
              (Bytes{0x18, 0x00, 0x03, 0x03, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0x04, 0x00,
                     0x00, 0x00, 0x06, 0x00, 0x04, 0x0A, 0x02, 0x03, 0xE8, 0x00, 0x04,
                     0xFF, 0xFF, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Slice(image.psd, 48 + 14, 2), (Bytes{0x00, 0x04}));
    EXPECT_EQ(Slice(image.lot, 2, 6), (Bytes{0x00, 0x00, 0x00, 0x04, 0x00, 0x06}));
}

TEST_F(PsdCompilerTest, LoopByteCombinesLoopJumpAndSegmentAudio) {
    const std::tuple<const char*, const char*, uint8_t> cases[] = {
        {"A", "LOOP 3 JUMP COMPLETE PLAYITEM SEG01", 0x83}, {"B", "LOOP 3 PLAYITEM SEG01", 3},
        {"C", "LOOP 2 PLAYITEM SEG01", 2},                  {"D", "PLAYITEM SEG01", 1},
        {"E", "JUMP COMPLETE PLAYITEM SEG01", 0x81},        {"F", "JUMP COMPLETE PLAYITEM SEG02", 0x01}};
    std::string statements;
    for (const auto& [id, clauses, loop] : cases)
        statements += std::string("SELECTION ") + id +
                      " PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT NONE TIMEOUT NONE " + clauses + " ENDSELECT\n";
    const PsdImage image = Compile(statements);
    ASSERT_TRUE(image.ok) << f.AllOutput();
    for (const auto& [id, clauses, loop] : cases) EXPECT_EQ(image.psd.at(Selection(id) + 17), loop) << id;
}

TEST_F(PsdCompilerTest, StartListComesFirstWhereverItIsWritten) {
    const PsdImage image = Compile(
        "PLAYLIST P1 PREVIOUS NONE NEXT NONE RETURN MENU PLAY AVSEQ01 ENDPLAYLIST\n"
        "SELECTION OTHER PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT NONE TIMEOUT NONE PLAYITEM "
        "SEG01 ENDSELECT\n"
        "SELECTION MENU PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT NONE TIMEOUT NONE PLAYITEM "
        "SEG01 ENDSELECT\n"
        "STARTLIST MENU");
    ASSERT_TRUE(image.ok) << f.AllOutput();
    EXPECT_EQ(Selection("MENU"), 0);
    EXPECT_EQ(Slice(image.psd, 4, 2), (Bytes{0x00, 0x01}));
    // Then the other selections, then the play lists.
    EXPECT_EQ(Selection("OTHER"), 24);
    EXPECT_EQ(Slice(image.psd, 24 + 4, 2), (Bytes{0x00, 0x02}));
    EXPECT_EQ(List("P1"), 48);
    EXPECT_EQ(Slice(image.psd, 48 + 2, 2), (Bytes{0x00, 0x03}));
    EXPECT_EQ(Slice(image.psd, 48 + 8, 2), (Bytes{0x00, 0x00}));  // RETURN MENU at offset 0
}

TEST_F(PsdCompilerTest, EndListsTakeListIdsToo) {
    const PsdImage image = Compile(
        "PLAYLIST P1 PREVIOUS NONE NEXT E1 RETURN NONE PLAY AVSEQ01 ENDPLAYLIST\n"
        "STOPLIST E1 5 SEG01\n"
        "PLAYLIST P2 PREVIOUS E1 NEXT NONE RETURN NONE PLAY AVSEQ01 ENDPLAYLIST\n"
        "STOPLIST E2 0 NONE");
    ASSERT_TRUE(image.ok) << f.AllOutput();
    EXPECT_EQ(image.lotEntryCount, 4u);
    EXPECT_EQ(Slice(image.psd, 16, 8), (Bytes{0x1F, 0x05, 0x03, 0xE8, 0, 0, 0, 0}));
    EXPECT_EQ(Slice(image.psd, 24 + 2, 2), (Bytes{0x00, 0x03}));  // P2 is list 3
    EXPECT_EQ(Slice(image.psd, 24 + 4, 2), (Bytes{0x00, 0x02}));  // PREVIOUS E1 at 16
    EXPECT_EQ(Slice(image.psd, 40, 8), (Bytes{0x1F, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Slice(image.lot, 2, 10), (Bytes{0, 0, 0, 2, 0, 3, 0, 5, 0xFF, 0xFF}));
}

TEST_F(PsdCompilerTest, AnEndListAsStartListKeepsItsOwnRecord) {
    const PsdImage image = Compile(
        "PLAYLIST P1 PREVIOUS NONE NEXT E1 RETURN NONE PLAY AVSEQ01 ENDPLAYLIST\n"
        "STOPLIST E1 4 SEG01\nSTARTLIST E1");
    ASSERT_TRUE(image.ok) << f.AllOutput();
    EXPECT_EQ(Slice(image.psd, 0, 8), (Bytes{0x1F, 0x04, 0x03, 0xE8, 0, 0, 0, 0}));
    EXPECT_EQ(Slice(image.psd, 8, 4), (Bytes{0x10, 0x01, 0x00, 0x02}));
    EXPECT_EQ(Slice(image.psd, 8 + 6, 2), (Bytes{0x00, 0x00}));  // NEXT E1 at offset 0
}

TEST_F(PsdCompilerTest, PartialTrackPlayBecomesAnEntryPoint) {
    const PsdImage image = Compile(
        "PLAYLIST P0 PREVIOUS NONE NEXT NONE RETURN NONE PLAY AVSEQ02 ENDPLAYLIST\n"
        "PLAYLIST P1 PREVIOUS NONE NEXT NONE RETURN NONE PLAY AVSEQ02 FROM 10.5 TO 20 ENDPLAYLIST");
    ASSERT_TRUE(image.ok) << f.AllOutput();
    const auto& points = tracks.Find("AVSEQ02")->entryPoints;
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].key, 1050);
    EXPECT_EQ(points[0].value, 16u);
    // Play time 150/15 s; the item number is left for the track writer.
    EXPECT_EQ(Slice(image.psd, 16 + 10, 6), (Bytes{0x00, 0x96, 0xFF, 0xFF, 0x00, 0x00}));
}

TEST_F(PsdCompilerTest, UnresolvedReferencesFailTheCompile) {
    const std::string ok = " PREVIOUS NONE NEXT NONE RETURN NONE";
    struct Case {
        std::string statements;
        std::string message;
    };
    std::vector<Case> cases = {
        {"PLAYLIST P1 PREVIOUS X NEXT NONE RETURN NONE PLAY SEG01 ENDPLAYLIST", "Play Prev: Can't find ID X"},
        {"PLAYLIST P1 PREVIOUS NONE NEXT X RETURN NONE PLAY SEG01 ENDPLAYLIST", "Play Next: Can't find ID X"},
        {"PLAYLIST P1 PREVIOUS NONE NEXT NONE PLAY SEG01 ENDPLAYLIST", "Play Return: Can't find ID "},
        {"SELECTION S" + ok + " DEFAULT NONE TIMEOUT NONE PLAYITEM SEG01 ITEMS 1 S 2 X ENDITEMS ENDSELECT",
         "Select Item: Can't find ID X"},
        {"STARTLIST X\nPLAYLIST P1" + ok + " PLAY SEG01 ENDPLAYLIST", "Start list: Can't find ID X"},
        {"PLAYLIST P1" + ok + " PLAY AVSEQ01 FROM 1 TO 2 ENDPLAYLIST\nPLAYLIST P2" + ok +
             " PLAY AVSEQ09 FROM 1 TO 2 ENDPLAYLIST",
         "Insert entry failed, not found ID AVSEQ09"},
    };
    // Each selection link in turn names the missing X.
    const std::pair<const char*, const char*> links[] = {
        {"PREVIOUS", "Prev"}, {"NEXT", "Next"}, {"RETURN", "Return"}, {"DEFAULT", "Default"}, {"TIMEOUT", "TimeOut"}};
    for (const auto& [word, name] : links) {
        std::string statement = "SELECTION S";
        for (const auto& [other, unused] : links) statement += std::string(" ") + other + (other == word ? " X" : " NONE");
        cases.push_back({statement + " PLAYITEM SEG01 ENDSELECT", std::string("Select ") + name + ": Can't find ID X"});
    }
    for (const Case& c : cases) {
        ContentFixture g;
        g.OpenScript("[PBC]\n" + c.statements + "\n");
        PbcScript script;
        ASSERT_TRUE(ReadPbcScript(g.reader, g.ctx, "AVSEQ", script)) << c.statements;
        const PsdCompileResult r = CompilePsd(script, tracks, segments, g.ctx);
        EXPECT_FALSE(r.ok) << c.statements;
        EXPECT_TRUE(g.Shown(c.message)) << c.statements << "\n" << g.AllOutput();
        // The work files are written all the same, with their sizes recorded.
        EXPECT_EQ(ReadBytes(r.psdPath).size(), r.psdSize);
        EXPECT_EQ(ReadBytes(r.lotPath).size(), kLotSize);
    }
}

TEST_F(PsdCompilerTest, UnknownPlayItemsAndOverlongPlayTimesAreLoggedAndFail) {
    const PsdImage image = Compile(
        "PLAYLIST P1 PREVIOUS NONE NEXT NONE RETURN NONE PLAY SEG09 ENDPLAYLIST\n"
        "STOPLIST E1 1 AVSEQ07");
    EXPECT_FALSE(image.ok);
    EXPECT_TRUE(f.Logged("Not found ID SEG09"));
    EXPECT_TRUE(f.Logged("Not found ID AVSEQ07"));
    EXPECT_EQ(Slice(image.psd, 14, 2), (Bytes{0xFF, 0xFF}));
    ContentFixture g;
    g.OpenScript("[PBC]\nPLAYLIST P1 PREVIOUS NONE NEXT NONE RETURN NONE PLAYTIME 70000 PLAY SEG01 ENDPLAYLIST\n");
    PbcScript script;
    ASSERT_TRUE(ReadPbcScript(g.reader, g.ctx, "AVSEQ", script));
    EXPECT_FALSE(BuildPsd(script, tracks, segments, g.ctx).ok);
    EXPECT_TRUE(g.LoggedContaining("play time 70000 is outside 0 to 65535")) << g.AllOutput();
}

TEST_F(PsdCompilerTest, CompiledListsDecodeBack) {
    const PsdImage image = Compile(
        "SELECTION MENU PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT P1 TIMEOUT NONE\n"
        "  PLAYITEM SEG01 ITEMS 1 P1 2 E1 ENDITEMS ENDSELECT\n"
        "PLAYLIST P1 PREVIOUS NONE NEXT E1 RETURN MENU PLAY AVSEQ03 ENDPLAYLIST\n"
        "STOPLIST E1 9 NONE");
    ASSERT_TRUE(image.ok) << f.AllOutput();
    std::vector<PsdListView> lists;
    std::string error;
    ASSERT_TRUE(DecodePlaybackControl(image.lot.data(), image.lot.size(), image.psd.data(),
                                      image.psd.size(), lists, error))
        << error;
    ASSERT_EQ(lists.size(), 3u);
    for (const auto& view : lists) EXPECT_TRUE(view.error.empty()) << view.error;
    EXPECT_EQ(lists[0].typeCode, 0x18);
    EXPECT_EQ(lists[0].selection.listId, 1);
    EXPECT_EQ(lists[0].selection.baseNumber, 1);
    ASSERT_EQ(lists[0].selection.targets.size(), 2u);
    EXPECT_EQ(ListIdAt(lists, lists[0].selection.targets[0]), 2);
    EXPECT_EQ(ListIdAt(lists, lists[0].selection.targets[1]), 3);
    EXPECT_EQ(DescribePlayItem(lists[0].selection.playItem), "segment 1000");
    EXPECT_EQ(lists[1].playList.listId, 2);
    EXPECT_EQ(DescribePlayItem(lists[1].playList.playItem), "track 4");
    EXPECT_EQ(ListIdAt(lists, lists[1].playList.returnTo), 1);
    EXPECT_EQ(lists[2].typeCode, 0x1F);
    EXPECT_EQ(lists[2].listId, 3);
    EXPECT_EQ(lists[2].endList.stopNumber, 9);
}

}  // namespace
}  // namespace qorvcd::test
