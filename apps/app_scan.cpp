#include "apps/app_scan.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/build_context.h"
#include "core/sector_unit.h"
#include "iso9660/dir_tree.h"
#include "platform/file_identity.h"
#include "platform/log_list.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

// Pass order: the home page first, then the MPEG files, pictures and sounds.
constexpr const char* kPatterns[] = {"*.CHM", "*.MP*", "*.ybm", "*.WAV"};
constexpr uint64_t kPlainMpegSector = 2304;
constexpr uint64_t kMaxRecordedSize = std::numeric_limits<uint32_t>::max();
// Folders climbed from the scanned one towards the root; a path of 4096
// bytes cannot name more ("/.." each), so the climb always ends.
constexpr size_t kMaxFolderDepth = 4096 / 3;

bool IsMpegExtension(const std::string& ext) { return ext == ".MPV" || ext == ".MPA" || ext == ".MPG"; }

struct ScanNode {
    NodeKind kind;
    uint64_t size;
};

ScanNode NodeFor(const FoundEntry& entry, const std::string& ext) {
    if (entry.isPlainDirectory) return {NodeKind::Directory, 0};
    if (IsMpegExtension(ext)) return {NodeKind::Form2File, MpegApplicationSize(entry.size)};
    return {NodeKind::Form1File, entry.size};
}

// An entry's own path, spelt as the folder listing reached it.
std::string EntryPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return "./" + name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The scanned folder and every folder that holds it: a link to one of them
// leads back into the scan, and a walk of the tree would go round for ever.
std::vector<FileIdentity> FoldersOnPath(const std::string& folder) {
    std::vector<FileIdentity> path;
    std::string at = folder.empty() ? "." : folder;
    for (size_t depth = 0; depth < kMaxFolderDepth; ++depth) {
        const std::optional<FileIdentity> id = IdentifyFile(at);
        if (!id || (!path.empty() && id->SameFileAs(path.back()))) break;  // the root is its own parent
        path.push_back(*id);
        at = EntryPath(at, "..");
    }
    return path;
}

// Why an entry stays out of the tree, or null when it is taken. Only regular
// files and folders are: the writer copies the one and walks the other, and
// anything else (a FIFO, a socket, a device) would block or mean nothing.
const char* SkipReason(const FoundEntry& entry, const std::string& path, const std::vector<FileIdentity>& folders) {
    if (entry.type == FileType::Other) return "it is not a regular file or folder";
    if (!entry.isLink || entry.type != FileType::Directory) return nullptr;
    const std::optional<FileIdentity> target = IdentifyFile(path);
    const bool loops = !target || std::any_of(folders.begin(), folders.end(),
                                              [&](const FileIdentity& f) { return f.SameFileAs(*target); });
    return loops ? "it is a link back to a folder that holds it" : nullptr;
}

// Keeps the log small: emptied once it holds more than the limit.
void TrimLog(const BuildContext& ctx) {
    if (!ctx.log) return;
    if (ctx.log->Count() > kScanLogLimit) ctx.log->Reset();
    ctx.log->SelectLast();
}

// Entries of one pass in name order, so every file system gives the same
// scan (and the same log) for the same folder.
// False when the folder cannot be listed: a scan that saw nothing must not
// pass for a folder without application files.
bool PassEntries(const std::string& folder, const char* pattern, std::vector<FoundEntry>& entries) {
    if (!FindFiles(folder, pattern, entries)) return false;
    std::sort(entries.begin(), entries.end(),
              [](const FoundEntry& a, const FoundEntry& b) { return ToUpper(a.name) < ToUpper(b.name); });
    return true;
}

}  // namespace

uint64_t MpegApplicationSize(uint64_t bytes) {
    const uint64_t unit = bytes % kSectorModeUnitSize == 0 ? kSectorModeUnitSize : kPlainMpegSector;
    return bytes / unit * kForm1DataSize;
}

ScanOutcome ScanApplicationFiles(const std::string& folder, DirTree& tree, const BuildContext& ctx) {
    ScanOutcome out;
    bool cancelled = false;
    const std::vector<FileIdentity> folders = FoldersOnPath(folder);
    for (const char* pattern : kPatterns) {
        std::vector<FoundEntry> entries;
        if (!PassEntries(folder, pattern, entries)) {
            ctx.LogLine(Format("Error 10003:Can't read directionary %s", folder.c_str()));
            out.result = kStepFailed;
            return out;
        }
        for (const FoundEntry& entry : entries) {
            const std::string name = ToUpper(entry.name);
            if (ctx.progress) ctx.progress->SetMessage(Format("Fund file %s...", name.c_str()));
            const std::string path = EntryPath(folder, entry.name);
            if (const char* reason = SkipReason(entry, path, folders)) {
                ctx.LogLine(Format("Skipping %s: %s", path.c_str(), reason));
                continue;
            }
            if (name == "." || name == "..") continue;
            // Besides a long base name or extension, two dots ("A.B.C") or
            // no base name (".WAV") do not make an 8.3 name either.
            if (!IsDiscName83(name)) {
                ctx.LogLine(Format("Error: %s in the application folder %s is not an 8.3 name: at most 8 characters, "
                                   "then a dot and at most 3 more",
                                   name.c_str(), folder.c_str()));
                ctx.LogLine(Format("Error 200: Filename not 8.3, %s", name.c_str()));
                out.result = kAppNameNot83;
                return out;
            }
            const PathParts parts = SplitPath(name);
            ctx.LogLine(Format("Scaning file %s", name.c_str()));
            const ScanNode node = NodeFor(entry, parts.ext);
            if (node.size > kMaxRecordedSize) {
                ctx.LogLine(Format("File %s is too large for the disc (limit %llu bytes)", name.c_str(),
                                   static_cast<unsigned long long>(kMaxRecordedSize)));
                out.result = kStepFailed;
                return out;
            }
            if (tree.AddFile(name, node.kind, NodeFlag::Plain, uint32_t(node.size))) {
                ++out.fileCount;
                if (out.fileCount % kScanLogCheckEvery == 0) TrimLog(ctx);
            }
            if (ctx.progress && ctx.progress->TakeCancelRequest()) {
                cancelled = true;
                break;  // the next pass still runs
            }
        }
    }
    out.result = cancelled ? kScanCancelled : kOk;
    return out;
}

}  // namespace qorvcd
