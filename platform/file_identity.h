// What a file is on disk, whatever name reaches it: its identity (device and
// inode, so two names of one file compare equal), its type, and the stamp
// (size and modification time) that shows whether it changed since it was
// last looked at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qorvcd {

enum class FileType {
    Regular,
    Directory,
    Other,  // a FIFO, socket or device: never an input or output of a build
};

struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    FileType type = FileType::Other;
    uint64_t size = 0;
    int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch

    bool SameFileAs(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
    // Same size and modification time: the content is taken as unchanged.
    bool SameStampAs(const FileIdentity& other) const {
        return size == other.size && modifiedNs == other.modifiedNs;
    }
};

// The identity of the file `path` names, links followed; none when it does
// not exist or cannot be examined.
std::optional<FileIdentity> IdentifyFile(const std::string& path);
// The same for the entry itself, a link not followed.
std::optional<FileIdentity> IdentifyEntry(const std::string& path);
// The same for an open file descriptor (the checked file layer's own use).
std::optional<FileIdentity> IdentifyOpenFile(int fd);

}  // namespace qorvcd
