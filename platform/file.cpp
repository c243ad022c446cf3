#include "platform/file.h"

#include "platform/file_faults.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qorvcd {

namespace {

// The OS calls of the file layer, each first put to the thread's fault plan
// (a test seam; see file_faults.h) with the path it is for.
int OpenFile(const std::string& path, int flags) {
    return AdmitFileOp(FileOp::Open, path) ? ::open(path.c_str(), flags, 0644) : -1;
}

int MeasureFile(int fd, struct stat* st, const std::string& path) {
    return AdmitFileOp(FileOp::Measure, path) ? ::fstat(fd, st) : -1;
}

// The descriptor is released even when the plan fails the close, as the OS does.
int CloseFile(int fd, const std::string& path, bool written) {
    const bool admitted = AdmitFileOp(written ? FileOp::Close : FileOp::CloseRead, path);
    const int saved = errno;
    const int rc = ::close(fd);
    if (admitted) return rc;
    errno = saved;
    return -1;
}

ssize_t ReadFile(int fd, void* buffer, size_t size, const std::string& path) {
    return AdmitFileOp(FileOp::Read, path) ? ::read(fd, buffer, size) : -1;
}

ssize_t WriteFile(int fd, const void* buffer, size_t size, const std::string& path) {
    FileFaultPlan* plan = CurrentFileFaultPlan();
    if (!plan) return ::write(fd, buffer, size);
    const size_t allowed = plan->AdmitWrite(size, path);
    if (allowed == 0 && size > 0) return -1;
    const ssize_t n = ::write(fd, buffer, allowed);
    if (n > 0) plan->Wrote(size_t(n));
    return n;
}

// Emptying a file changes what it holds: the plan sees it as a write.
int EmptyFile(int fd, const std::string& path) {
    return AdmitFileOp(FileOp::Write, path) ? ::ftruncate(fd, 0) : -1;
}

off_t SeekFile(int fd, off_t position, const std::string& path) {
    return AdmitFileOp(FileOp::Seek, path) ? ::lseek(fd, position, SEEK_SET) : -1;
}

}  // namespace

File::~File() { Close(); }

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        error_ = std::move(other.error_);
        buffer_ = std::move(other.buffer_);
        readPos_ = std::exchange(other.readPos_, 0);
        readEnd_ = std::exchange(other.readEnd_, 0);
        writeLen_ = std::exchange(other.writeLen_, 0);
        osPosition_ = std::exchange(other.osPosition_, 0);
        length_ = std::exchange(other.length_, 0);
        streamed_ = std::exchange(other.streamed_, 0);
        writable_ = other.writable_;
    }
    return *this;
}

void File::SetOsError(const char* what) {
    if (error_.empty()) error_ = std::string(what) + " " + path_ + ": " + std::strerror(errno);
}

void File::Fail(const std::string& reason) {
    if (error_.empty()) error_ = reason;
}

bool File::Open(const std::string& path, FileMode mode) {
    Close();
    path_ = path;
    error_.clear();
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileMode::Read: flags |= O_RDONLY | O_NONBLOCK; break;  // a FIFO must not block the open
        case FileMode::ReadWrite: flags |= O_RDWR; break;
        // Emptied below, and only when it holds something: ext4 takes a
        // truncating open as a file being replaced and writes all of it back
        // to the disk at its close (a tenth of a second for an image), even
        // when the file was empty, as a fresh temporary output is.
        case FileMode::CreateReadWrite: flags |= O_RDWR | O_CREAT; break;
        case FileMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    fd_ = OpenFile(path, flags);
    if (fd_ < 0) {
        SetOsError("cannot open");
        return false;
    }
    if (!CheckOpenedType(mode)) {
        CloseFile(fd_, path_, mode != FileMode::Read);
        fd_ = -1;
        // A file this call created is this call's to remove.
        if (mode == FileMode::CreateNew) ::unlink(path.c_str());
        return false;
    }
    if (mode == FileMode::CreateReadWrite && length_ > 0) {
        if (EmptyFile(fd_, path_) != 0) {
            SetOsError("cannot empty");
            CloseFile(fd_, path_, true);
            fd_ = -1;
            return false;
        }
        length_ = 0;
    }
    writable_ = mode != FileMode::Read;
    buffer_.resize(kBufferSize);
    readPos_ = readEnd_ = writeLen_ = 0;
    osPosition_ = 0;
    streamed_ = 0;
    return true;
}

bool File::CheckOpenedType(FileMode mode) {
    struct stat st {};
    if (MeasureFile(fd_, &st, path_) != 0) {
        SetOsError("cannot examine");
        return false;
    }
    length_ = uint64_t(st.st_size);
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        SetOsError("cannot open");
        return false;
    }
    if (mode != FileMode::Read) return true;
    if (!S_ISREG(st.st_mode)) {
        Fail("cannot read " + path_ + ": not a regular file (a FIFO, socket or device)");
        return false;
    }
    const int status = ::fcntl(fd_, F_GETFL);
    if (status < 0 || ::fcntl(fd_, F_SETFL, status & ~O_NONBLOCK) < 0) {
        SetOsError("cannot open");
        return false;
    }
    return true;
}

bool File::Close() {
    if (fd_ < 0) return true;
    bool ok = FlushWrite();
    if (CloseFile(fd_, path_, writable_) != 0) {
        SetOsError("cannot close");
        ok = false;
    }
    fd_ = -1;
    buffer_.clear();
    buffer_.shrink_to_fit();
    readPos_ = readEnd_ = writeLen_ = 0;
    return ok && error_.empty();
}

bool File::FlushWrite() {
    size_t done = 0;
    while (done < writeLen_) {
        const ssize_t n = WriteFile(fd_, buffer_.data() + done, writeLen_ - done, path_);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetOsError("cannot write");
            writeLen_ = 0;
            return false;
        }
        done += size_t(n);
        osPosition_ += uint64_t(n);
    }
    length_ = std::max(length_, osPosition_);
    writeLen_ = 0;
    GrowBufferWhenStreaming(done);
    return true;
}

void File::GrowBufferWhenStreaming(size_t justMoved) {
    streamed_ += justMoved;
    if (streamed_ >= kStreamingAfter && buffer_.size() < kStreamingBufferSize) buffer_.resize(kStreamingBufferSize);
}

void File::DropReadBuffer() {
    // The OS position is past the read-ahead; put it back where the caller is.
    if (readEnd_ > readPos_) {
        const uint64_t logical = osPosition_ - (readEnd_ - readPos_);
        if (SeekFile(fd_, off_t(logical), path_) < 0) SetOsError("cannot seek in");
        osPosition_ = logical;
    }
    readPos_ = readEnd_ = 0;
}

// After a failure the position is no longer known: nothing more is read.
size_t File::Read(void* out, size_t size) {
    if (fd_ < 0 || size == 0 || !error_.empty()) return 0;
    if (!FlushWrite()) return 0;
    auto* dst = static_cast<uint8_t*>(out);
    size_t got = 0;
    while (got < size) {
        if (readPos_ < readEnd_) {
            const size_t n = std::min(size - got, readEnd_ - readPos_);
            std::memcpy(dst + got, buffer_.data() + readPos_, n);
            readPos_ += n;
            got += n;
            continue;
        }
        readPos_ = readEnd_ = 0;
        if (size - got >= buffer_.size()) {  // large reads bypass the buffer
            const ssize_t n = ReadFile(fd_, dst + got, size - got, path_);
            if (n < 0) {
                if (errno == EINTR) continue;
                SetOsError("cannot read");
                break;
            }
            if (n == 0) break;
            got += size_t(n);
            osPosition_ += uint64_t(n);
            continue;
        }
        const ssize_t n = ReadFile(fd_, buffer_.data(), buffer_.size(), path_);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetOsError("cannot read");
            break;
        }
        if (n == 0) break;
        readEnd_ = size_t(n);
        osPosition_ += uint64_t(n);
        if (readPos_ == 0 && readEnd_ == buffer_.size()) GrowBufferWhenStreaming(readEnd_);
    }
    return got;
}

bool File::ReadExact(void* out, size_t size) {
    if (Read(out, size) == size) return true;
    Fail("unexpected end of file in " + path_);
    return false;
}

bool File::Write(const void* data, size_t size) {
    if (fd_ < 0 || !error_.empty()) return false;
    if (!writable_) {
        Fail("file " + path_ + " is open for reading only");
        return false;
    }
    DropReadBuffer();
    const auto* src = static_cast<const uint8_t*>(data);
    while (size > 0) {
        if (writeLen_ == buffer_.size() && !FlushWrite()) return false;
        const size_t n = std::min(size, buffer_.size() - writeLen_);
        std::memcpy(buffer_.data() + writeLen_, src, n);
        writeLen_ += n;
        src += n;
        size -= n;
    }
    return true;
}

bool File::WriteZeros(uint64_t count) {
    static constexpr uint8_t kZeros[4096] = {};
    while (count > 0) {
        const size_t n = size_t(std::min<uint64_t>(count, sizeof kZeros));
        if (!Write(kZeros, n)) return false;
        count -= n;
    }
    return true;
}

bool File::Seek(uint64_t position) {
    if (fd_ < 0) return false;
    if (!FlushWrite()) return false;
    // A seek inside the read-ahead keeps it.
    if (readEnd_ > 0) {
        const uint64_t bufferStart = osPosition_ - readEnd_;
        if (position >= bufferStart && position <= osPosition_) {
            readPos_ = size_t(position - bufferStart);
            return true;
        }
    }
    readPos_ = readEnd_ = 0;
    if (SeekFile(fd_, off_t(position), path_) < 0) {
        SetOsError("cannot seek in");
        return false;
    }
    osPosition_ = position;
    return true;
}

bool File::SeekToEnd() { return Seek(Length()); }

uint64_t File::Position() const {
    if (readEnd_ > 0) return osPosition_ - (readEnd_ - readPos_);
    return osPosition_ + writeLen_;
}

// The size measured at the open, grown by what was written since: nothing
// else writes a file while this object holds it, and a size that needs no
// further call to the OS cannot fail halfway through a copy.
uint64_t File::Length() {
    if (fd_ < 0) return 0;
    return std::max(length_, osPosition_ + writeLen_);
}

std::optional<FileIdentity> File::Identity() const { return IdentifyOpenFile(fd_); }

bool File::Flush() { return fd_ >= 0 && FlushWrite(); }

bool File::Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool File::Remove(const std::string& path) { return AdmitFileOp(FileOp::Remove, path) && ::unlink(path.c_str()) == 0; }

bool File::ReadAll(const std::string& path, std::vector<uint8_t>& out, std::string* error) {
    File f;
    if (!f.Open(path, FileMode::Read)) {
        if (error) *error = f.Error();
        return false;
    }
    out.resize(size_t(f.Length()));
    out.resize(f.Read(out.data(), out.size()));
    if (!f.Ok() && error) *error = f.Error();
    return f.Ok();
}

bool File::WriteAll(const std::string& path, const void* data, size_t size, std::string* error) {
    File f;
    if (!f.Open(path, FileMode::CreateReadWrite) || !f.Write(data, size) || !f.Close()) {
        if (error) *error = f.Error();
        return false;
    }
    return true;
}

}  // namespace qorvcd
