// [PBC] statements read into lists, compiled into PSD and LOT bytes, and the
// PSD readers on damaged input.
#include "content/lot.h"
#include "content/pbc_script.h"
#include "content/psd_compiler.h"
#include "content/psd_records.h"
#include "content_fixture.h"

namespace qorvcd::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Reads `statements` as a [PBC] section; AVSEQ01-03 are tracks 2-4, SEG01 (no
// audio) and SEG02 (audio) segment items 1000 and 1001.
struct PbcRun {
    ContentFixture f;
    TrackList tracks;
    SegmentList segments;
    PbcScript pbc;
    bool read = false;
    explicit PbcRun(const std::string& statements) {
        for (const char* id : {"AVSEQ01", "AVSEQ02", "AVSEQ03"}) {
            TrackEntry t;
            t.id = id;
            tracks.Insert(t);
        }
        tracks.Number();
        for (int i : {0, 1}) {
            SegmentItem s;
            s.id = "SEG0" + std::to_string(i + 1);
            s.number = 1000 + i;
            s.audioCode = 2 * i;
            segments.Insert(s);
        }
        f.OpenScript("[PBC]\n" + statements + "\n");
        read = ReadPbcScript(f.reader, f.ctx, "AVSEQ", pbc);
    }
    PsdImage Build() { return BuildPsd(pbc, tracks, segments, f.ctx); }
};

// Words in any case, AT/UNTIL as FROM/TO, half seconds rounding up, defaults, unknown statements skipped.
TEST(PbcScript, PlayListAndSelectionClauses) {
    PbcRun r("SEGMENT\nSEG01 = a.mps AUDIO 0 VIDEO 1\nENDSEGMENT\n"
             "PLAYLIST p1 PREVIOUS p0 NEXT none RETURN menu PLAYTIME 45\n  PLAY avseq01 FROM 10.5 TO 20\nENDPLAYLIST\n"
             "PLAYLIST P2 PLAY AVSEQ01 ENDPLAYLIST\nPLAYLIST P3 PLAY AVSEQ02 AT 20 UNTIL 10 ENDPLAYLIST\n"
             "PLAYLIST A PLAY AVSEQ01 FROM 1 TO 3.49 ENDPLAYLIST\nPLAYLIST B PLAY AVSEQ01 FROM 1 TO 3.5 ENDPLAYLIST\n"
             "SELECTION MENU PREVIOUS a NEXT B RETURN C DEFAULT D TIMEOUT E\n  PLAYITEM SEG01 ITEMS 3 p1 4 none ENDITEMS\n"
             "ENDSELECT\nUNKNOWN WORDS\nSTARTLIST menu\nSELECTION OTHER JUMP NEVER PLAYITEM SEG01 ENDSELECT\nSTOPLIST END2 3\n[VCD]");
    ASSERT_TRUE(r.read) << r.f.AllOutput();
    const auto& lists = r.pbc.playLists;
    ASSERT_EQ(lists.size(), 5u);  // an end list cut short by the next section is not kept
    const PlayListNode& p1 = lists[0];
    EXPECT_EQ(p1.id + p1.previousId + p1.nextId + p1.returnId + p1.playItemId, "P1P0NONEMENUAVSEQ01");
    EXPECT_EQ(std::tuple(p1.startTime, p1.endTime, p1.playTime), std::tuple(1050, 2000, 150));  // not PLAYTIME 45
    EXPECT_EQ(std::tuple(lists[1].playTime, lists[1].wait, lists[1].autoWait, lists[1].nextId), std::tuple(0, -1, -1, ""));
    EXPECT_EQ(std::tuple(lists[2].startTime, lists[2].playTime, lists[3].playTime, lists[4].playTime),
              std::tuple(2000, 0, 2 * 15, 3 * 15));
    ASSERT_EQ(r.pbc.selections.size(), 2u);
    const SelectionNode& menu = r.pbc.selections[0];
    EXPECT_EQ(menu.previousId + menu.defaultId + menu.timeoutId + menu.items.at(0).targetId + menu.items.at(1).targetId,
              "ADEP1NONE");
    const SelectionNode& other = r.pbc.selections[1];
    EXPECT_EQ(std::tuple(other.jump, other.loop, other.itemCount, r.pbc.startListId), std::tuple(0, 1, 0, "MENU"));
}

TEST(PbcScript, GrammarErrorsAndOverlongValuesAreRefused) {
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += "5 P1 ";
    const char* kLong = "is too long, at most 7 characters";
    const std::tuple<std::string, std::string, bool> cases[] = {  // logged, else boxed
        {"PLAYLIST P1 WAIT 3 PLAYTIME 5 PLAY SEG01 ENDPLAYLIST", "PLAYLIST P1 don't define PLAY keyword", false},
        {"PLAYLIST P1 PLAY SEG01 FROM 1 TO 2 ENDPLAYLIST", "PLAYLIST P1 don't define ENDPLAYLIST keyword", false},
        {"PLAYLIST P1 PLAY AVSEQ01 FROM 1 TO 2", "PLAYLIST P1 don't define ENDPLAYLIST keyword", false},
        {"SELECTION S1 ITEMS 1 P1 ENDITEMS ENDSELECT", "SELECTION S1 don't define PLAYITEM keyword", false},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 1 P1 ENDITEMS", "SELECTION S1 don't define ENDPLAYLIST keyword", false},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 0 P1 ENDITEMS ENDSELECT", "Select number=0 is error, Must 1-99", false},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 99 P1 100 P2 ENDITEMS ENDSELECT", "Select number=100 is error, Must 1-99", false},
        // The closing word of ITEMS is read as written.
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 1 P1 enditems ENDSELECT", "Select number=0 is error, Must 1-99", false},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS " + hundred + "ENDITEMS ENDSELECT", "more than 99 items", true},
        {"PLAYLIST PLAYLIST1 PLAY SEG01 ENDPLAYLIST", kLong, true},
        {"PLAYLIST P1 PLAY SEGMENT01 ENDPLAYLIST", kLong, true},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 1 TARGET001 ENDITEMS ENDSELECT", kLong, true},
        {"STOPLIST END1 1 SEGMENT01", kLong, true},
    };
    for (const auto& [statement, message, logged] : cases) {
        PbcRun r(statement);
        EXPECT_FALSE(r.read) << statement;
        EXPECT_TRUE(logged ? r.f.Logged(message) : r.f.Shown(message)) << statement << "\n" << r.f.AllOutput();
    }
}

// The start list first wherever it is written, then the other selections, then
// play and end lists in script order; each selection rounded up to 8 bytes.
TEST(PsdCompiler, RecordsLinksAndListOrder) {
    PbcRun r("PLAYLIST P1 PREVIOUS MENU NEXT E1 RETURN MENU WAIT 5 AUTOWAIT -1 PLAY AVSEQ03 FROM 10.5 TO 20 ENDPLAYLIST\n"
             "SELECTION OTHER PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT NONE TIMEOUT NONE JUMP COMPLETE PLAYITEM SEG02 ENDSELECT\n"
             "STOPLIST E1 5 SEG01\n"
             "PLAYLIST P2 PREVIOUS P1 NEXT NONE RETURN P1 PLAYTIME 30 PLAY SEG02 ENDPLAYLIST\n"
             "SELECTION MENU PREVIOUS NONE NEXT P1 RETURN MENU DEFAULT P2 TIMEOUT E1 WAIT 10 LOOP 2 JUMP COMPLETE\n"
             "  PLAYITEM SEG01 ITEMS 3 P1 4 NONE 5 E1 ENDITEMS ENDSELECT\nSTARTLIST MENU");
    ASSERT_TRUE(r.read) << r.f.AllOutput();
    const PsdImage image = r.Build();
    ASSERT_TRUE(image.ok) << r.f.AllOutput();
    EXPECT_EQ(image.psd, (Bytes{0x18, 0x00, 0x03, 0x03, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0x07, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x09,
                                0x0A, 0x82, 0x03, 0xE8, 0x00, 0x07, 0xFF, 0xFF, 0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0x18, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0x01, 0x03, 0xE9, 0x00, 0x00, 0x00, 0x00, 0x10, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x09,
                                0x00, 0x00, 0x00, 0x96, 0x05, 0xFF, 0x00, 0x00, 0x1F, 0x05, 0x03, 0xE8, 0x00, 0x00, 0x00, 0x00,
                                0x10, 0x01, 0x00, 0x05, 0x00, 0x07, 0xFF, 0xFF, 0x00, 0x07, 0x00, 0x1E, 0xFF, 0xFF, 0x03, 0xE9}));
    EXPECT_EQ(Bytes(image.lot.begin(), image.lot.begin() + 14), (Bytes{0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x07, 0x00, 0x09, 0x00, 0x0A, 0xFF, 0xFF}));
    EXPECT_EQ(image.lotEntryCount, 5u);
    // FROM 10.5 becomes an entry point of the track; its item number is left for the track writer.
    const auto& points = r.tracks.Find("AVSEQ03")->entryPoints;
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(std::tuple(points[0].key, points[0].value), std::tuple(1050, 56u));
}

TEST(PsdCompiler, EmptyControlAndUnresolvedReferences) {
    PbcRun none("");
    const PsdCompileResult empty = CompilePsd(none.pbc, none.tracks, none.segments, none.f.ctx);
    EXPECT_EQ(std::tuple(empty.ok, empty.psdSize, empty.lotEntryCount, ReadBytes(empty.psdPath).size()),
              std::tuple(true, 0u, 0u, size_t(0)));
    Bytes lot(kLotSize, 0xFF);
    lot[0] = lot[1] = 0;
    EXPECT_EQ(ReadBytes(none.f.ctx.workFolder + "LOT.SVD"), lot);

    const std::string ok = " PREVIOUS NONE NEXT NONE RETURN NONE";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"PLAYLIST P1 PREVIOUS X NEXT NONE RETURN NONE PLAY SEG01 ENDPLAYLIST", "Play Prev: Can't find ID X"},
        {"PLAYLIST P1 PREVIOUS NONE NEXT X RETURN NONE PLAY SEG01 ENDPLAYLIST", "Play Next: Can't find ID X"},
        {"PLAYLIST P1 PREVIOUS NONE NEXT NONE PLAY SEG01 ENDPLAYLIST", "Play Return: Can't find ID "},
        {"SELECTION S" + ok + " DEFAULT NONE TIMEOUT NONE PLAYITEM SEG01 ITEMS 1 S 2 X ENDITEMS ENDSELECT",
         "Select Item: Can't find ID X"},
        {"STARTLIST X\nPLAYLIST P1" + ok + " PLAY SEG01 ENDPLAYLIST", "Start list: Can't find ID X"},
        {"PLAYLIST P2" + ok + " PLAY AVSEQ09 FROM 1 TO 2 ENDPLAYLIST", "Insert entry failed, not found ID AVSEQ09"},
    };
    const std::pair<const char*, const char*> links[] = {
        {"PREVIOUS", "Prev"}, {"NEXT", "Next"}, {"RETURN", "Return"}, {"DEFAULT", "Default"}, {"TIMEOUT", "TimeOut"}};
    for (const auto& [word, name] : links) {
        std::string statement = "SELECTION S";
        for (const auto& [other, unused] : links)  // each link in turn names the missing X
            statement += std::string(" ") + other + (other == word ? " X" : " NONE");
        cases.push_back({statement + " PLAYITEM SEG01 ENDSELECT", std::string("Select ") + name + ": Can't find ID X"});
    }
    for (const auto& [statements, message] : cases) {
        PbcRun r(statements);
        ASSERT_TRUE(r.read) << statements;
        const PsdCompileResult result = CompilePsd(r.pbc, r.tracks, r.segments, r.f.ctx);
        EXPECT_FALSE(result.ok) << statements;
        EXPECT_TRUE(r.f.Shown(message)) << statements << "\n" << r.f.AllOutput();
        EXPECT_EQ(std::tuple(ReadBytes(result.psdPath).size(), ReadBytes(result.lotPath).size()),  // written all the same
                  std::tuple(size_t(result.psdSize), kLotSize));
    }
    // Unknown play items leave 0xFFFF and fail; a play time must fit 16 bits.
    PbcRun unknown("PLAYLIST P1" + ok + " PLAY SEG09 ENDPLAYLIST\nSTOPLIST E1 1 AVSEQ07");
    const PsdImage image = unknown.Build();
    EXPECT_FALSE(image.ok);
    EXPECT_TRUE(unknown.f.Logged("Not found ID SEG09") && unknown.f.Logged("Not found ID AVSEQ07"));
    EXPECT_EQ(std::tuple(image.psd.at(14), image.psd.at(15)), std::tuple(0xFF, 0xFF));
    PbcRun longTime("PLAYLIST P1" + ok + " PLAYTIME 70000 PLAY SEG01 ENDPLAYLIST");
    EXPECT_FALSE(longTime.Build().ok);
    EXPECT_TRUE(longTime.f.Logged("play time 70000 is outside 0 to 65535")) << longTime.f.AllOutput();
}

TEST(PsdRecords, ReadersRefuseDamagedInput) {
    std::string error;
    Bytes rec(24, 0);  // a selection of 3 choices has room for 2 only
    rec[0] = 0x18;
    rec[2] = 3;
    EXPECT_FALSE(SelectionRecord::Decode(rec, &error));
    rec[2] = 2;
    const auto s = SelectionRecord::Decode(rec, &error);
    EXPECT_TRUE(s && s->targets.size() == 2u) << error;
    EXPECT_FALSE(PlayListRecord::Decode(rec, &error));  // not a play list
    EXPECT_NE(error.find("type byte 24"), std::string::npos) << error;
    rec[0] = 0x10;
    EXPECT_FALSE(PlayListRecord::Decode(std::span(rec.data(), 15), &error));
    EXPECT_NE(error.find("needs 16"), std::string::npos) << error;
    rec[0] = 0x1F;
    EXPECT_FALSE(EndListRecord::Decode(std::span(rec.data(), 7), &error));
    EXPECT_FALSE(LotRecord::Decode(std::span(LotRecord{{0}}.Encode().data(), 2048), &error) ||
                 error.find("2048") == std::string::npos);

    // List 2 points past the PSD, list 3 has an unknown type, list 4 is cut short by the end of the PSD.
    const Bytes lot = LotRecord{{0, 100, 2, 3}}.Encode();
    Bytes psd(32, 0);
    psd[0] = 0x1F;
    psd[16] = 0x42;
    psd[24] = 0x10;
    std::vector<PsdListView> lists;
    ASSERT_TRUE(DecodePlaybackControl(lot.data(), lot.size(), psd.data(), psd.size(), lists, error));
    ASSERT_EQ(lists.size(), 4u);
    const char* expected[] = {"", "beyond", "unknown", "needs 16"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_TRUE(i ? lists[i].error.find(expected[i]) != std::string::npos : lists[i].error.empty()) << lists[i].error;
    EXPECT_FALSE(DecodePlaybackControl(lot.data(), 100, psd.data(), psd.size(), lists, error));
}

// Each descriptor: hand-placed bytes, and both directions of the round trip.
TEST(PsdRecords, RoundTripsWithLiteralBytes) {
    const PlayListRecord play{1, 2, 0x0102, 0x0304, 0xFFFF, 150, 5, 6, 1000};
    const Bytes playBytes{0x10, 1, 0, 2, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0, 150, 5, 6, 0x03, 0xE8};
    SelectionRecord menu{1, 3, 0xFFFF, 0xFFFF, 0x0002, 0x0004, 0xFFFF, 30, 1, 1000, {0x0002, 0x0004, 0x0006}};
    const Bytes menuBytes{0x18, 0, 3, 1, 0, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 0, 4, 0xFF, 0xFF,
                          30, 1, 0x03, 0xE8, 0, 2, 0, 4, 0, 6, 0, 0, 0, 0, 0, 0};
    const EndListRecord end{3, 1001};
    const Bytes endBytes{0x1F, 3, 0x03, 0xE9, 0, 0, 0, 0};
    EXPECT_EQ(play.Encode(), playBytes);
    EXPECT_EQ(menu.Encode(), menuBytes);
    EXPECT_EQ(end.Encode(), endBytes);
    EXPECT_EQ(PlayListRecord::Decode(playBytes), play);
    EXPECT_EQ(SelectionRecord::Decode(menuBytes), menu);
    EXPECT_EQ(EndListRecord::Decode(endBytes), end);
    EXPECT_EQ(SelectionRecord::Decode(menuBytes)->Encode(), menuBytes);

    const LotRecord lot{{0, 2, 4}};
    const Bytes lotBytes = lot.Encode();
    ASSERT_EQ(lotBytes.size(), kLotSize);
    EXPECT_EQ(Bytes(lotBytes.begin(), lotBytes.begin() + 10), (Bytes{0, 0, 0, 0, 0, 2, 0, 4, 0xFF, 0xFF}));
    EXPECT_EQ(std::count(lotBytes.begin() + 8, lotBytes.end(), 0xFF), ptrdiff_t(kLotSize - 8));
    EXPECT_EQ(LotRecord::Decode(lotBytes), lot);
}

}  // namespace
}  // namespace qorvcd::test
