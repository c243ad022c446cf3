#include "script/script_lint.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "script/script_reader.h"

namespace qorvcd {
namespace {

const std::vector<std::string_view> kSections = {"[VCD]", "[TRACK]", "[PBC]", "[ISO9660]", "[VCD30]"};
const std::vector<std::string_view> kAlbumKeys = {"MODE", "ALBUM", "VERSION", "VOLUME", "ANZVOL"};
const std::vector<std::string_view> kVolumeKeys = {
    "SYSTEMID",      "VOLUME_ID",     "VOLUME_SETID",  "PUBLISHER",         "DATA_PREPARER",
    "APPLICATION",   "COPYRIGHT_FILE", "ABSTRACT_FILE", "BIBLIOGRAPH_FILE", "CREATION_DATE",
    "MODIFICATION_DATE", "EXPIRATION_DATE", "EFFECTIVE_DATE", "VOLUME_NO", "SEQUENCE_NO"};
const std::vector<std::string_view> kTrackKeys = {"MPEGTRACK"};
const std::vector<std::string_view> kPbcStatements = {"SEGMENT", "PLAYLIST", "SELECTION", "STOPLIST", "STARTLIST"};
const std::vector<std::string_view> kPlayListClauses = {"PREVIOUS", "NEXT",     "RETURN", "PLAYTIME",
                                                        "WAIT",     "AUTOWAIT", "PLAY"};
const std::vector<std::string_view> kSelectionClauses = {"PREVIOUS", "NEXT", "RETURN", "DEFAULT", "TIMEOUT",
                                                         "WAIT",     "LOOP", "JUMP",   "PLAYITEM"};

// Letters to insert, delete or change, and neighbours to swap, to turn one
// word into the other (a swap is the commonest slip of the fingers).
size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

struct Token {
    std::string text;  // upper-cased; empty at the end of the file
    int line = 0;
};

class Linter {
public:
    Linter(ScriptReader& reader, const LintFacts& facts, const DiagnosticSink& sink)
        : reader_(reader), facts_(facts), sink_(sink) {}

    void Run();

private:
    Token Next() {
        const char* t = reader_.NextTokenUpper();
        previousLine_ = current_.line;
        current_ = {t ? t : "", reader_.TokenLine()};
        if (!t) current_.text = "?";  // a rejected word; the build reports it
        return current_;
    }
    bool AtEnd() const { return current_.text.empty() || current_.text == "ENDFILE"; }
    bool AtHeader() const { return !current_.text.empty() && current_.text[0] == '['; }
    bool StartsLine() const { return current_.line != previousLine_; }
    void Warn(int line, const std::string& text) { sink_({facts_.displayName, line, Severity::Warning, text}); }
    void Unknown(const std::vector<std::string_view>& keywords, const char* where, const std::string& extra = "");

    void KeyValueSection(const std::vector<std::string_view>& keys, const char* section, bool album);
    void TrackSection();
    void PbcSection();
    void PbcList(bool selection);
    void SkipSection();
    void CheckMode(const Token& value);
    void CheckVersion();

    ScriptReader& reader_;
    const LintFacts& facts_;
    const DiagnosticSink& sink_;
    Token current_;
    int previousLine_ = 0;
    bool pbcSection_ = false;
    bool vcdSection_ = false;
    std::string version_;  // the VERSION value; empty when absent
    int versionLine_ = 0;
};

void Linter::Unknown(const std::vector<std::string_view>& keywords, const char* where, const std::string& extra) {
    std::string text = "unknown keyword " + current_.text + " in " + where;
    if (const std::string near = NearestKeyword(current_.text, keywords); !near.empty())
        text += " (did you mean " + near + "?)";
    Warn(current_.line, text + extra);
}

void Linter::Run() {
    Next();
    while (!AtEnd()) {
        if (!AtHeader()) {
            Next();  // words before the first section are never read
            continue;
        }
        const std::string section = current_.text;
        const int line = current_.line;
        if (section == "[VCD]") {
            vcdSection_ = true;
            KeyValueSection(kAlbumKeys, "[VCD]", true);
        } else if (section == "[ISO9660]") {
            KeyValueSection(kVolumeKeys, "[ISO9660]", false);
        } else if (section == "[TRACK]") {
            TrackSection();
        } else if (section == "[PBC]") {
            pbcSection_ = true;
            PbcSection();
        } else if (section == "[VCD30]") {
            SkipSection();
        } else {
            std::string text = "unknown section " + section;
            if (const std::string near = NearestKeyword(section, kSections); !near.empty())
                text += " (did you mean " + near + "?)";
            text += "; the section is not read";
            Warn(line, text);
            SkipSection();
        }
    }
    CheckVersion();
}

void Linter::SkipSection() {
    Next();
    while (!AtEnd() && !AtHeader()) Next();
}

// KEY = value lines: a word followed by "=" is a key.
void Linter::KeyValueSection(const std::vector<std::string_view>& keys, const char* section, bool album) {
    Token previous = Next();
    while (!AtEnd() && !AtHeader()) {
        const Token token = Next();
        if (token.text == "=") {
            const Token key = previous;
            const Token value = Next();
            if (std::find(keys.begin(), keys.end(), key.text) == keys.end()) {
                const Token saved = current_;
                current_ = key;
                Unknown(keys, section, "; the line is not read");
                current_ = saved;
            } else if (album && key.text == "MODE") {
                CheckMode(value);
            } else if (album && key.text == "VERSION") {
                version_ = value.text;
                versionLine_ = key.line;
            }
            previous = Next();
            continue;
        }
        previous = token;
    }
}

void Linter::CheckMode(const Token& value) {
    if (value.text == "SVCD" || value.text == "CVD" || value.text == "SUPERVCD") return;
    if (value.text == "VCD30" && facts_.kind == DiscKind::Vcd30) return;
    Warn(value.line, "MODE " + value.text + " is not a disc kind (SVCD, CVD or SUPERVCD; a Video CD 3.0 names none " +
                         "and is built with --vcd30): the line is passed over and this disc is a " +
                         TextsOf(facts_.kind).headerLabel);
}

void Linter::CheckVersion() {
    if (!vcdSection_) return;
    const bool svcdLike = facts_.kind == DiscKind::Svcd || facts_.kind == DiscKind::SuperVcd;
    const char* wanted = facts_.kind == DiscKind::Vcd30 ? (pbcSection_ ? "2.0" : nullptr) : svcdLike ? "1.0" : nullptr;
    if (version_.empty()) {
        Warn(0, std::string("no VERSION in [VCD]: the disc information says version 0") +
                    (wanted ? std::string("; this disc wants VERSION = ") + wanted : std::string()));
        return;
    }
    if (!wanted) return;
    const int major = std::atoi(version_.c_str());
    const size_t dot = version_.find('.');
    const int minor = dot == std::string::npos ? 0 : std::atoi(version_.c_str() + dot + 1);
    const int wantedMajor = wanted[0] - '0';
    if (major != wantedMajor || minor != 0)
        Warn(versionLine_, "VERSION " + version_ + " does not suit a " + TextsOf(facts_.kind).headerLabel +
                               (facts_.kind == DiscKind::Vcd30 ? " with menus" : "") + "; it wants VERSION = " +
                               wanted);
}

// One MPEGTRACK line per track; the first other word at the start of a line
// ends the track list.
void Linter::TrackSection() {
    Next();
    while (!AtEnd() && !AtHeader()) {
        if (StartsLine() && current_.text != "MPEGTRACK") {
            Unknown(kTrackKeys, "[TRACK]", "; the track list ends here");
            SkipSection();
            return;
        }
        Next();
    }
}

void Linter::PbcSection() {
    Next();
    while (!AtEnd() && !AtHeader()) {
        const std::string statement = current_.text;
        if (statement == "SEGMENT") {
            while (!AtEnd() && !AtHeader() && current_.text != "ENDSEGMENT") Next();
            if (current_.text == "ENDSEGMENT") Next();
        } else if (statement == "PLAYLIST" || statement == "SELECTION") {
            PbcList(statement == "SELECTION");
        } else if (statement == "STOPLIST") {
            for (int i = 0; i < 4 && !AtEnd() && !AtHeader(); ++i) Next();
        } else if (statement == "STARTLIST") {
            Next();
            Next();
        } else {
            // The words up to the next statement are skipped with it.
            Unknown(kPbcStatements, "[PBC]", "; the words up to the next statement are skipped");
            Next();
            while (!AtEnd() && !AtHeader() &&
                   std::find(kPbcStatements.begin(), kPbcStatements.end(), current_.text) == kPbcStatements.end())
                Next();
        }
    }
}

// PLAYLIST id {clause value} PLAY item ... ENDPLAYLIST, or SELECTION id
// {clause value} PLAYITEM item [ITEMS {n id} ENDITEMS] ENDSELECT.
void Linter::PbcList(bool selection) {
    const std::vector<std::string_view>& clauses = selection ? kSelectionClauses : kPlayListClauses;
    const char* where = selection ? "a SELECTION" : "a PLAYLIST";
    const std::string end = selection ? "ENDSELECT" : "ENDPLAYLIST";
    Next();  // the ID
    Next();
    bool played = false;
    while (!AtEnd() && !AtHeader() && current_.text != end) {
        const std::string word = current_.text;
        if (std::find(kPbcStatements.begin(), kPbcStatements.end(), word) != kPbcStatements.end()) return;
        if (played) {
            if (selection && word == "ITEMS") {
                while (!AtEnd() && !AtHeader() && current_.text != "ENDITEMS" && current_.text != end) Next();
                if (current_.text == "ENDITEMS") Next();
                continue;
            }
            if (!selection || word == "ENDITEMS") {  // a track's played part: free words and times
                if (!selection && !NearestKeyword(word, {std::string_view(end)}).empty())
                    Unknown({std::string_view(end)}, where);
                Next();
                continue;
            }
            std::vector<std::string_view> closing = {std::string_view(end), "ITEMS"};
            Unknown(closing, where);
            Next();
            continue;
        }
        if (std::find(clauses.begin(), clauses.end(), word) == clauses.end()) {
            // The build stops at this word; the rest of the list says nothing more.
            Unknown(clauses, where);
            while (!AtEnd() && !AtHeader() && current_.text != end) Next();
            break;
        }
        played = word == (selection ? "PLAYITEM" : "PLAY");
        Next();  // the clause's value
        Next();
    }
    if (current_.text == end) Next();
}

}  // namespace

std::string NearestKeyword(std::string_view word, const std::vector<std::string_view>& candidates) {
    std::string best;
    size_t bestDistance = 0;
    for (std::string_view candidate : candidates) {
        const size_t distance = EditDistance(word, candidate);
        const size_t allowed = std::max<size_t>(1, std::min(word.size(), candidate.size()) / 3);
        if (distance > allowed) continue;
        if (best.empty() || distance < bestDistance) {
            best = std::string(candidate);
            bestDistance = distance;
        }
    }
    return best;
}

void LintScript(const std::string& path, const LintFacts& facts, const DiagnosticSink& sink) {
    if (!sink) return;
    ScriptReader reader;
    if (!reader.OpenScript(path)) return;
    Linter(reader, facts, sink).Run();
}

}  // namespace qorvcd
