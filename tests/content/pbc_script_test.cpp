// The [PBC] statements as read into play lists and selections.
#include "content/pbc_script.h"

#include "content_fixture.h"

namespace qorvcd::test {
namespace {

class PbcScriptTest : public ::testing::Test {
  protected:
    bool Read(const std::string& script) {
        f.OpenScript(script);
        return ReadPbcScript(f.reader, f.ctx, "AVSEQ", pbc);
    }
    ContentFixture f;
    PbcScript pbc;
};

TEST_F(PbcScriptTest, PlayListClausesAndPartialTrackPlay) {
    ASSERT_TRUE(
        Read("[PBC]\n"
             "SEGMENT\nSEG01 = a.mps AUDIO 0 VIDEO 1\nENDSEGMENT\n"
             "PLAYLIST p1 PREVIOUS p0 NEXT none RETURN menu PLAYTIME 45 WAIT 5 AUTOWAIT 2\n"
             "  PLAY avseq01 FROM 10.5 TO 20\nENDPLAYLIST\n"
             "PLAYLIST P2 PLAY AVSEQ01 ENDPLAYLIST\n"
             "PLAYLIST P3 PLAY AVSEQ02 AT 20 UNTIL 10 ENDPLAYLIST\n"
             "PLAYLIST A PLAY AVSEQ01 FROM 1 TO 3.49 ENDPLAYLIST\n"
             "PLAYLIST B PLAY AVSEQ01 FROM 1 TO 3.5 ENDPLAYLIST\n"
             "[TRACK]\n"))
        << f.AllOutput();
    ASSERT_EQ(pbc.playLists.size(), 5u);
    const PlayListNode& p1 = pbc.playLists[0];
    EXPECT_EQ(p1.type, PbcListType::PlayList);
    EXPECT_EQ(p1.id + p1.previousId + p1.nextId + p1.returnId + p1.playItemId, "P1P0NONEMENUAVSEQ01");
    EXPECT_EQ(p1.wait, 5);
    EXPECT_EQ(p1.autoWait, 2);
    EXPECT_EQ(p1.startTime, 1050);
    EXPECT_EQ(p1.endTime, 2000);
    EXPECT_EQ(p1.playTime, 150);  // 10 s played, replacing PLAYTIME 45
    const PlayListNode& p2 = pbc.playLists[1];
    EXPECT_EQ(p2.playTime, 0);
    EXPECT_EQ(p2.wait, -1);
    EXPECT_EQ(p2.autoWait, -1);
    EXPECT_TRUE(p2.nextId.empty());
    // A part that ends before it starts plays for no time; half seconds round up.
    EXPECT_EQ(pbc.playLists[2].startTime, 2000);
    EXPECT_EQ(pbc.playLists[2].playTime, 0);
    EXPECT_EQ(pbc.playLists[3].playTime, 2 * 15);
    EXPECT_EQ(pbc.playLists[4].playTime, 3 * 15);
    EXPECT_EQ(pbc.startListId, "P1");

    PbcScript none;
    f.OpenScript("[VCD]\nMODE=SVCD\n");
    ASSERT_TRUE(ReadPbcScript(f.reader, f.ctx, "AVSEQ", none));
    EXPECT_FALSE(none.sectionPresent);
    EXPECT_TRUE(none.playLists.empty() && none.selections.empty() && none.startListId.empty());
}

TEST_F(PbcScriptTest, SelectionsStartListAndEndLists) {
    ASSERT_TRUE(
        Read("[PBC]\nSTOPLIST END1 7 SEG01\n"
             "SELECTION MENU PREVIOUS A NEXT B RETURN C DEFAULT D TIMEOUT E WAIT 10 LOOP 3\n"
             "  JUMP COMPLETE PLAYITEM SEG01\n  ITEMS 3 p1 4 none 5 P3 ENDITEMS\nENDSELECT\n"
             "UNKNOWN WORDS\nSTARTLIST menu\n"
             "SELECTION OTHER JUMP NEVER PLAYITEM SEG01 ENDSELECT\n"
             "STOPLIST END2 3\n[VCD]\n"))
        << f.AllOutput();
    ASSERT_EQ(pbc.selections.size(), 2u);
    const SelectionNode& menu = pbc.selections[0];
    EXPECT_EQ(menu.previousId + menu.defaultId + menu.timeoutId, "ADE");
    EXPECT_EQ(menu.wait, 10);
    EXPECT_EQ(menu.loop, 3);
    EXPECT_EQ(menu.jump, 0x80);
    EXPECT_EQ(menu.baseNumber, 3);
    ASSERT_EQ(menu.items.size(), 3u);
    EXPECT_EQ(menu.items[0].targetId, "P1");
    EXPECT_EQ(menu.items[1].targetId, "NONE");
    EXPECT_EQ(menu.items[2].number, 5);
    const SelectionNode& other = pbc.selections[1];
    EXPECT_EQ(other.jump, 0);
    EXPECT_EQ(other.loop, 1);
    EXPECT_EQ(other.itemCount, 0);
    EXPECT_EQ(pbc.startListId, "MENU");
    // An end list cut short by the next section is not kept.
    ASSERT_EQ(pbc.playLists.size(), 1u);
    EXPECT_EQ(pbc.playLists[0].type, PbcListType::EndList);
    EXPECT_EQ(pbc.playLists[0].stopNumber, 7);
    EXPECT_EQ(pbc.playLists[0].playItemId, "SEG01");
}

TEST_F(PbcScriptTest, GrammarErrorsAndOverlongValuesAreRefused) {
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += "5 P1 ";
    const char* kLong = "is too long, at most 7 characters";
    struct Case {
        std::string statement;
        std::string message;
        bool logged;  // else shown in a message box
    };
    const Case cases[] = {
        {"PLAYLIST P1 WAIT 3 PLAYTIME 5 PLAY SEG01 ENDPLAYLIST", "PLAYLIST P1 don't define PLAY keyword", false},
        {"PLAYLIST P1 PLAY SEG01 FROM 1 TO 2 ENDPLAYLIST", "PLAYLIST P1 don't define ENDPLAYLIST keyword", false},
        {"PLAYLIST P1 PLAY AVSEQ01 FROM 1 TO 2", "PLAYLIST P1 don't define ENDPLAYLIST keyword", false},
        {"SELECTION S1 ITEMS 1 P1 ENDITEMS ENDSELECT", "SELECTION S1 don't define PLAYITEM keyword", false},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 1 P1 ENDITEMS", "SELECTION S1 don't define ENDPLAYLIST keyword", false},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 0 P1 ENDITEMS ENDSELECT", "Select number=0 is error, Must 1-99", false},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 99 P1 100 P2 ENDITEMS ENDSELECT", "Select number=100 is error, Must 1-99",
         false},
        // The closing word of ITEMS is read as written.
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 1 P1 enditems ENDSELECT", "Select number=0 is error, Must 1-99", false},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS " + hundred + "ENDITEMS ENDSELECT", "more than 99 items", true},
        {"PLAYLIST PLAYLIST1 PLAY SEG01 ENDPLAYLIST", kLong, true},
        {"PLAYLIST P1 NEXT NEXTLIST1 PLAY SEG01 ENDPLAYLIST", kLong, true},
        {"PLAYLIST P1 PLAY SEGMENT01 ENDPLAYLIST", kLong, true},
        {"SELECTION S1 PLAYITEM SEG01 ITEMS 1 TARGET001 ENDITEMS ENDSELECT", kLong, true},
        {"STOPLIST END1 1 SEGMENT01", kLong, true},
        {"STARTLIST STARTLIST1", kLong, true},
    };
    for (const Case& c : cases) {
        ContentFixture g;
        g.OpenScript("[PBC]\n" + c.statement + "\n");
        PbcScript script;
        EXPECT_FALSE(ReadPbcScript(g.reader, g.ctx, "AVSEQ", script)) << c.statement;
        EXPECT_TRUE(c.logged ? g.LoggedContaining(c.message) : g.Shown(c.message)) << c.statement << "\n"
                                                                                  << g.AllOutput();
    }
}

}  // namespace
}  // namespace qorvcd::test
