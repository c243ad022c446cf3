// The play-back control of a decoded image as a player sees it: every list
// of the PSD with its links resolved to list numbers, the play items named
// by their files and times, and a navigator that follows the links the way a
// player's remote control does. The summary, the menu graph and
// `qorvcd navigate` all read this one model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imagetools/inspect.h"

namespace qorvcd {

// A link's target: a list number (1..), or one of these.
inline constexpr int kNoLink = 0;       // the link is "none"
inline constexpr int kBrokenLink = -1;  // the offset names no list

enum class PlaybackListKind { PlayList, Selection, EndList, Broken };

struct PlaybackLink {
    const char* name;  // "NEXT", "PREVIOUS", "RETURN", "DEFAULT", "TIMEOUT"
    int target = kNoLink;
};

struct PlaybackList {
    int number = 0;  // its list ID (its place in the LOT)
    PlaybackListKind kind = PlaybackListKind::Broken;
    std::string error;  // why the descriptor could not be read (Broken)
    uint16_t playItem = 0;
    unsigned itemCount = 1;  // play lists
    uint16_t playTime = 0;   // play lists, 1/15 second; 0: the whole item
    uint8_t wait = 0;
    uint8_t autoWait = 0;
    uint8_t loop = 0;        // selections
    uint8_t stopNumber = 0;  // end lists
    // The links a key can follow, in the order PREVIOUS, NEXT, RETURN, then
    // DEFAULT and TIMEOUT for a selection.
    std::vector<PlaybackLink> links;
    unsigned baseNumber = 1;   // the number of the first choice
    std::vector<int> choices;  // one target per selection number

    // The target of `name` ("NEXT" ...), kNoLink when the list has no such link.
    int Link(const std::string& name) const;
    const char* KindName() const;  // "play list", "selection", "end list", "unreadable list"
};

struct PlaybackModel {
    std::vector<PlaybackList> lists;  // lists[n - 1] is list n
    std::string error;                // the LOT or PSD could not be read
    bool present = false;             // the image has LOT and PSD

    const PlaybackList* Find(int number) const;
    // Lists that no chain of links reaches from list 1, the start list.
    std::vector<int> Unreachable() const;
};

PlaybackModel BuildPlaybackModel(const DecodedImage& image);

// Names play items by what the image holds: "track 2 (/MPEGAV/AVSEQ01.MPG,
// 0:03)", "entry 3 (track 3 +200 sectors)", "segment 1000 (/SEGMENT/ITEM0001.MPG)".
class PlayItemNames {
public:
    explicit PlayItemNames(const DecodedImage& image);
    std::string Describe(uint16_t playItem) const;
    // The ISO 9660 file that starts inside the track, empty when none does.
    std::string TrackFile(unsigned track) const;
    // The file holding segment item `index` (0 for the first segment).
    std::string SegmentFile(unsigned index) const;
    // "track 3 +200 sectors" of entry point `number` (1 for the first).
    std::string EntryPlace(unsigned number) const;
    // "m:ss" of the track's playing time when the disc records it (the SVCD
    // kinds), else of its length on the disc at 75 sectors a second.
    std::string TrackTime(unsigned track) const;
    unsigned EntryCount() const { return unsigned(entries_.size()); }

private:
    const DecodedImage& image_;
    int64_t firstSegmentSector_ = -1;
    std::vector<std::pair<unsigned, int64_t>> entries_;  // track, sector
    std::vector<uint64_t> playFrames_;  // playing time of track 2, 3 ... in 1/75 s
};

// "m:ss" of a count of sectors played at the disc's 75 sectors a second.
std::string DiscTimeText(uint64_t sectors);
// A list's wait as a player takes it: "no wait", "10 s", "forever".
std::string WaitText(uint8_t wait);
// The disc kind from its control files: "Video CD 3.0", "SVCD", "CVD",
// "SUPER-VCD"; "unknown" when there is no INFO.
std::string DiscKindText(const DecodedImage& image);

// The short summary of `inspect`: kind, album, volume, tracks, segments,
// entry points, menus and warnings.
std::string InspectSummary(const DecodedImage& image);

// The play-back control as a Graphviz digraph: one node per list with its
// play item and wait, one labelled edge per link, the start list marked.
std::string PlaybackGraphDot(const DecodedImage& image);

// Walks the lists the way a player does, from the start list.
class PlaybackNavigator {
public:
    PlaybackNavigator(const PlaybackModel& model, const PlayItemNames& names);

    int Current() const { return current_; }
    // What the player shows at the current list: the list, its play item
    // and the keys that lead somewhere. Every block starts "list N".
    std::string Describe() const;
    // Presses `key`: a number (a selection's choice), "next", "previous",
    // "return", "default" or "timeout" (also "prev", "ret"). Returns true
    // when it led to another list (Current() then names it); otherwise
    // `message` says why the player stays.
    bool Press(const std::string& key, std::string& message);

private:
    const PlaybackModel& model_;
    const PlayItemNames& names_;
    int current_ = 1;
};

}  // namespace qorvcd
