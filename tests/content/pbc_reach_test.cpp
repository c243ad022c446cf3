// What a viewer can reach from the start list of the playback control.
#include "content/pbc_reach.h"

#include <gtest/gtest.h>

namespace qorvcd {
namespace {

PlayListNode Play(const std::string& id, const std::string& item, const std::string& next = "",
                  const std::string& ret = "", int line = 0) {
    PlayListNode n;
    n.id = id;
    n.playItemId = item;
    n.nextId = next;
    n.returnId = ret;
    n.line = line;
    return n;
}

SelectionNode Menu(const std::string& id, const std::string& item, std::vector<std::string> choices,
                   const std::string& def = "", const std::string& timeout = "", int line = 0) {
    SelectionNode n;
    n.id = id;
    n.playItemId = item;
    n.defaultId = def;
    n.timeoutId = timeout;
    n.line = line;
    int number = 1;
    for (std::string& c : choices) n.items.push_back({number++, std::move(c)});
    return n;
}

TEST(PbcReach, WhatNoLinkReachesIsNamedWithItsLine) {
    const struct {
        const char* name;
        std::vector<PlayListNode> plays;
        std::vector<SelectionNode> menus;
        std::string start;
        std::vector<std::string> unreached;  // "what@line"
    } cases[] = {
        {"all reached through choices",
         {Play("P1", "AVSEQ01", "P2", "M", 5), Play("P2", "AVSEQ02", "", "M", 6)},
         {Menu("M", "SEGMENU", {"P1"}, "", "", 4)}, "M", {"segment item SEGCLIP@12"}},
        {"a list no link names",
         {Play("P1", "AVSEQ01", "", "", 5), Play("P2", "AVSEQ02", "", "", 6)}, {}, "P1",
         {"list P2@6", "track AVSEQ02@2", "segment item SEGCLIP@12", "segment item SEGMENU@11"}},
        {"default and timeout links count",
         {Play("P1", "AVSEQ01"), Play("P2", "AVSEQ02"), Play("C", "SEGCLIP")},
         {Menu("M", "SEGMENU", {"NONE"}, "P1", "P2")}, "M", {"list C@0", "segment item SEGCLIP@12"}},
        {"a cycle of links ends",
         {Play("P1", "AVSEQ01", "P2"), Play("P2", "AVSEQ02", "P1"), Play("C", "SEGCLIP", "C")},
         {Menu("M", "SEGMENU", {"P1", "C"})}, "M", {}},
        {"a disc without lists", {}, {}, "", {}},
    };
    for (const auto& c : cases) {
        PbcScript pbc;
        pbc.playLists = c.plays;
        pbc.selections = c.menus;
        pbc.startListId = c.start;
        TrackList tracks;
        for (int i = 1; i <= 2; ++i) {
            TrackEntry t;
            t.id = "AVSEQ0" + std::to_string(i);
            t.line = i;
            tracks.Insert(t);
        }
        SegmentList segments;
        SegmentItem menu, clip;
        menu.id = "SEGMENU";
        menu.line = 11;
        clip.id = "SEGCLIP";
        clip.line = 12;
        segments.Insert(menu);
        segments.Insert(clip);
        std::vector<std::string> got;
        for (const Unreached& u : FindUnreachedContent(pbc, tracks, segments))
            got.push_back(u.what + "@" + std::to_string(u.line));
        EXPECT_EQ(got, c.unreached) << c.name;
    }
}

}  // namespace
}  // namespace qorvcd
