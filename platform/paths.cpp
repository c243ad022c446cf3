#include "platform/paths.h"

#include "platform/file_faults.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace qorvcd {

namespace {

// Folder listings are put to the thread's fault plan first (a test seam).
DIR* OpenFolder(const std::string& path) {
    return AdmitFileOp(FileOp::ListFolder, path) ? ::opendir(path.c_str()) : nullptr;
}

bool HasDriveLetter(const std::string& p) {
    return p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':';
}

std::vector<std::string> SplitComponents(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '/') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The entry of `folder` whose name equals `name` without regard to case.
// `listingFailed` is set when a folder that is there cannot be listed.
std::string FindNoCase(const std::string& folder, const std::string& name, bool* listingFailed) {
    DIR* dir = OpenFolder(folder.empty() ? std::string(".") : folder);
    if (!dir) {
        if (errno != ENOENT && errno != ENOTDIR && listingFailed) *listingFailed = true;
        return {};
    }
    std::string found;
    while (dirent* e = ::readdir(dir)) {
        if (EqualsNoCase(e->d_name, name)) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

std::string ToNativeSeparators(const std::string& path) {
    std::string p = HasDriveLetter(path) ? path.substr(2) : path;
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

bool IsAbsolutePath(const std::string& path) {
    const std::string p = ToNativeSeparators(path);
    return !p.empty() && p[0] == '/';
}

std::string JoinPath(const std::string& folder, const std::string& path) {
    const std::string p = ToNativeSeparators(path);
    if (IsAbsolutePath(p) || folder.empty()) return p;
    std::string f = ToNativeSeparators(folder);
    if (f.back() != '/') f += '/';
    return f + p;
}

namespace {

// The walk of ResolvePath, with the folder lookup given.
template <typename FindEntry>
std::string ResolveWith(const std::string& path, const std::string& baseFolder, FindEntry&& findNoCase) {
    const std::string joined = JoinPath(baseFolder, path);
    if (joined.empty() || PathExists(joined)) return joined;
    const bool absolute = joined[0] == '/';
    std::string resolved = absolute ? "/" : "";
    const std::vector<std::string> parts = SplitComponents(joined);
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string next = resolved + parts[i];
        if (parts[i] != "." && parts[i] != ".." && !PathExists(next)) {
            const std::string match = findNoCase(resolved, parts[i]);
            if (!match.empty()) next = resolved + match;
        }
        resolved = next;
        if (i + 1 < parts.size()) resolved += '/';
    }
    return resolved;
}

}  // namespace

std::string ResolvePath(const std::string& path, const std::string& baseFolder) {
    return ResolvePath(path, baseFolder, nullptr);
}

std::string ResolvePath(const std::string& path, const std::string& baseFolder, bool* lookupFailed) {
    if (lookupFailed) *lookupFailed = false;
    return ResolveWith(path, baseFolder, [lookupFailed](const std::string& folder, const std::string& name) {
        return FindNoCase(folder, name, lookupFailed);
    });
}

std::string PathResolver::Resolve(const std::string& path, const std::string& baseFolder, bool* exists) {
    const std::string own = ToNativeSeparators(path);
    std::string resolved;
    bool found = true;
    if (baseFolder.empty() || IsAbsolutePath(own)) {
        resolved = IsAbsolutePath(own) ? "/" : "";
        found = !own.empty();
    } else {
        // A relative path goes on from its base folder, resolved once.
        auto base = bases_.find(baseFolder);
        if (base == bases_.end()) {
            const std::string folder = ToNativeSeparators(baseFolder);
            Resolved start{IsAbsolutePath(folder) ? "/" : "", true};
            WalkInto(start, SplitComponents(folder));
            base = bases_.emplace(baseFolder, std::move(start)).first;
        }
        resolved = base->second.path;
        found = base->second.found;
    }
    Resolved out{std::move(resolved), found};
    WalkInto(out, SplitComponents(own));
    if (exists) *exists = out.found;
    return out.path;
}

// Takes the components one by one from `at`, each in the spelling its folder
// holds, as ResolvePath does.
void PathResolver::WalkInto(Resolved& at, const std::vector<std::string>& parts) {
    for (const std::string& part : parts) {
        if (!at.path.empty() && at.path.back() != '/') at.path += '/';
        std::string next = at.path + part;
        // A listing holds "." and "..", so they are found like any entry.
        if (const Listing* listing = ListingOf(at.path)) {
            if (!listing->names.contains(part)) {
                const auto match = listing->firstOfUpper.find(ToUpper(part));
                if (match != listing->firstOfUpper.end()) next = at.path + match->second;
                else at.found = false;
            }
        } else if (!PathExists(next)) {  // a folder that cannot be listed
            at.found = false;
        }
        at.path = std::move(next);
    }
}

// The folder's entries; null when the folder cannot be listed.
const PathResolver::Listing* PathResolver::ListingOf(const std::string& folder) {
    auto at = listings_.find(folder);
    if (at != listings_.end()) return at->second ? &*at->second : nullptr;
    std::optional<Listing> listing;
    if (DIR* dir = OpenFolder(folder.empty() ? std::string(".") : folder)) {
        listing.emplace();
        while (dirent* e = ::readdir(dir)) {
            listing->names.insert(e->d_name);
            listing->firstOfUpper.try_emplace(ToUpper(e->d_name), e->d_name);
        }
        ::closedir(dir);
    } else if (errno != ENOENT && errno != ENOTDIR) {
        lookupFailed_ = true;
    }
    at = listings_.emplace(folder, std::move(listing)).first;
    return at->second ? &*at->second : nullptr;
}

PathParts SplitPath(const std::string& path) {
    PathParts parts;
    std::string rest = path;
    if (HasDriveLetter(rest)) {
        parts.drive = rest.substr(0, 2);
        rest = rest.substr(2);
    }
    const size_t slash = rest.find_last_of("/\\");
    if (slash != std::string::npos) {
        parts.folder = rest.substr(0, slash + 1);
        rest = rest.substr(slash + 1);
    }
    const size_t dot = rest.find_last_of('.');
    if (dot != std::string::npos) {
        parts.ext = rest.substr(dot);
        rest = rest.substr(0, dot);
    }
    parts.name = rest;
    return parts;
}

std::string FolderOf(const std::string& path) {
    const std::string p = ToNativeSeparators(path);
    const size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? "./" : p.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
    const std::string p = ToNativeSeparators(path);
    const size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string ToUpper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string ToLower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    // Iterative matcher with one backtrack point for the last '*'.
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    auto same = [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
    };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<FoundEntry> FindFiles(const std::string& folder, const std::string& pattern) {
    std::vector<FoundEntry> found;
    FindFiles(folder, pattern, found);
    return found;
}

bool FindFiles(const std::string& folder, const std::string& pattern, std::vector<FoundEntry>& found) {
    found.clear();
    const std::string base = folder.empty() ? "./" : (folder.back() == '/' ? folder : folder + "/");
    DIR* dir = OpenFolder(base);
    if (!dir) return false;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (!WildcardMatch(pattern, name)) continue;
        FoundEntry entry;
        entry.name = name;
        struct stat st {};
        if (::stat((base + name).c_str(), &st) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.isPlainDirectory = entry.isDirectory && (st.st_mode & S_IWUSR) && name[0] != '.';
            entry.size = entry.isDirectory ? 0 : uint64_t(st.st_size);
            entry.type = S_ISREG(st.st_mode) ? FileType::Regular : entry.isDirectory ? FileType::Directory
                                                                                     : FileType::Other;
        }
        struct stat link {};
        entry.isLink = ::lstat((base + name).c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        found.push_back(entry);
    }
    ::closedir(dir);
    return true;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path, bool ownerOnly) {
    if (!AdmitFileOp(FileOp::MakeFolder, path)) return false;
    return ::mkdir(path.c_str(), ownerOnly ? 0700 : 0755) == 0 || (!ownerOnly && IsDirectory(path));
}

bool RenamePath(const std::string& from, const std::string& to) {
    return AdmitFileOp(FileOp::Rename, from) && ::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
    return AdmitFileOp(FileOp::RemoveFolder, path) && ::rmdir(path.c_str()) == 0;
}

bool RemoveTree(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return true;
    if (!S_ISDIR(st.st_mode)) return AdmitFileOp(FileOp::Remove, path) && ::unlink(path.c_str()) == 0;
    bool ok = true;
    if (DIR* dir = OpenFolder(path)) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            ok = RemoveTree(path + "/" + name) && ok;
        }
        ::closedir(dir);
    }
    return RemoveEmptyDirectory(path) && ok;
}

std::optional<std::string> MakeUniqueDirectory(const std::string& parent, const std::string& prefix) {
    std::string base = parent;
    if (!base.empty() && base.back() != '/') base += '/';
    std::string pattern = base + prefix + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!AdmitFileOp(FileOp::MakeFolder, pattern) || !::mkdtemp(buffer.data())) return std::nullopt;  // mkdtemp makes it owner-only
    return std::string(buffer.data());
}

std::optional<uint64_t> FreeDiskSpace(const std::string& path) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
    return uint64_t(vfs.f_bavail) * uint64_t(vfs.f_frsize);
}

std::string TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp && *tmp) ? tmp : "/tmp";
}

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "./";
    return FolderOf(std::string(buffer, size_t(n)));
}

}  // namespace qorvcd
