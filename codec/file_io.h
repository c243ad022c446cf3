// FFmpeg's reads and writes of a user's video and of a converted track,
// made through the checked file layer like every other file of the build,
// so that a failure is reported (and a test's fault plan sees them).
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"

struct AVIOContext;

namespace qorvcd::codec {

class FileIo {
public:
    // The file opened for reading, or for writing (created or emptied);
    // null with `error` set when it cannot be opened.
    static std::unique_ptr<FileIo> OpenForReading(const std::string& path, std::string* error);
    static std::unique_ptr<FileIo> OpenForWriting(const std::string& path, std::string* error);
    ~FileIo();
    FileIo(const FileIo&) = delete;
    FileIo& operator=(const FileIo&) = delete;

    // The context to give FFmpeg as its `pb` (with AVFMT_FLAG_CUSTOM_IO).
    AVIOContext* Context() { return context_; }
    // Flushes FFmpeg's buffer and closes the file; false with `error` set
    // when a byte did not reach the disk.
    bool Finish(std::string* error);
    const File& Stream() const { return file_; }

private:
    FileIo() = default;
    bool Attach(bool writable);

    File file_;
    AVIOContext* context_ = nullptr;
};

}  // namespace qorvcd::codec
