#include "codec/file_io.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <utility>

namespace qorvcd::codec {

namespace {

constexpr int kIoBufferSize = 1 << 16;

#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WriteBuffer = const uint8_t*;
#else
using WriteBuffer = uint8_t*;
#endif

// FFmpeg's callbacks, with the File as their opaque pointer.
int ReadPacket(void* opaque, uint8_t* buffer, int size) {
    CodecFile& file = *static_cast<CodecFile*>(opaque);
    const size_t count = file.Read(buffer, size_t(size));
    if (count > 0) return int(count);
    return file.Ok() ? AVERROR_EOF : AVERROR(EIO);
}

int WritePacket(void* opaque, WriteBuffer buffer, int size) {
    CodecFile& file = *static_cast<CodecFile*>(opaque);
    return file.Write(buffer, size_t(size)) ? size : AVERROR(EIO);
}

int64_t SeekTo(void* opaque, int64_t offset, int whence) {
    CodecFile& file = *static_cast<CodecFile*>(opaque);
    const int64_t length = int64_t(file.Length());
    int64_t target = offset;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return length;
        case SEEK_SET: break;
        case SEEK_CUR: target += int64_t(file.Position()); break;
        case SEEK_END: target += length; break;
        default: return AVERROR(EINVAL);
    }
    if (target < 0 || !file.Seek(uint64_t(target))) return AVERROR(EIO);
    return target;
}

}  // namespace

std::unique_ptr<FileIo> FileIo::Open(CodecFileOpener open, const std::string& path, bool writable,
                                     std::string* error) {
    std::unique_ptr<CodecFile> file = open(path, writable, error);
    if (!file) return nullptr;
    std::unique_ptr<FileIo> io(new FileIo(std::move(file)));
    if (!io->Attach(writable)) {
        *error = (writable ? "cannot write " : "cannot read ") + path + ": out of memory";
        return nullptr;
    }
    return io;
}

std::unique_ptr<FileIo> FileIo::OpenForReading(CodecFileOpener open, const std::string& path, std::string* error) {
    return Open(open, path, false, error);
}

std::unique_ptr<FileIo> FileIo::OpenForWriting(CodecFileOpener open, const std::string& path, std::string* error) {
    return Open(open, path, true, error);
}

FileIo::~FileIo() {
    if (context_) {
        av_freep(&context_->buffer);
        avio_context_free(&context_);
    }
}

bool FileIo::Attach(bool writable) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!buffer) return false;
    context_ = avio_alloc_context(buffer, kIoBufferSize, writable ? 1 : 0, file_.get(), writable ? nullptr : &ReadPacket,
                                  writable ? &WritePacket : nullptr, &SeekTo);
    if (!context_) av_free(buffer);
    return context_ != nullptr;
}

bool FileIo::Finish(std::string* error) {
    if (context_) avio_flush(context_);
    if ((context_ && context_->error < 0) || !file_->Ok() || !file_->Close()) {
        *error = file_->Ok() ? "cannot write " + file_->Path() : file_->Error();
        return false;
    }
    return true;
}

}  // namespace qorvcd::codec
