// A test seam for the file layer: a plan that counts every OS-level file
// operation of the current thread and can make one of them fail, or the disk
// fill up after a number of bytes, so that tests can walk a whole build
// through every failure the OS could report.
//
// A plan is installed for the current thread by a ScopedFileFaultPlan and
// removed when that object dies; without one (every production run) the file
// layer pays one thread-local pointer test per operation and nothing else.
// A build does its file work on the thread that called it (codec threads
// inside FFmpeg touch no files), so a plan installed around a build sees all
// of its file operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qorvcd {

// The operations the file layer asks the OS for.
enum class FileOp {
    Open,
    Read,
    Write,
    Seek,
    Measure,       // the size or type of an open file
    Close,         // a file open for writing
    CloseRead,     // a file open for reading only
    MakeFolder,
    Rename,
    Remove,        // a file
    RemoveFolder,  // an empty folder
    ListFolder,
};

const char* FileOpName(FileOp op);

class FileFaultPlan {
public:
    // Makes the `n`-th operation (1 = the first) fail with `error`.
    void FailOperation(uint64_t n, int error);
    // Lets `bytes` more bytes reach the disk in all, then fails writes with ENOSPC.
    void FillDiskAfter(uint64_t bytes);

    // What the plan saw.
    uint64_t Operations() const { return operations_; }
    uint64_t BytesWritten() const { return bytesWritten_; }
    bool Fired() const { return fired_; }
    // The operation that was made to fail, when one was.
    std::optional<FileOp> FailedOperation() const { return failedOp_; }
    // Every operation counted, in order, with the path it was for (kept
    // when recording).
    struct Operation {
        FileOp op;
        std::string path;
    };
    void RecordOperations(bool record) { record_ = record; }
    const std::vector<Operation>& Recorded() const { return recorded_; }

    // Called by the file layer before each operation: false (with errno set)
    // when the operation is to fail.
    bool Admit(FileOp op, const std::string& path);
    // Called before a write of `size` bytes: how many of them may reach the
    // disk (0 with errno set when the write is to fail at once).
    size_t AdmitWrite(size_t size, const std::string& path);
    // Called after a write with the count that reached the disk.
    void Wrote(size_t size) { bytesWritten_ += size; }

private:
    uint64_t operations_ = 0;
    uint64_t failAt_ = 0;  // 0: no operation fails
    int failError_ = 0;
    std::optional<uint64_t> diskRoom_;
    uint64_t bytesWritten_ = 0;
    bool fired_ = false;
    std::optional<FileOp> failedOp_;
    bool record_ = false;
    std::vector<Operation> recorded_;
};

// Installs `plan` for the current thread for this object's lifetime; the
// plan that was installed before (if any) comes back afterwards.
class ScopedFileFaultPlan {
public:
    explicit ScopedFileFaultPlan(FileFaultPlan& plan);
    ~ScopedFileFaultPlan();
    ScopedFileFaultPlan(const ScopedFileFaultPlan&) = delete;
    ScopedFileFaultPlan& operator=(const ScopedFileFaultPlan&) = delete;

private:
    FileFaultPlan* previous_;
};

// The plan of the current thread; null when none is installed.
FileFaultPlan* CurrentFileFaultPlan();

// For the file layer: false (errno set) when the plan fails this operation.
inline bool AdmitFileOp(FileOp op, const std::string& path) {
    FileFaultPlan* plan = CurrentFileFaultPlan();
    return !plan || plan->Admit(op, path);
}

}  // namespace qorvcd
