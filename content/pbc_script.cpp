#include "content/pbc_script.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "content/content_ids.h"
#include "platform/log_list.h"
#include "script/script_reader.h"

namespace qorvcd {

namespace {

// Seconds as written (fractions allowed) to whole hundredths, truncated;
// values beyond the field's range are held at its ends.
int32_t HundredthsOf(double seconds) {
    const double hundredths = std::trunc(seconds * 100.0);
    if (std::isnan(hundredths)) return 0;
    return int32_t(std::clamp(hundredths, double(std::numeric_limits<int32_t>::min()),
                              double(std::numeric_limits<int32_t>::max())));
}

// Whole seconds of the played part, rounded half up, in 1/15 second.
int32_t PlayTimeOf(int32_t startTime, int32_t endTime) {
    const int64_t seconds = (int64_t(endTime) - startTime + 50) / 100;
    if (seconds < 0) return 0;
    return int32_t(std::min<int64_t>(seconds * 15, std::numeric_limits<int32_t>::max()));
}

class PbcReader {
  public:
    PbcReader(ScriptReader& script, const BuildContext& ctx, std::string_view prefix,
              PbcScript& pbc)
        : script_(script), ctx_(ctx), prefix_(prefix), pbc_(pbc) {}

    bool Read();

  private:
    enum class Outcome { Next, EndOfSection, Failed };

    std::string_view Next() { return TokenText(script_.NextTokenUpper()); }
    std::string_view NextAsWritten() { return TokenText(script_.NextToken()); }
    // An ID token checked against the ID field's size.
    bool ReadId(std::string& out, const char* what);
    bool Fail(const std::string& message) {
        ctx_.MessageError(message);
        return false;
    }
    void TakeAsStartList(const std::string& id) {
        if (pbc_.startListId.empty()) pbc_.startListId = id;
    }
    // Reads "KEYWORD id" when the current token is KEYWORD.
    bool OptionalId(std::string_view& token, std::string_view keyword, std::string& out);
    bool OptionalNumber(std::string_view& token, std::string_view keyword, int32_t& out);

    void SkipSegmentBlock();
    bool ReadPlayList();
    void ReadPlayedPart(PlayListNode& node, std::string_view& token);
    bool ReadSelection();
    bool ReadItems(SelectionNode& node);
    Outcome ReadStopList();

    ScriptReader& script_;
    const BuildContext& ctx_;
    std::string_view prefix_;
    PbcScript& pbc_;
};

bool PbcReader::ReadId(std::string& out, const char* what) {
    const std::string_view id = Next();
    if (!CheckScriptId(id, what, ctx_)) return false;
    out = std::string(id);
    return true;
}

bool PbcReader::OptionalId(std::string_view& token, std::string_view keyword, std::string& out) {
    if (token != keyword) return true;
    if (!ReadId(out, "Link")) return false;
    token = Next();
    return true;
}

bool PbcReader::OptionalNumber(std::string_view& token, std::string_view keyword, int32_t& out) {
    if (token != keyword) return true;
    out = ScriptInt(Next());
    token = Next();
    return true;
}

void PbcReader::SkipSegmentBlock() {
    for (std::string_view token = Next(); !token.empty() && token != "ENDSEGMENT"; token = Next()) {
    }
}

bool PbcReader::ReadPlayList() {
    PlayListNode node;
    node.type = PbcListType::PlayList;
    node.line = script_.TokenLine();
    if (!ReadId(node.id, "List")) return false;
    std::string_view token = Next();
    // The clauses are optional but must come in this order.
    if (!OptionalId(token, "PREVIOUS", node.previousId) ||
        !OptionalId(token, "NEXT", node.nextId) || !OptionalId(token, "RETURN", node.returnId))
        return false;
    OptionalNumber(token, "PLAYTIME", node.playTime);
    OptionalNumber(token, "WAIT", node.wait);
    OptionalNumber(token, "AUTOWAIT", node.autoWait);
    if (token != "PLAY")
        return Fail(Format("PLAYLIST %s don't define PLAY keyword", node.id.c_str()));
    if (!ReadId(node.playItemId, "Play item")) return false;
    token = Next();
    if (node.playItemId.compare(0, prefix_.size(), prefix_) == 0 && token != "ENDPLAYLIST")
        ReadPlayedPart(node, token);
    if (token != "ENDPLAYLIST")
        return Fail(Format("PLAYLIST %s don't define ENDPLAYLIST keyword", node.id.c_str()));
    TakeAsStartList(node.id);
    pbc_.playLists.push_back(std::move(node));
    return true;
}

// "PLAY track w1 start w2 end": the two words are free, the times are seconds.
// `token` holds w1 and comes back holding the token after the end time.
void PbcReader::ReadPlayedPart(PlayListNode& node, std::string_view& token) {
    const double start = ScriptReal(Next());
    Next();  // the second free word
    const double end = ScriptReal(Next());
    node.startTime = HundredthsOf(start);
    node.endTime = HundredthsOf(end);
    node.playTime = PlayTimeOf(node.startTime, node.endTime);
    token = Next();
}

bool PbcReader::ReadSelection() {
    SelectionNode node;
    node.line = script_.TokenLine();
    if (!ReadId(node.id, "List")) return false;
    std::string_view token = Next();
    if (!OptionalId(token, "PREVIOUS", node.previousId) ||
        !OptionalId(token, "NEXT", node.nextId) || !OptionalId(token, "RETURN", node.returnId) ||
        !OptionalId(token, "DEFAULT", node.defaultId) ||
        !OptionalId(token, "TIMEOUT", node.timeoutId))
        return false;
    OptionalNumber(token, "WAIT", node.wait);
    OptionalNumber(token, "LOOP", node.loop);
    if (token == "JUMP") {
        node.jump = Next() == "COMPLETE" ? kJumpComplete : 0;
        token = Next();
    }
    if (token != "PLAYITEM")
        return Fail(Format("SELECTION %s don't define PLAYITEM keyword", node.id.c_str()));
    if (!ReadId(node.playItemId, "Play item")) return false;
    token = Next();
    if (token == "ITEMS") {
        if (!ReadItems(node)) return false;
        token = Next();
    }
    if (token != "ENDSELECT")
        return Fail(Format("SELECTION %s don't define ENDPLAYLIST keyword", node.id.c_str()));
    TakeAsStartList(node.id);
    pbc_.selections.push_back(std::move(node));
    return true;
}

// "{number id} ENDITEMS": numbers and the closing word are read as written.
bool PbcReader::ReadItems(SelectionNode& node) {
    for (std::string_view token = NextAsWritten(); token != "ENDITEMS"; token = NextAsWritten()) {
        SelectionItem item;
        item.number = ScriptInt(token);
        if (item.number < kMinSelectionNumber || item.number > kMaxSelectionNumber)
            return Fail(Format("Select number=%d is error, Must 1-99", item.number));
        if (!ReadId(item.targetId, "Selection item")) return false;
        // The descriptor counts its choices in one byte; a player offers 1..99.
        if (node.itemCount == kMaxSelectionNumber) {
            ctx_.LogError(Format("Error: SELECTION %s has more than %d items", node.id.c_str(),
                                kMaxSelectionNumber));
            return false;
        }
        if (node.items.empty()) node.baseNumber = item.number;
        ++node.itemCount;
        node.items.push_back(std::move(item));
    }
    return true;
}

PbcReader::Outcome PbcReader::ReadStopList() {
    PlayListNode node;
    node.type = PbcListType::EndList;
    node.line = script_.TokenLine();
    if (!ReadId(node.id, "List")) return Outcome::Failed;
    const std::string_view number = Next();
    if (number.empty() || IsSectionHeader(number)) return Outcome::EndOfSection;
    node.stopNumber = ScriptInt(number);
    const std::string_view item = Next();
    if (item.empty() || IsSectionHeader(item)) return Outcome::EndOfSection;
    if (!CheckScriptId(item, "Play item", ctx_)) return Outcome::Failed;
    node.playItemId = std::string(item);
    pbc_.playLists.push_back(std::move(node));
    return Outcome::Next;
}

bool PbcReader::Read() {
    for (std::string_view token = Next();
         !token.empty() && !IsSectionHeader(token) && token != "ENDFILE"; token = Next()) {
        if (token == "SEGMENT") {
            SkipSegmentBlock();
        } else if (token == "PLAYLIST") {
            if (!ReadPlayList()) return false;
        } else if (token == "SELECTION") {
            if (!ReadSelection()) return false;
        } else if (token == "STOPLIST") {
            const Outcome outcome = ReadStopList();
            if (outcome == Outcome::Failed) return false;
            if (outcome == Outcome::EndOfSection) return true;
        } else if (token == "STARTLIST") {
            if (!ReadId(pbc_.startListId, "Start list")) return false;
        }
        // Any other word starts no statement and is skipped.
    }
    return true;
}

}  // namespace

bool ReadPbcScript(ScriptReader& script, const BuildContext& ctx, std::string_view trackIdPrefix,
                   PbcScript& pbc) {
    pbc.Clear();
    if (!script.FindSection("[PBC]")) return true;
    pbc.sectionPresent = true;
    return PbcReader(script, ctx, trackIdPrefix, pbc).Read();
}

}  // namespace qorvcd
