// The authoring script of a one-command disc: the user's videos as tracks,
// their pictures as a slideshow, an optional menu still with one numbered
// choice per video, and play lists that start tracks later for chapters.
// The text is an ordinary script: the user may edit it and build it again.
#pragma once

#include <string>
#include <vector>

#include "core/disc_kind.h"
#include "mpeg/mpeg_probe.h"

namespace qorvcd::discmaker {

struct PlannedVideo {
    std::string file;      // as the script names it (relative to the script, or absolute)
    double seconds = 0;    // the source's playing time; 0 when unknown
};

struct PlannedPicture {
    std::string file;
    bool highResolution = false;  // the still's picture mode, for its content code
    VideoStandard norm = VideoStandard::Unknown;  // the still's own norm; unknown: the disc's
};

struct DiscPlan {
    DiscKind kind = DiscKind::Svcd;
    VideoStandard norm = VideoStandard::Pal;
    std::string title;                    // the album name; empty: none
    std::vector<PlannedVideo> videos;     // tracks 1, 2, ... in this order
    std::vector<PlannedPicture> pictures; // the slideshow after the videos
    std::string menuPicture;              // the menu still; empty: no menu
    bool menuHighResolution = false;
    double chapterMinutes = 0;            // an entry point every so many minutes; 0: none
    int slideSeconds = 5;                 // how long each picture of the slideshow stays
};

// The most videos and pictures one disc takes: 98 video tracks beside the
// data track, and menu choices numbered 1 to 99.
inline constexpr size_t kMaxVideos = 98;
inline constexpr size_t kMaxPictures = 500;

// Track IDs AVSEQ01... (MUSIC01... on Video CD 3.0).
std::string TrackId(DiscKind kind, size_t index);

// Chapter starts in whole seconds for a video of `seconds`, every `minutes`:
// only those that leave a second and a half of the video after them, so that
// a picture to start from follows each.
std::vector<int> ChapterStarts(double seconds, double minutes);

// The script with CR LF line ends. Every file name is written in quotes;
// the caller makes sure none holds a quote and each is short enough.
std::string AuthoringScript(const DiscPlan& plan);

// Why `file` cannot be named in a script (a quote in it, too long a name);
// empty when it can.
std::string ScriptNameProblem(const std::string& file);

}  // namespace qorvcd::discmaker
