// The [VCD30] section: FOLDER lists that put folders and files into the
// directory tree, and the application folder (TITLEHOMEDIR, HOMEPAGE).
//
// The disc-kind settings file declares the standard folders and files of its
// kind (init mode: sources ignored); the authoring script declares the
// author's own folders and files with their sources (expand mode: each source
// is attached to its disc file so the application writer can copy it).
#pragma once

#include <string>

namespace qorvcd {

class DirTree;
class ScriptReader;
struct BuildContext;

enum class FolderListMode : char {
    Init = ' ',    // settings file: declare nodes, ignore sources
    Expand = 'E',  // authoring script: declare nodes and attach sources
};

// Reads every FOLDER list of the file's [VCD30] section into the tree
// (creating the root first when the tree has none). Returns false, after a
// log line, when the file cannot be opened ("Can't open %s"; the tree is then
// emptied), when a source does not match its disc name (expand mode), when a
// name or path does not fit the tree, or when a token is rejected inside a
// list. A file without a [VCD30] section gives true and adds only the root.
// Relative source paths resolve against ctx.scriptFolder.
bool ReadFolderLists(const std::string& path, FolderListMode mode, DirTree& tree,
                     const BuildContext& ctx);

// The disc type of a listed file: MPEG (Form 2) when the text from the first
// '.' of its name is ".MPA", ".MPV" or ".MPG", otherwise ordinary (Form 1).
bool IsListedMpegName(const std::string& discName);

struct ApplicationFolder {
    // "TITLEHOMEDIR\COMP" as the script writes it (upper-cased, '\' kept);
    // empty when the script names no application or its home page is missing.
    std::string folder;
    std::string homePage;
    // The section cannot be taken as written (a rejected token, a path too
    // long); its line is logged and the build must fail. A missing HOMEPAGE
    // only means that the disc has no application.
    bool failed = false;
};

// Reads TITLEHOMEDIR and HOMEPAGE from the [VCD30] section of the session's
// reader. Returns false (with `app` cleared where the section is broken: no
// HOMEPAGE after TITLEHOMEDIR, a rejected token, a path too long; see
// `failed`); true otherwise. The
// home page is looked for case-insensitively, relative paths against
// ctx.scriptFolder.
bool ReadApplicationFolder(ScriptReader& reader, const BuildContext& ctx, ApplicationFolder& app);

}  // namespace qorvcd
