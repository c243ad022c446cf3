#include "platform/file_faults.h"

#include <cerrno>

namespace qorvcd {

namespace {

// One plan per thread, installed only by tests; null everywhere else.
thread_local FileFaultPlan* tCurrentPlan = nullptr;

}  // namespace

const char* FileOpName(FileOp op) {
    switch (op) {
        case FileOp::Open: return "open";
        case FileOp::Read: return "read";
        case FileOp::Write: return "write";
        case FileOp::Seek: return "seek";
        case FileOp::Measure: return "measure";
        case FileOp::Close: return "close";
        case FileOp::CloseRead: return "close after reading";
        case FileOp::MakeFolder: return "make folder";
        case FileOp::Rename: return "rename";
        case FileOp::Remove: return "remove";
        case FileOp::RemoveFolder: return "remove folder";
        case FileOp::ListFolder: return "list folder";
    }
    return "?";
}

void FileFaultPlan::FailOperation(uint64_t n, int error) {
    failAt_ = n;
    failError_ = error;
}

void FileFaultPlan::FillDiskAfter(uint64_t bytes) { diskRoom_ = bytes; }

bool FileFaultPlan::Admit(FileOp op, const std::string& path) {
    ++operations_;
    if (record_) recorded_.push_back({op, path});
    if (operations_ != failAt_) return true;
    fired_ = true;
    failedOp_ = op;
    errno = failError_;
    return false;
}

size_t FileFaultPlan::AdmitWrite(size_t size, const std::string& path) {
    if (!Admit(FileOp::Write, path)) return 0;
    if (!diskRoom_) return size;
    const uint64_t room = *diskRoom_ > bytesWritten_ ? *diskRoom_ - bytesWritten_ : 0;
    if (room == 0 && size > 0) {
        fired_ = true;
        failedOp_ = FileOp::Write;
        errno = ENOSPC;
        return 0;
    }
    return room < size ? size_t(room) : size;
}

ScopedFileFaultPlan::ScopedFileFaultPlan(FileFaultPlan& plan) : previous_(tCurrentPlan) { tCurrentPlan = &plan; }

ScopedFileFaultPlan::~ScopedFileFaultPlan() { tCurrentPlan = previous_; }

FileFaultPlan* CurrentFileFaultPlan() { return tCurrentPlan; }

}  // namespace qorvcd
