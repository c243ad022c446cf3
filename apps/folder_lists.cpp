#include "apps/folder_lists.h"

#include <cstring>

#include "core/build_context.h"
#include "iso9660/dir_tree.h"
#include "platform/file.h"
#include "platform/log_list.h"
#include "platform/paths.h"
#include "script/script_reader.h"

namespace qorvcd {

namespace {

constexpr const char* kSection = "[VCD30]";

bool IsEnd(const char* token) { return token[0] == '\0'; }
bool IsListEnd(const char* token) { return std::strcmp(token, "ENDFILE") == 0 || token[0] == '['; }

MessageHandler MessagesOf(const BuildContext& ctx) {
    return [&ctx](const std::string& text) { ctx.ShowMessage(text); };
}

// One reading of a list file; every failure is logged once and ends it.
class FolderListReader {
public:
    FolderListReader(ScriptReader& reader, const std::string& path, FolderListMode mode, DirTree& tree,
                     const BuildContext& ctx)
        : reader_(reader), path_(path), mode_(mode), tree_(tree), ctx_(ctx) {}

    bool Run() {
        if (!reader_.FindSection(kSection)) return true;
        const char* token = Next();
        if (!token) return false;
        while (!IsEnd(token)) {
            if (std::strcmp(token, "FOLDER") == 0) {
                if (!ReadFolderList()) return false;
                token = current_.c_str();
                if (IsEnd(token)) return true;
            }
            if (IsListEnd(token)) return true;
            token = Next();
            if (!token) return false;
        }
        return true;
    }

private:
    // The next upper-cased token, kept in current_; null (after a log line)
    // when the reader rejected it, so a list is never cut short silently.
    const char* Next() {
        const char* token = reader_.NextTokenUpper();
        if (!token) {
            ctx_.LogError(Format("%s: unreadable token in the %s section", path_.c_str(), kSection));
            return nullptr;
        }
        current_ = token;
        return current_.c_str();
    }

    // FOLDER path, then pairs of disc name and source up to ENDFOLDER;
    // leaves current_ at ENDFOLDER or the end of the file.
    bool ReadFolderList() {
        if (!Next()) return false;
        const std::string folder = current_;
        if (folder.empty()) {
            ctx_.LogError(Format("%s: FOLDER without a folder path", path_.c_str()));
            return false;
        }
        if (!tree_.ChangeDir(folder)) return false;
        for (;;) {
            if (!Next()) return false;
            if (current_.empty() || current_ == "ENDFOLDER") return true;
            const std::string discName = current_;
            if (!AddListedFile(discName)) return false;
            if (!Next()) return false;
            if (current_.empty()) return mode_ == FolderListMode::Init || MissingSource(discName);
            if (mode_ == FolderListMode::Expand && !AttachListedSource(discName, current_)) return false;
        }
    }

    bool AddListedFile(const std::string& discName) {
        const NodeKind kind = IsListedMpegName(discName) ? NodeKind::Form2File : NodeKind::Form1File;
        if (tree_.AddFile(discName, kind, NodeFlag::Listed, 0)) return true;
        // Null without a refusal is a name already listed: not an error.
        return !discName.empty() && discName.size() <= DirTree::kMaxNameLength;
    }

    bool MissingSource(const std::string& discName) {
        ctx_.LogError(Format("%s: %s has no source file", path_.c_str(), discName.c_str()));
        return false;
    }

    // The source's folder is resolved (case-insensitively, relative to the
    // script) before it is pooled; its file name must still match the disc name.
    bool AttachListedSource(const std::string& discName, const std::string& source) {
        DirNode* node = DirTree::FindChild(discName, tree_.Cursor());
        const PathParts parts = SplitPath(source);
        std::string folder = ctx_.ResolveScriptPath(parts.drive + parts.folder);
        if (folder.empty()) folder = "./";
        if (folder.back() != '/') folder += '/';
        return tree_.AttachSource(folder + parts.name + parts.ext, node);
    }

    ScriptReader& reader_;
    const std::string& path_;
    FolderListMode mode_;
    DirTree& tree_;
    const BuildContext& ctx_;
    std::string current_;
};

// Scans forward for `key`; false at the end of the file, or after a log line
// when a token is rejected (`rejected` then true).
bool SeekKey(ScriptReader& reader, const char* key, bool& rejected) {
    for (;;) {
        const char* token = reader.NextTokenUpper();
        if (!token) {
            rejected = true;
            return false;
        }
        if (IsEnd(token)) return false;
        if (std::strcmp(token, key) == 0) return true;
    }
}

// The longest 8.3 name: 8 characters, a dot and 3 more.
constexpr size_t kLongestDiscName = 12;

// The home page's path fits a path of the script.
bool PathFits(const std::string& path, const BuildContext& ctx, int line) {
    if (path.size() <= kMaxPathLength) return true;
    const std::string text = Format("Error: the home page %s is %zu characters long; a path holds at most %zu",
                                    path.c_str(), path.size(), kMaxPathLength);
    ctx.Report(Severity::Error, text, line);
    ctx.LogLine(text);
    return false;
}

bool EndsWithSeparator(const std::string& text) {
    return !text.empty() && (text.back() == '\\' || text.back() == '/');
}

}  // namespace

bool IsListedMpegName(const std::string& discName) {
    const size_t dot = discName.find('.');
    if (dot == std::string::npos) return false;
    const std::string tail = ToUpper(discName.substr(dot));
    return tail == ".MPA" || tail == ".MPV" || tail == ".MPG";
}

bool ReadFolderLists(const std::string& path, FolderListMode mode, DirTree& tree, const BuildContext& ctx) {
    tree.CreateRoot();
    ScriptReader reader(MessagesOf(ctx));
    if (!reader.OpenScript(path)) {
        if (!reader.OpenError().empty()) ctx.LogLine("Error: " + reader.OpenError());
        ctx.LogLine(Format("Can't open %s", path.c_str()));
        if (ctx.log) ctx.log->Repaint();
        tree.ClearTree();
        return false;
    }
    // Problems are told at their line of the list file.
    BuildContext located = ctx;
    reader.SetDisplayName(mode == FolderListMode::Expand && !ctx.scriptName.empty() ? ctx.scriptName : path);
    located.position = &reader;
    tree.SetDeclarationSource(&reader);
    FolderListReader lists(reader, path, mode, tree, located);
    const bool ok = lists.Run();
    tree.SetDeclarationSource(nullptr);
    reader.CloseScript();
    return ok;
}

bool ReadApplicationFolder(ScriptReader& reader, const BuildContext& ctx, ApplicationFolder& app) {
    app = {};
    if (!reader.FindSection(kSection)) return true;
    bool rejected = false;
    auto refuse = [&]() {
        ctx.LogError(Format("%s: unreadable token in the section", kSection));
        app = {};
        app.failed = true;
        return false;
    };

    SeekKey(reader, "TITLEHOMEDIR", rejected);
    if (rejected) return refuse();
    const char* token = reader.NextTokenUpper();
    if (!token) return refuse();
    int folderLine = reader.TokenLine();
    if (std::strcmp(token, "=") == 0) {
        const char* value = reader.NextTokenUpper();
        if (!value) return refuse();
        folderLine = reader.TokenLine();
        app.folder = value;
        if (!app.folder.empty() && !EndsWithSeparator(app.folder)) app.folder += '\\';
    }

    if (!SeekKey(reader, "HOMEPAGE", rejected)) {
        if (rejected) return refuse();
        // The disc goes on without applications; say why, since the section
        // was there and its author expected some.
        const std::string text = Format(
            "%s: no HOMEPAGE line, so the disc gets no application files (the section needs TITLEHOMEDIR = folder, "
            "then HOMEPAGE = file)", kSection);
        ctx.Warn(text);
        ctx.LogLine(text);
        app = {};
        return false;
    }
    token = reader.NextTokenUpper();
    if (!token) return refuse();
    if (std::strcmp(token, "=") != 0) return true;
    const char* page = reader.NextTokenUpper();
    if (!page) return refuse();
    app.homePage = page;
    if (!PathFits(app.folder + app.homePage, ctx, reader.TokenLine())) {
        app = {};
        app.failed = true;
        return false;
    }
    // A missing home page means no applications; a folder that cannot be
    // looked through must not pass for that.
    bool lookupFailed = false;
    const std::string home = ResolvePath(app.folder + app.homePage, ctx.scriptFolder, &lookupFailed);
    if (lookupFailed) {
        ctx.LogLine(Format("Error 10003:Can't read directionary %s", app.folder.c_str()));
        app = {};
        app.failed = true;
        return false;
    }
    if (!app.homePage.empty() && File::Exists(home)) {
        app.folder += "COMP";
        // Its files are read from the folder's path and their 8.3 names.
        if (app.folder.size() + 1 + kLongestDiscName > kMaxPathLength) {
            const std::string text = Format(
                "Error: the application folder %s is %zu characters long; with a file name of up to %zu characters "
                "its paths would pass %zu characters (the folder may have at most %zu)",
                app.folder.c_str(), app.folder.size(), kLongestDiscName, kMaxPathLength,
                kMaxPathLength - 1 - kLongestDiscName);
            ctx.Report(Severity::Error, text, folderLine);
            ctx.LogLine(text);
            app = {};
            app.failed = true;
            return false;
        }
    } else {
        app.folder.clear();
    }
    return true;
}

}  // namespace qorvcd
