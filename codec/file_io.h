// FFmpeg's reads and writes of a user's video and of a converted track,
// made through the host's checked file layer (a CodecFile) like every other
// file of the build, so that a failure is reported (and a test's fault plan
// sees them).
#pragma once

#include <memory>
#include <string>

#include "codec/codec_module.h"

struct AVIOContext;

namespace qorvcd::codec {

class FileIo {
public:
    // The file opened for reading, or for writing (created or emptied);
    // null with `error` set when it cannot be opened.
    static std::unique_ptr<FileIo> OpenForReading(CodecFileOpener open, const std::string& path, std::string* error);
    static std::unique_ptr<FileIo> OpenForWriting(CodecFileOpener open, const std::string& path, std::string* error);
    ~FileIo();
    FileIo(const FileIo&) = delete;
    FileIo& operator=(const FileIo&) = delete;

    // The context to give FFmpeg as its `pb` (with AVFMT_FLAG_CUSTOM_IO).
    AVIOContext* Context() { return context_; }
    // Flushes FFmpeg's buffer and closes the file; false with `error` set
    // when a byte did not reach the disk.
    bool Finish(std::string* error);
    CodecFile& Stream() { return *file_; }

private:
    explicit FileIo(std::unique_ptr<CodecFile> file) : file_(std::move(file)) {}
    static std::unique_ptr<FileIo> Open(CodecFileOpener open, const std::string& path, bool writable,
                                        std::string* error);
    bool Attach(bool writable);

    std::unique_ptr<CodecFile> file_;
    AVIOContext* context_ = nullptr;
};

}  // namespace qorvcd::codec
