// The in-memory ISO 9660 tree of one build: a sorted tree of 8.3 names with
// the few numeric fields the writers fill (extent, size, record position).
//
// The settings file and the script's folder lists create the standard folders
// and listed files, the session adds the fixed control files, file placement
// adds track files and segment items; the directory, path-table and
// application writers then walk the tree and store sectors and positions in
// its nodes. The tree itself knows nothing of sectors.
//
// Nodes are owned by the tree and stay at one address until ClearTree, so
// writers may keep plain pointers to them for the whole build.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace qorvcd {

struct BuildContext;
class ScriptPosition;

// What a node holds on the disc; also decides the XA attributes of its record.
enum class NodeKind : char {
    Directory = 'D',
    Form1File = 'F',  // data file: control files, plain application files
    TrackFile = 'f',  // MPEG video track, Mode 2 Form 2
    Form2File = 'g',  // segment item or MPEG application file, Mode 2 Form 2
};

// A second tag given at creation and kept with the node; nothing consults it.
enum class NodeFlag : char {
    Listed = 'L',  // root, folders from paths, segment items, listed files
    Plain = ' ',   // track files, session control files, scanned files
};

struct DirNode {
    // The name's length at creation; the directory writer replaces it by the
    // length of the node's directory record.
    int16_t recordLength = 0;
    std::string name;  // 8.3 name, at most DirTree::kMaxNameLength characters
    NodeKind kind = NodeKind::Directory;
    NodeFlag flag = NodeFlag::Listed;
    uint32_t startSector = 0;     // first logical sector; 0 = not placed yet
    uint64_t recordPosition = 0;  // image byte position of the node's record
    // File: data length in bytes. Directory: its length in sectors once the
    // directory writer has written it.
    uint32_t size = 0;
    // The directory's number in the path tables (1 = root); set by the path
    // table builder.
    uint16_t pathTableNumber = 0;
    // Folder the file's bytes are read from (ends with a separator), shared by
    // all files of one folder; null for files other writers produce. The
    // folder is a real path; the file in it may differ in case from `name`,
    // so open it through ResolvePath(*sourceFolder + name, "").
    const std::string* sourceFolder = nullptr;
    DirNode* firstChild = nullptr;
    DirNode* nextSibling = nullptr;
    DirNode* parent = nullptr;  // null for the root
    // Where a list file declared the node, for messages about it; empty
    // (line 0) for nodes the build makes itself.
    std::string declaredFile;
    int declaredLine = 0;

    bool IsDirectory() const { return kind == NodeKind::Directory; }
};

// How many folders down from the root the node lies (0 for the root).
int LevelOf(const DirNode& node);

// The node's path on the disc, such as \DATA\VCD_DATA\X.DAT (the root is "\").
std::string DiscPathOf(const DirNode& node);

// True for a name of the disc's 8.3 form: 1 to 8 characters, then
// optionally a dot and at most 3 more, and no second dot.
bool IsDiscName83(const std::string& name);

class DirTree {
public:
    // A node's name field holds 13 characters and a terminator.
    static constexpr size_t kMaxNameLength = 13;
    // Folder paths must be shorter than this.
    static constexpr size_t kPathLimit = 260;
    static constexpr const char* kRootName = "\\";

    // `ctx` receives the tree's log lines and messages; it may be null (then
    // failures are only recorded in Error()).
    explicit DirTree(const BuildContext* ctx = nullptr);
    ~DirTree();
    DirTree(const DirTree&) = delete;
    DirTree& operator=(const DirTree&) = delete;

    DirNode* Root() const { return root_; }
    DirNode* Cursor() const { return cursor_; }
    // The last file node added (or found again) by AddFile.
    DirNode* LastFile() const { return lastFile_; }

    // Creates the root directory ("\", Directory, Listed, size 0) when there is
    // none; returns the root.
    DirNode* CreateRoot();

    // Makes the folder named by the absolute `path` ("\DATA\VCD_DATA", either
    // separator) the cursor, creating every missing folder (upper-cased names).
    // "\" alone selects the root; an empty component ("\\" or a trailing "\")
    // stops the walk at the folder reached. Refused (false, nothing created):
    // a path without a leading "\", a path of kPathLimit characters or more,
    // a component longer than kMaxNameLength, or one that names a file.
    bool ChangeDir(const std::string& path);

    // Inserts a node into the cursor folder at its sorted place and returns it.
    // Returns null when the folder already has a child of that name (the tree is
    // unchanged; not an error) and also when the name is empty or longer than
    // kMaxNameLength (an error: logged, Ok() turns false).
    DirNode* AddFile(const std::string& name, NodeKind kind, NodeFlag flag, uint32_t size);

    // The child of `dir` named `name` (exact bytes), or null.
    static DirNode* FindChild(const std::string& name, const DirNode* dir);
    // Gives the child `from` of `dir` the name `to` and moves it to its sorted
    // place. False, with nothing changed, when there is no such child, `dir`
    // already has a child `to`, or `to` is empty or too long.
    bool RenameChild(DirNode* dir, const std::string& from, const std::string& to);
    // The node at an absolute path ("\EXT\SCANDATA.DAT", either separator),
    // upper-cased before the lookup as disc names are; null when absent.
    // Creates nothing and leaves the cursor alone.
    DirNode* FindPath(const std::string& path) const;

    // Records the folder of the source file `path` for `node`. The file-name
    // part of `path` must equal the node's name byte for byte; otherwise the
    // message "%s file source name not match %s%s" is shown and false returned.
    // Equal folder texts are pooled, so files of one folder share one text.
    bool AttachSource(const std::string& path, DirNode* node);

    // The list file whose reader makes the nodes from now on (null: none):
    // new nodes remember its file and line, and refusals are told there.
    void SetDeclarationSource(const ScriptPosition* source) { source_ = source; }

    // Frees every node and the source-folder pool; the tree is empty (and Ok) again.
    void ClearTree();

    // Number of pooled source-folder texts (for checks and inspection).
    size_t SourceFolderCount() const { return sourceFolders_.size(); }

    // False once an operation refused its input; Error() holds the first reason.
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

    // Compares two names as unsigned bytes, a shorter name before a longer
    // one that it begins: the order of the children of every folder.
    static int CompareNames(const std::string& a, const std::string& b);

private:
    DirNode* CreateNode(const std::string& name, NodeKind kind, NodeFlag flag, uint32_t size);
    void LinkSorted(DirNode* parent, DirNode* node);
    void Fail(const std::string& line);
    void Message(const std::string& text);

    const BuildContext* ctx_;
    const ScriptPosition* source_ = nullptr;
    DirNode* root_ = nullptr;
    DirNode* cursor_ = nullptr;
    DirNode* lastFile_ = nullptr;
    std::vector<std::unique_ptr<DirNode>> nodes_;
    // Deque: pooled texts keep their address as the pool grows.
    std::deque<std::string> sourceFolders_;
    std::string error_;
};

// Calls `visit` for each child of `dir` in name order.
template <typename Visit>
void ForEachChild(const DirNode* dir, Visit&& visit) {
    for (DirNode* c = dir ? dir->firstChild : nullptr; c; c = c->nextSibling) visit(c);
}

}  // namespace qorvcd
