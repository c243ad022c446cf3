#include "platform/file_identity.h"

#include <sys/stat.h>

namespace qorvcd {

namespace {

FileIdentity FromStat(const struct stat& st) {
    FileIdentity id;
    id.device = uint64_t(st.st_dev);
    id.inode = uint64_t(st.st_ino);
    id.type = S_ISREG(st.st_mode) ? FileType::Regular : S_ISDIR(st.st_mode) ? FileType::Directory : FileType::Other;
    id.size = uint64_t(st.st_size);
    id.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

}  // namespace

std::optional<FileIdentity> IdentifyFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FromStat(st);
}

std::optional<FileIdentity> IdentifyEntry(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return FromStat(st);
}

std::optional<FileIdentity> IdentifyOpenFile(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return std::nullopt;
    return FromStat(st);
}

}  // namespace qorvcd
