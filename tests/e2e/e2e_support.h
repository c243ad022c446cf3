// Whole-disc test helpers: the four disc kinds, their media (made once with
// ffmpeg, packed with the program), builds through the command line, a flat
// view of what the inspector decodes, and the independent readers' listings.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace qorvcd::test {

struct KindCase {
    const char* name;           // test name suffix
    const char* mode;           // the [VCD] MODE value; empty for Video CD 3.0
    const char* packKind;       // `qorvcd pack --kind`
    const char* trackPrefix;    // track IDs: MUSIC or AVSEQ
    const char* infoPath;       // the disc information file
    const char* appFolder;      // where the application files land; empty when the kind has none
    bool vcd30;                 // MPEG-1 media, no AUDIO/VIDEO/TIME clauses, --vcd30
};
const std::vector<KindCase>& AllKinds();
inline void PrintTo(const KindCase& kind, std::ostream* os) { *os << kind.name; }

// Copies A.MPS and B.MPS (tracks, 3 s and 2 s), CLIP.MPS (a 1 s clip) and
// MENU.BMP (a still) into `folder`; returns the tracks' source streams.
std::vector<std::string> CopyKindMedia(const KindCase& kind, const std::string& folder);

// A disc of two tracks (A.MPS, B.MPS), a still menu (MENU.BMP) and a clip
// (CLIP.MPS) as segments, with a menu and play lists.
std::vector<std::string> WholeDiscScript(const KindCase& kind);
// The same script with a FOLDER list and, where the kind has them, application
// files, written to `folder`/disc.txt with the files it names.
void WriteWholeDiscWithFiles(const KindCase& kind, const std::string& folder);

// Writes `lines` with CR LF ends.
void WriteScript(const std::string& path, const std::vector<std::string>& lines);

// Runs `qorvcd build` with its work folder inside `folder`, `environment`
// ("SOURCE_DATE_EPOCH=1 ") before the command.
CommandResult BuildDisc(const KindCase& kind, const std::string& script, const std::string& image,
                        const std::string& folder, const std::string& extraOptions = "",
                        const std::string& environment = "");

// Every value the inspector reports, keyed by its path: "files.3.extent";
// fails the test unless the inspector decodes all of the image.
using FlatImage = std::map<std::string, std::string>;
FlatImage InspectFlat(const std::string& image);
size_t ListSize(const FlatImage& flat, const std::string& key);
int64_t NumberAt(const FlatImage& flat, const std::string& key);

// One line of a file-system listing: upper-case path, folder flag, extent, size.
struct ListedFile {
    std::string path;
    bool folder = false;
    uint32_t extent = 0, size = 0;
    bool operator<(const ListedFile& o) const { return path < o.path; }
    bool operator==(const ListedFile& o) const = default;
};
inline void PrintTo(const ListedFile& f, std::ostream* os) { *os << f.path << " @" << f.extent << " " << f.size; }
// The "[LSN n] size (recorded size) ... name" listings of cd-info and
// iso-info ("." and ".." left out), sorted by path.
std::vector<ListedFile> ParseIsoListing(const std::string& output);
// The same set as the inspector sees it.
std::vector<ListedFile> InspectedFiles(const FlatImage& flat);

// A reader's error, failure or assertion line (not cd-info's drive feature
// "C2 Errors", nor vcd-info's "++ WARN" notes).
inline constexpr const char* kReaderComplaint = R"(([Ee]rror[:!]|ERROR|[Ff]ailed|ASSERT|^\*\*))";

// Lines of `output` that match `pattern`, each as its capture groups.
std::vector<std::vector<std::string>> Matches(const std::string& output, const std::string& pattern);
// The text of vcd-info's "++ WARN:" lines in `output`, each once.
std::set<std::string> ReaderWarnings(const std::string& output);

// The first of the programs, or the CLI, that is missing; empty when none is.
std::string MissingTool(const std::vector<std::string>& programs);
// The output of a command line that must succeed.
std::string Output(const std::string& commandLine);
std::string Quote(const std::string& text);

}  // namespace qorvcd::test
