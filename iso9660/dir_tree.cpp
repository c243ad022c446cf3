#include "iso9660/dir_tree.h"

#include "core/build_context.h"
#include "platform/log_list.h"
#include "platform/paths.h"

namespace qorvcd {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits an absolute folder path into its components, stopping at the first
// empty one (a doubled separator or a trailing one ends the walk).
std::vector<std::string> LeadingComponents(const std::string& path) {
    std::vector<std::string> parts;
    size_t pos = 1;  // past the leading separator
    while (pos < path.size()) {
        size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (end == pos) break;
        parts.push_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

}  // namespace

DirTree::DirTree(const BuildContext* ctx) : ctx_(ctx) {}

DirTree::~DirTree() = default;

int DirTree::CompareNames(const std::string& a, const std::string& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

void DirTree::Fail(const std::string& line) {
    if (error_.empty()) error_ = line;
    if (!ctx_) return;
    if (source_ && ctx_->diagnostics)
        ctx_->diagnostics(Diagnostic{source_->PositionFile(), source_->PositionLine(), Severity::Error, line});
    ctx_->LogLine(line);
}

int LevelOf(const DirNode& node) {
    int level = 0;
    for (const DirNode* n = node.parent; n; n = n->parent) ++level;
    return level;
}

std::string DiscPathOf(const DirNode& node) {
    if (!node.parent) return node.name;
    std::string path;
    for (const DirNode* n = &node; n->parent; n = n->parent) path = "\\" + n->name + path;
    return path;
}

bool IsDiscName83(const std::string& name) {
    constexpr size_t kMaxBase = 8;
    constexpr size_t kMaxExtension = 3;
    const size_t dot = name.find('.');
    const size_t base = dot == std::string::npos ? name.size() : dot;
    if (base == 0 || base > kMaxBase) return false;
    if (dot == std::string::npos) return true;
    const std::string extension = name.substr(dot + 1);
    return extension.size() <= kMaxExtension && extension.find('.') == std::string::npos;
}

void DirTree::Message(const std::string& text) {
    if (error_.empty()) error_ = text;
    if (ctx_) ctx_->ShowMessage(text);
}

DirNode* DirTree::CreateNode(const std::string& name, NodeKind kind, NodeFlag flag, uint32_t size) {
    auto node = std::make_unique<DirNode>();
    node->recordLength = int16_t(name.size());
    node->name = name;
    node->kind = kind;
    node->flag = flag;
    node->size = size;
    if (source_) {
        node->declaredFile = source_->PositionFile();
        node->declaredLine = source_->PositionLine();
    }
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

DirNode* DirTree::CreateRoot() {
    if (!root_) {
        root_ = CreateNode(kRootName, NodeKind::Directory, NodeFlag::Listed, 0);
        cursor_ = root_;
    }
    return root_;
}

void DirTree::LinkSorted(DirNode* parent, DirNode* node) {
    DirNode** link = &parent->firstChild;
    while (*link && CompareNames((*link)->name, node->name) < 0) link = &(*link)->nextSibling;
    node->nextSibling = *link;
    node->parent = parent;
    *link = node;
}

bool DirTree::ChangeDir(const std::string& path) {
    cursor_ = root_;  // a refused path leaves the cursor at the root
    if (path.size() >= kPathLimit) {
        Fail(Format("Folder path %s is too long (limit %zu characters)", path.c_str(), kPathLimit - 1));
        return false;
    }
    if (path.empty() || !IsSeparator(path[0])) {
        Message(Format("%s is not \\ prefix", path.c_str()));
        return false;
    }
    const std::vector<std::string> parts = LeadingComponents(ToUpper(path));
    for (const std::string& part : parts) {
        if (part.size() > kMaxNameLength) {
            Fail(Format("Folder name %s in %s is too long (limit %zu characters)", part.c_str(),
                        path.c_str(), kMaxNameLength));
            return false;
        }
    }
    // The whole path is checked before anything is created.
    DirNode* dir = root_ ? root_ : CreateRoot();
    for (const std::string& part : parts) {
        DirNode* next = FindChild(part, dir);
        if (next && !next->IsDirectory()) {
            Fail(Format("%s in %s is a file, not a folder", part.c_str(), path.c_str()));
            return false;
        }
        if (!next) {
            next = CreateNode(part, NodeKind::Directory, NodeFlag::Listed, 0);
            LinkSorted(dir, next);
        }
        dir = next;
    }
    cursor_ = dir;
    return true;
}

DirNode* DirTree::AddFile(const std::string& name, NodeKind kind, NodeFlag flag, uint32_t size) {
    if (name.empty() || name.size() > kMaxNameLength) {
        Fail(Format("File name %s is not accepted (1 to %zu characters)", name.c_str(), kMaxNameLength));
        return nullptr;
    }
    if (!cursor_) CreateRoot();
    if (FindChild(name, cursor_)) return nullptr;
    DirNode* node = CreateNode(name, kind, flag, size);
    LinkSorted(cursor_, node);
    lastFile_ = node;
    return node;
}

DirNode* DirTree::FindChild(const std::string& name, const DirNode* dir) {
    if (!dir) return nullptr;
    for (DirNode* c = dir->firstChild; c; c = c->nextSibling) {
        const int order = CompareNames(c->name, name);
        if (order == 0) return c;
        if (order > 0) return nullptr;  // children are sorted
    }
    return nullptr;
}

bool DirTree::RenameChild(DirNode* dir, const std::string& from, const std::string& to) {
    DirNode* node = FindChild(from, dir);
    if (!node || to.empty() || to.size() > kMaxNameLength || FindChild(to, dir)) return false;
    DirNode** link = &dir->firstChild;
    while (*link != node) link = &(*link)->nextSibling;
    *link = node->nextSibling;  // unlinked, then linked again at its new place
    node->nextSibling = nullptr;
    node->name = to;
    node->recordLength = int16_t(to.size());
    LinkSorted(dir, node);
    return true;
}

DirNode* DirTree::FindPath(const std::string& path) const {
    if (path.empty() || !IsSeparator(path[0])) return nullptr;
    DirNode* node = root_;
    for (const std::string& part : LeadingComponents(ToUpper(path))) {
        node = FindChild(part, node);
        if (!node) return nullptr;
    }
    return node;
}

bool DirTree::AttachSource(const std::string& path, DirNode* node) {
    if (!node) return false;
    const PathParts parts = SplitPath(path);
    const std::string fileName = parts.name + parts.ext;
    if (fileName != node->name) {
        Message(Format("%s file source name not match %s%s", node->name.c_str(),
                       (parts.drive + parts.folder).c_str(), fileName.c_str()));
        return false;
    }
    const std::string folder = parts.drive + parts.folder;
    for (const std::string& pooled : sourceFolders_) {
        if (pooled == folder) {
            node->sourceFolder = &pooled;
            return true;
        }
    }
    sourceFolders_.push_back(folder);
    node->sourceFolder = &sourceFolders_.back();
    return true;
}

void DirTree::ClearTree() {
    root_ = nullptr;
    cursor_ = nullptr;
    lastFile_ = nullptr;
    nodes_.clear();
    sourceFolders_.clear();
    error_.clear();
}

}  // namespace qorvcd
