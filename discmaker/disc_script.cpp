#include "discmaker/disc_script.h"

#include <cmath>
#include <cstdio>

namespace qorvcd::discmaker {

namespace {

// A quoted script word must close within the reader's 255-character token.
constexpr size_t kMaxScriptName = 250;

constexpr const char* kMenuList = "MENU";
constexpr const char* kMenuSegment = "SEGMENU";

std::string Numbered(const char* prefix, size_t number, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%0*zu", prefix, digits, number);
    return text;
}

std::string VideoList(size_t index) { return Numbered("P", index + 1, 2); }
std::string ChapterList(size_t video, size_t chapter) {
    return VideoList(video) + Numbered("C", chapter + 2, 2);  // chapter 1 is the video's own list
}
std::string SlideList(size_t index) { return Numbered("S", index + 1, 3); }
std::string SlideSegment(size_t index) { return Numbered("SEGP", index + 1, 3); }

// The content code of a still in the segment table: the norm's still of
// normal or high resolution.
int StillVideoCode(VideoStandard norm, bool highResolution) {
    const int base = norm == VideoStandard::Ntsc ? 0x04 : 0x14;
    return highResolution ? base + 0x04 : base;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string AlbumName(const std::string& title) {
    std::string album;
    for (char c : title) album += c == '"' ? '\'' : (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    return album;
}

class ScriptText {
public:
    void Line(const std::string& line) { text_ += line + "\r\n"; }
    std::string Take() { return std::move(text_); }

private:
    std::string text_;
};

}  // namespace

std::string TrackId(DiscKind kind, size_t index) {
    return Numbered(kind == DiscKind::Vcd30 ? "MUSIC" : "AVSEQ", index + 1, 2);
}

std::vector<int> ChapterStarts(double seconds, double minutes) {
    std::vector<int> starts;
    if (!(minutes > 0)) return starts;
    for (int k = 1;; ++k) {
        const int start = int(std::lround(k * minutes * 60));
        if (start + 1.5 > seconds) break;
        if (start > 0 && (starts.empty() || start > starts.back())) starts.push_back(start);
    }
    return starts;
}

std::string ScriptNameProblem(const std::string& file) {
    if (file.find('"') != std::string::npos) return "its name holds a double quote, which a script cannot write";
    if (file.size() > kMaxScriptName)
        return "its name is longer than " + std::to_string(kMaxScriptName) + " characters, which a script cannot write";
    return "";
}

std::string AuthoringScript(const DiscPlan& plan) {
    const bool vcd30 = plan.kind == DiscKind::Vcd30;
    const bool menu = !plan.menuPicture.empty();
    const auto clauses = [&](const std::string& text) { return vcd30 ? std::string() : " " + text; };
    ScriptText s;
    s.Line("; Written by `qorvcd make`. Edit it and build the disc again with");
    s.Line(std::string(";   qorvcd build disc.txt -o disc.img --bin-cue") + (vcd30 ? " --vcd30" : ""));
    s.Line("; (file names are relative to this script's folder).");

    s.Line("[VCD]");
    switch (plan.kind) {
        case DiscKind::Svcd: s.Line("MODE = SVCD"); break;
        case DiscKind::Cvd: s.Line("MODE = CVD"); break;
        case DiscKind::SuperVcd: s.Line("MODE = SUPERVCD"); break;
        case DiscKind::Vcd30: break;  // no MODE word: the build's --vcd30
    }
    if (!plan.title.empty()) s.Line("ALBUM = " + Quoted(AlbumName(plan.title)));
    // The format version readers expect of each kind (CVD readers take 1.1).
    s.Line(vcd30 ? "VERSION = 2.0" : plan.kind == DiscKind::Cvd ? "VERSION = 1.1" : "VERSION = 1.0");
    s.Line("VOLUME = 1");
    s.Line("ANZVOL = 1");

    // The PAL/NTSC, AUDIO and TIME words are checked, not trusted: the build
    // takes the stream's own values.
    const char* normWord = plan.norm == VideoStandard::Ntsc ? "NTSC" : "PAL";
    s.Line("[TRACK]");
    for (size_t i = 0; i < plan.videos.size(); ++i) {
        const long seconds = std::lround(plan.videos[i].seconds);
        s.Line("MPEGTRACK " + TrackId(plan.kind, i) + " " + Quoted(plan.videos[i].file) +
               clauses(std::string(normWord) + " AUDIO 2 TIME " + std::to_string(seconds)));
    }

    s.Line("[PBC]");
    if (menu || !plan.pictures.empty()) {
        s.Line("SEGMENT");
        const auto still = [&](const PlannedPicture& picture) {
            const VideoStandard norm = picture.norm == VideoStandard::Unknown ? plan.norm : picture.norm;
            return clauses("AUDIO 0 VIDEO " + std::to_string(StillVideoCode(norm, picture.highResolution)));
        };
        if (menu) s.Line(std::string(kMenuSegment) + " = " + Quoted(plan.menuPicture) + still({"", plan.menuHighResolution}));
        for (size_t i = 0; i < plan.pictures.size(); ++i)
            s.Line(SlideSegment(i) + " = " + Quoted(plan.pictures[i].file) + still(plan.pictures[i]));
        s.Line("ENDSEGMENT");
    }

    // The order of play: the videos, then the slideshow. With a menu every
    // video goes back to it; without one each goes on to the next.
    const std::string none = "NONE";
    const std::string home = menu ? kMenuList : none;
    const std::string firstSlide = plan.pictures.empty() ? home : SlideList(0);
    if (menu) {
        std::string items;
        size_t number = 1;
        for (size_t i = 0; i < plan.videos.size(); ++i) items += " " + std::to_string(number++) + " " + VideoList(i);
        if (!plan.pictures.empty()) items += " " + std::to_string(number++) + " " + firstSlide;
        const std::string first = plan.videos.empty() ? firstSlide : VideoList(0);
        s.Line(std::string("SELECTION ") + kMenuList + " PREVIOUS NONE NEXT NONE RETURN NONE DEFAULT " + first +
               " TIMEOUT NONE WAIT 255 LOOP 1 PLAYITEM " + kMenuSegment + " ITEMS" + items + " ENDITEMS ENDSELECT");
    }
    for (size_t i = 0; i < plan.videos.size(); ++i) {
        const std::string previous = i > 0 ? VideoList(i - 1) : home;
        const std::string next = menu ? home : i + 1 < plan.videos.size() ? VideoList(i + 1) : firstSlide;
        const std::string track = TrackId(plan.kind, i);
        s.Line("PLAYLIST " + VideoList(i) + " PREVIOUS " + previous + " NEXT " + next + " RETURN " + home +
               " WAIT 0 AUTOWAIT 0 PLAY " + track + " ENDPLAYLIST");
        // A chapter is the track played from a later start: an entry point.
        // It plays to the end of the track, so it goes on as the video does.
        const std::vector<int> starts = ChapterStarts(plan.videos[i].seconds, plan.chapterMinutes);
        const long end = long(std::floor(plan.videos[i].seconds));
        for (size_t c = 0; c < starts.size(); ++c) {
            const std::string before = c == 0 ? VideoList(i) : ChapterList(i, c - 1);
            s.Line("PLAYLIST " + ChapterList(i, c) + " PREVIOUS " + before + " NEXT " + next + " RETURN " + home +
                   " WAIT 0 AUTOWAIT 0 PLAY " + track + " FROM " + std::to_string(starts[c]) + " TO " +
                   std::to_string(end) + " ENDPLAYLIST");
        }
    }
    for (size_t i = 0; i < plan.pictures.size(); ++i) {
        const std::string previous = i > 0                   ? SlideList(i - 1)
                                     : plan.videos.empty()   ? home
                                     : menu                  ? home
                                                             : VideoList(plan.videos.size() - 1);
        const std::string next = i + 1 < plan.pictures.size() ? SlideList(i + 1) : home;
        s.Line("PLAYLIST " + SlideList(i) + " PREVIOUS " + previous + " NEXT " + next + " RETURN " + home + " WAIT " +
               std::to_string(plan.slideSeconds) + " AUTOWAIT 0 PLAY " + SlideSegment(i) + " ENDPLAYLIST");
    }
    if (menu) {
        s.Line(std::string("STARTLIST ") + kMenuList);
    } else if (!plan.videos.empty()) {
        s.Line("STARTLIST " + VideoList(0));
    } else if (!plan.pictures.empty()) {
        s.Line("STARTLIST " + SlideList(0));
    }
    return s.Take();
}

}  // namespace qorvcd::discmaker
