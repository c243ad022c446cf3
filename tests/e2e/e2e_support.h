// Whole-disc test helpers: the four disc kinds as one table, their test media
// (made once with ffmpeg and packed with the program), builds through the
// command line, a flat view of what the inspector decodes, and parsers for
// the listings of the independent readers (cd-info, iso-info, vcd-info).
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
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

// Media of one kind copied into `folder` under fixed names: A.MPS and B.MPS
// (tracks, 3 s and 2 s), CLIP.MPS (a 1 s segment clip), MENU.BMP (a still).
// Returns the paths of the two source streams the tracks were packed from.
std::vector<std::string> CopyKindMedia(const KindCase& kind, const std::string& folder);

// Writes `lines` with CR LF ends.
void WriteScript(const std::string& path, const std::vector<std::string>& lines);

// Runs `qorvcd build`; the work folder is made inside `folder`.
// `environment` is prefixed to the command line (e.g. "SOURCE_DATE_EPOCH=1 ").
CommandResult BuildDisc(const KindCase& kind, const std::string& script, const std::string& image,
                        const std::string& folder, const std::string& extraOptions = "",
                        const std::string& environment = "");

// Every value the inspector reports, keyed by its path of names, list
// elements numbered from 0: "files.3.extent", "entries.entries.0.sector".
using FlatImage = std::map<std::string, std::string>;
FlatImage InspectFlat(const std::string& image, bool* decodedAll);
// Number of elements of the list at `key` ("files", "entries.entries").
size_t ListSize(const FlatImage& flat, const std::string& key);
int64_t NumberAt(const FlatImage& flat, const std::string& key);

// One line of a file-system listing: upper-case path, folder flag, extent, size.
struct ListedFile {
    std::string path;
    bool folder = false;
    uint32_t extent = 0;
    uint32_t size = 0;
    bool operator<(const ListedFile& o) const { return path < o.path; }
    bool operator==(const ListedFile& o) const = default;
};
inline void PrintTo(const ListedFile& f, std::ostream* os) {
    *os << f.path << (f.folder ? "/" : "") << " @" << f.extent << " " << f.size;
}
// Parses the "[LSN n] size (recorded size) ... name" listings of cd-info,
// iso-info and vcd-info ("." and ".." left out), sorted by path.
std::vector<ListedFile> ParseIsoListing(const std::string& output);
// The same set as the inspector sees it.
std::vector<ListedFile> InspectedFiles(const FlatImage& flat);

// A reader's error, failure or assertion line (cd-info's "C2 Errors" is a
// drive feature, vcd-info's "++ WARN" lines are notes, neither counts).
inline constexpr const char* kReaderComplaint = R"(([Ee]rror[:!]|ERROR|[Ff]ailed|ASSERT|^\*\*))";

// Lines of `output` that match `pattern`, each as its capture groups.
std::vector<std::vector<std::string>> Matches(const std::string& output, const std::string& pattern);

bool HaveTools(const std::vector<std::string>& programs, std::string& missing);
std::string Quote(const std::string& text);

}  // namespace qorvcd::test
