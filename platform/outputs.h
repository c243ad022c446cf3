// Writing a user's output safely: a file takes its final name only when it is
// complete, and an output is refused before anything is written when it would
// replace one of the command's inputs or is not something a file can be
// written over.
#pragma once

#include <string>
#include <vector>

#include "platform/file.h"

namespace qorvcd {

// A file written under a private temporary name in its final folder and
// renamed into place by Keep, so that whatever was at the final path stays
// exactly as it was until the new file is whole. Dropped uncommitted, the
// temporary file is removed; nothing else is ever deleted.
class PendingOutput {
public:
    // `finalPath` is already resolved (see ResolvePath); a link there is
    // followed, so the file it points at is the one replaced.
    explicit PendingOutput(const std::string& finalPath);
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Creates the temporary file, new and empty; false with Error() set.
    bool Create();
    // Opens the temporary file for writing through `file` (after Create).
    bool OpenForWriting(File& file);
    // Renames the temporary file into place; false with Error() set.
    bool Keep();
    // Removes the temporary file (when not kept), trying twice; false when
    // it stays (TemporaryPath() then names it).
    bool Discard();

    const std::string& FinalPath() const { return finalPath_; }
    const std::string& TemporaryPath() const { return temporaryPath_; }
    const std::string& Error() const { return error_; }

private:
    std::string finalPath_;
    std::string temporaryPath_;
    std::string error_;
    bool kept_ = false;
};

// A file a command reads or writes, as a message names it ("the script").
struct NamedFile {
    std::string what;
    std::string path;
};

// Why `output` cannot be written: an existing entry that is not a regular
// file (a folder, a device), or a folder that does not exist. Empty when the
// path is a regular file or a new name in an existing folder.
std::string OutputProblem(const std::string& output);
// The first of `inputs` that `output` is (the same file through any name or
// link) or names when case is ignored; null when none.
const NamedFile* AliasedInput(const std::string& output, const std::vector<NamedFile>& inputs);
// True when `path` lies inside `folder` (after resolving links, case ignored).
bool LiesInside(const std::string& path, const std::string& folder);
// `path` made absolute against the process's working folder, once, so that a
// later change of base cannot move it.
std::string AbsolutePath(const std::string& path);

}  // namespace qorvcd
