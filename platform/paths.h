// Paths as scripts and settings files write them, on a POSIX file system.
//
// Both '\' and '/' separate components. Names are matched without regard to
// case: when a path does not exist as written, each component is looked up
// case-insensitively. Nothing here changes the process's working directory;
// relative paths resolve against a folder the caller passes in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/file_identity.h"

namespace qorvcd {

// Converts '\' to '/' (a leading drive letter "C:" is dropped).
std::string ToNativeSeparators(const std::string& path);
bool IsAbsolutePath(const std::string& path);
// Joins a folder and a relative path; an absolute `path` is returned as is.
std::string JoinPath(const std::string& folder, const std::string& path);
// Resolves `path` (relative ones against `baseFolder`) and, where the exact
// spelling does not exist, finds each component case-insensitively. The
// result is the existing file's real path, or, for a file still to be
// created, the real parent folder plus the last component as given (or the
// spelling of an existing entry of another case).
std::string ResolvePath(const std::string& path, const std::string& baseFolder);
// The same; `lookupFailed` tells whether a folder on the way was there but
// could not be listed, so that "not found" may not be the truth.
std::string ResolvePath(const std::string& path, const std::string& baseFolder, bool* lookupFailed);

// ResolvePath for many paths of a few folders (every word of a script, say),
// answering from folder listings: each folder is listed once, and a name is
// then found, or found missing, without asking the system again. `exists`
// tells whether every component was found.
class PathResolver {
public:
    std::string Resolve(const std::string& path, const std::string& baseFolder, bool* exists = nullptr);
    // True once a folder on some path was there but could not be listed, so
    // that a "not found" may not be the truth.
    bool LookupFailed() const { return lookupFailed_; }

private:
    struct Listing {
        std::unordered_set<std::string> names;
        // Each upper-cased name with the first entry of that name in listing
        // order: the entry ResolvePath finds.
        std::unordered_map<std::string, std::string> firstOfUpper;
    };
    struct Resolved {
        std::string path;
        bool found = true;
    };
    const Listing* ListingOf(const std::string& folder);
    void WalkInto(Resolved& at, const std::vector<std::string>& parts);
    std::unordered_map<std::string, std::optional<Listing>> listings_;
    std::unordered_map<std::string, Resolved> bases_;
    bool lookupFailed_ = false;
};

// Longest path a script may name or the build may make of its names: paths
// were always kept in buffers of 260 bytes.
inline constexpr size_t kMaxPathLength = 259;

// Pieces of a path in the manner of the C runtime's splitter.
struct PathParts {
    std::string drive;   // "C:" or empty
    std::string folder;  // with trailing separator, or empty
    std::string name;    // base name without extension
    std::string ext;     // with the dot, or empty
};
PathParts SplitPath(const std::string& path);
std::string FolderOf(const std::string& path);  // folder with trailing '/', "./" when none
std::string FileNameOf(const std::string& path);

std::string ToUpper(std::string text);
std::string ToLower(std::string text);
// Case-insensitive wildcard match of '*' and '?' (e.g. "*.MP*").
bool WildcardMatch(const std::string& pattern, const std::string& name);

struct FoundEntry {
    std::string name;
    bool isDirectory = false;
    // The entry is exactly a plain directory (not read-only, hidden, ...).
    // On POSIX: a directory that is writable by its owner and whose name does
    // not start with a dot.
    bool isPlainDirectory = false;
    uint64_t size = 0;
    // What the name leads to, links followed; Other also when it cannot be
    // examined (a link to nothing, say).
    FileType type = FileType::Other;
    // The entry itself is a symbolic link.
    bool isLink = false;
};
// Entries of `folder` whose names match `pattern`, in the order the
// folder lists them ("." and ".." included, as the C runtime gives them).
std::vector<FoundEntry> FindFiles(const std::string& folder, const std::string& pattern);
// The same, false when the folder cannot be listed (then `found` is empty).
bool FindFiles(const std::string& folder, const std::string& pattern, std::vector<FoundEntry>& found);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool MakeDirectory(const std::string& path, bool ownerOnly = false);
// Renames a file, replacing `to` when it exists (atomic on one file system:
// writers finish a temporary file and rename it into place).
bool RenamePath(const std::string& from, const std::string& to);
// Removes a folder only when it is empty; false when it stays.
bool RemoveEmptyDirectory(const std::string& path);
// Removes a folder and everything in it; false when anything stays.
bool RemoveTree(const std::string& path);
// Creates a fresh, owner-only folder with the prefix inside `parent`.
std::optional<std::string> MakeUniqueDirectory(const std::string& parent, const std::string& prefix);
// Free bytes for an unprivileged writer on the file system holding `path`.
std::optional<uint64_t> FreeDiskSpace(const std::string& path);
// The OS temporary folder ($TMPDIR or /tmp).
std::string TempFolder();
// The folder of the running executable, with trailing '/'.
std::string ExecutableFolder();

}  // namespace qorvcd
