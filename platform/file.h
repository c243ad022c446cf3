// The checked, buffered file used for every file the library touches.
//
// Every failure (open, read, write, seek) is recorded in the object: the first
// error is kept with the path and the OS reason, and later writes become no-ops,
// so a writer can do a run of writes and check `Ok()` once. Nothing throws.
// All file I/O of the library goes through this class, which keeps one seam
// for fault injection and for replacing the OS layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_identity.h"

namespace qorvcd {

enum class FileMode {
    Read,               // existing file, read only
    ReadWrite,          // existing file, read and write, not truncated
    CreateReadWrite,    // created or truncated, read and write
    CreateNew,          // created, read and write; fails when the name exists
};

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // Opens `path` (already resolved; see paths.h). Returns false on failure;
    // Error() then names the path and the reason. Reading takes only regular
    // files: a FIFO or device could block or never end.
    bool Open(const std::string& path, FileMode mode);
    // Flushes and closes; returns false when the flush or close failed.
    bool Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to `size` bytes at the position; returns the count read
    // (short only at end of file or on error).
    size_t Read(void* buffer, size_t size);
    // Reads exactly `size` bytes or records an error and returns false.
    bool ReadExact(void* buffer, size_t size);
    bool Write(const void* buffer, size_t size);
    bool WriteZeros(uint64_t count);
    bool Seek(uint64_t position);
    bool SeekToEnd();
    uint64_t Position() const;
    uint64_t Length();
    bool Flush();
    // The identity and stamp of the open file (none when closed).
    std::optional<FileIdentity> Identity() const;

    // True while no operation has failed since Open.
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }
    // Records a failure found by the caller (a format check, say) so that
    // the error travels with the file like an I/O failure.
    void Fail(const std::string& reason);

    // Whole-file helpers.
    static bool Exists(const std::string& path);
    static bool Remove(const std::string& path);
    static bool ReadAll(const std::string& path, std::vector<uint8_t>& out, std::string* error);
    static bool WriteAll(const std::string& path, const void* data, size_t size, std::string* error);

private:
    bool CheckOpenedType(FileMode mode);
    bool FlushWrite();
    void DropReadBuffer();
    void SetOsError(const char* what);

    void GrowBufferWhenStreaming(size_t justMoved);

    static constexpr size_t kBufferSize = 1 << 16;
    // A file that has streamed this much through its buffer is a track or an
    // image being copied: its buffer grows so that each system call moves a
    // megabyte, while the many small files of a build keep the small one.
    static constexpr uint64_t kStreamingAfter = 1 << 20;
    static constexpr size_t kStreamingBufferSize = 1 << 20;

    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::vector<uint8_t> buffer_;
    // Either read-ahead data [readPos_, readEnd_) or pending writes [0, writeLen_).
    size_t readPos_ = 0;
    size_t readEnd_ = 0;
    size_t writeLen_ = 0;
    uint64_t osPosition_ = 0;  // position of the OS file descriptor
    uint64_t length_ = 0;      // size at the open, grown by the writes since
    uint64_t streamed_ = 0;    // bytes moved through the buffer since the open
    bool writable_ = false;
};

}  // namespace qorvcd
