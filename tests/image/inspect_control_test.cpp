// The inspector's view of the control files made with the writers' encoders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/lot.h"
#include "content/psd_records.h"
#include "image/inspect_visitor.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_record.h"

namespace qorvcd {
namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The text output without its indentation, to check what follows what.
std::string Unindented(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == ' ') continue;
        lineStart = c == '\n';
        out += c;
    }
    return out;
}

std::vector<uint8_t> EntriesBytes() {
    const char id[8] = {'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D'};
    EntriesTable table(EncodeEntriesHeader(std::span<const char, 8>(id), 1));
    std::string error;
    EXPECT_TRUE(table.Add(2, 467, error)) << error;
    const auto bytes = table.Bytes();
    return {bytes.begin(), bytes.end()};
}

TEST(InspectControlFiles, PlaybackControlListsFollowLinksByListId) {
    // List 1: a play list of track 2 whose "next" is the selection list 2;
    // list 2: two choices back to list 1 and to the end list 3.
    PlayListRecord play;
    play.listId = 1;
    play.playItem = 2;
    play.previous = kNoListOffset;
    play.next = 16 / 8;
    play.returnTo = kNoListOffset;
    SelectionRecord menu;
    menu.baseNumber = 1;
    menu.listId = 2;
    menu.previous = 0;
    menu.next = kNoListOffset;
    menu.returnTo = kNoListOffset;
    menu.defaultList = kNoListOffset;
    menu.timeout = kNoListOffset;
    menu.playItem = 1000;
    menu.targets = {0, uint16_t((16 + menu.Size()) / 8)};
    EndListRecord end;

    std::vector<uint8_t> psd(16 + menu.Size() + kEndListSize, 0);
    play.Encode(psd.data());
    menu.Encode(psd.data() + 16);
    end.Encode(psd.data() + 16 + menu.Size());
    const std::vector<uint8_t> lot = BuildLot({0, 2, uint16_t((16 + menu.Size()) / 8)});

    bool ok = false;
    const std::string text = PrintInspectText([&](InspectVisitor& v) {
        v.BeginObject("");
        const bool decoded = VisitPlaybackControl(lot, psd, v);
        v.EndObject();
        return decoded;
    }, &ok);
    EXPECT_TRUE(ok) << text;
    EXPECT_TRUE(Contains(text, "type: play list\n")) << text;
    EXPECT_TRUE(Contains(text, "playItem: track 2\n")) << text;
    EXPECT_TRUE(Contains(text, "next: list 2\n")) << text;
    EXPECT_TRUE(Contains(text, "type: selection\n")) << text;
    EXPECT_TRUE(Contains(text, "playItem: segment 1000\n")) << text;
    EXPECT_TRUE(Contains(Unindented(text), "number: 1\ngoes to: list 1\n")) << text;
    EXPECT_TRUE(Contains(Unindented(text), "number: 2\ngoes to: list 3\n")) << text;
    EXPECT_TRUE(Contains(text, "type: end list\n")) << text;
}

TEST(InspectControlFiles, DamagedFilesBecomeErrorsNotCrashes) {
    std::vector<uint8_t> entries = EntriesBytes();
    entries[10] = 0x7F;  // a count far beyond what the record holds
    bool ok = true;
    const std::string json = PrintInspectJson([&](InspectVisitor& v) {
        v.BeginObject("");
        const bool decoded = VisitEntriesFile(entries, v);
        v.EndObject();
        return decoded;
    }, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(Contains(json, "\"error\": \"ENTRIES names")) << json;

    const std::vector<uint8_t> shortInfo(100, 0);
    ok = true;
    PrintInspectText([&](InspectVisitor& v) { return VisitInfoFile(shortInfo, v); }, &ok);
    EXPECT_FALSE(ok);

    // A LOT pointing past the PSD: the list is reported, the walk goes on.
    const std::vector<uint8_t> lot = BuildLot({0, 100});
    const std::vector<uint8_t> psd(16, 0);
    ok = true;
    const std::string text = PrintInspectText([&](InspectVisitor& v) { return VisitPlaybackControl(lot, psd, v); }, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(Contains(text, "list: 2\n")) << text;
    EXPECT_TRUE(Contains(text, "lies beyond the PSD")) << text;
}

TEST(InspectPrinters, JsonEscapesAndNestsWhatTextShows) {
    auto walk = [](InspectVisitor& v) {
        v.BeginObject("");
        v.Text("name", "A \"quoted\"\\ name\n");
        v.BeginList("empty");
        v.EndList();
        v.BeginList("numbers");
        v.Number("", -5);
        v.Number("", 7);
        v.EndList();
        v.Flag("flag", true);
        v.EndObject();
        return true;
    };
    EXPECT_EQ(PrintInspectJson(walk),
              "{\n  \"name\": \"A \\\"quoted\\\"\\\\ name\\n\",\n  \"empty\": [],\n"
              "  \"numbers\": [\n    -5,\n    7\n  ],\n  \"flag\": true\n}\n");
    EXPECT_EQ(PrintInspectText(walk), "name: A \"quoted\"\\ name.\nempty:\nnumbers:\n  - -5\n  - 7\nflag: yes\n");
}

}  // namespace
}  // namespace qorvcd
