// The file layer's fault seam: what a plan counts, the one failure it makes,
// a disk that fills up part-way through a write, and plans that nest.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/file.h"
#include "platform/file_faults.h"
#include "platform/outputs.h"
#include "platform/paths.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;

// Writes 100 bytes to a new file and reads them back: open, measure, write
// (at the close), close; open, measure, read, close.
bool WriteAndReadBack(const std::string& path, std::string* error = nullptr) {
    File out;
    const std::string text(100, 'x');
    if (!out.Open(path, FileMode::CreateReadWrite) || !out.Write(text.data(), text.size()) || !out.Close()) {
        if (error) *error = out.Error();
        return false;
    }
    std::vector<uint8_t> back;
    return File::ReadAll(path, back, error) && back.size() == text.size();
}

TEST(FileFaults, APlanCountsEveryOperationAndFailsTheOneItNames) {
    TempDir dir;
    FileFaultPlan counter;
    counter.RecordOperations(true);
    {
        ScopedFileFaultPlan scope(counter);
        ASSERT_TRUE(WriteAndReadBack(dir / "a.bin"));
    }
    const std::vector<FileOp> expected = {FileOp::Open, FileOp::Measure, FileOp::Write, FileOp::Close,
                                          FileOp::Open, FileOp::Measure, FileOp::Read,  FileOp::CloseRead};
    ASSERT_EQ(counter.Operations(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(counter.Recorded()[i].op, expected[i]) << i;
        EXPECT_EQ(counter.Recorded()[i].path, dir / "a.bin") << i;
    }
    EXPECT_EQ(counter.BytesWritten(), 100u);
    EXPECT_FALSE(counter.Fired());

    // Each operation in turn fails, with the error the plan gives it; the
    // last, closing a file that was only read, loses nothing and is absorbed.
    for (uint64_t n = 1; n <= counter.Operations(); ++n) {
        FileFaultPlan plan;
        plan.FailOperation(n, EIO);
        std::string error;
        bool ok;
        File::Remove(dir / "b.bin");  // a new file each time: one that holds something is emptied first
        {
            ScopedFileFaultPlan scope(plan);
            ok = WriteAndReadBack(dir / "b.bin", &error);
        }
        EXPECT_TRUE(plan.Fired()) << n;
        EXPECT_EQ(plan.FailedOperation(), expected[n - 1]) << n;
        if (n == counter.Operations()) {
            EXPECT_TRUE(ok);
            continue;
        }
        EXPECT_FALSE(ok) << n;
        EXPECT_NE(error.find(std::strerror(EIO)), std::string::npos) << n << ": " << error;
    }
    // Without a plan nothing fails.
    EXPECT_TRUE(WriteAndReadBack(dir / "c.bin"));
}

TEST(FileFaults, AFullDiskTakesWhatFitsThenRefusesWithNoSpace) {
    TempDir dir;
    FileFaultPlan plan;
    plan.FillDiskAfter(70000);
    File out;
    std::vector<uint8_t> data(200000, 7);
    {
        ScopedFileFaultPlan scope(plan);
        ASSERT_TRUE(out.Open(dir / "full.bin", FileMode::CreateReadWrite));
        out.Write(data.data(), data.size());
        EXPECT_FALSE(out.Close());
    }
    EXPECT_TRUE(plan.Fired());
    EXPECT_EQ(plan.BytesWritten(), 70000u);
    EXPECT_NE(out.Error().find(std::strerror(ENOSPC)), std::string::npos) << out.Error();
    EXPECT_EQ(test::ReadBytes(dir / "full.bin").size(), 70000u);
}

TEST(FileFaults, PlansNestAndFolderOperationsCount) {
    TempDir dir;
    FileFaultPlan outer, inner;
    inner.FailOperation(1, EACCES);
    {
        ScopedFileFaultPlan a(outer);
        EXPECT_TRUE(MakeDirectory(dir / "one"));
        {
            ScopedFileFaultPlan b(inner);
            EXPECT_FALSE(MakeDirectory(dir / "two"));
            EXPECT_EQ(errno, EACCES);
        }
        EXPECT_EQ(CurrentFileFaultPlan(), &outer);
        EXPECT_TRUE(RenamePath(dir / "one", dir / "three"));
        EXPECT_TRUE(RemoveTree(dir / "three"));
    }
    EXPECT_EQ(CurrentFileFaultPlan(), nullptr);
    EXPECT_FALSE(PathExists(dir / "two"));
    // make folder, rename, then the removal: list, remove the empty folder.
    EXPECT_EQ(outer.Operations(), 4u);
}

// A new file whose open fails after it was made is removed again, and a
// temporary output that resists one removal is removed at the second try.
TEST(FileFaults, WhatAFailingCallMadeIsNotLeftBehind) {
    TempDir dir;
    FileFaultPlan measureFails;
    measureFails.FailOperation(2, EIO);  // open, then the type check
    File file;
    {
        ScopedFileFaultPlan scope(measureFails);
        EXPECT_FALSE(file.Open(dir / "new.bin", FileMode::CreateNew));
    }
    EXPECT_FALSE(File::Exists(dir / "new.bin"));

    PendingOutput output(dir / "out.img");
    ASSERT_TRUE(output.Create());
    const std::string temporary = output.TemporaryPath();
    FileFaultPlan removeFails;
    removeFails.FailOperation(1, EIO);
    {
        ScopedFileFaultPlan scope(removeFails);
        EXPECT_TRUE(output.Discard());
    }
    EXPECT_TRUE(removeFails.Fired());
    EXPECT_FALSE(File::Exists(temporary));
}

// After a failed seek the position is unknown: reading gives nothing rather
// than bytes from the wrong place.
TEST(FileFaults, NothingIsReadAfterAFailure) {
    TempDir dir;
    test::WriteText(dir / "r.txt", std::string(100, 'r'));
    File in;
    ASSERT_TRUE(in.Open(dir / "r.txt", FileMode::Read));
    FileFaultPlan plan;
    plan.FailOperation(1, EIO);
    {
        ScopedFileFaultPlan scope(plan);
        EXPECT_FALSE(in.Seek(90));
    }
    char buffer[10];
    EXPECT_EQ(in.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(in.Ok());
    EXPECT_EQ(in.Length(), 100u);
}

// Emptying an existing file on a creating open is a write the plan can fail:
// the open fails, says so, and the file keeps what it held.
TEST(FileFaults, AFailedEmptyingFailsTheOpenAndKeepsTheFile) {
    TempDir dir;
    test::WriteText(dir / "kept.bin", "kept");
    FileFaultPlan plan;
    plan.FailOperation(3, EIO);  // open, measure, then the emptying
    File f;
    {
        ScopedFileFaultPlan scope(plan);
        EXPECT_FALSE(f.Open(dir / "kept.bin", FileMode::CreateReadWrite));
    }
    EXPECT_EQ(plan.FailedOperation(), FileOp::Write);
    EXPECT_NE(f.Error().find("cannot empty " + dir / "kept.bin"), std::string::npos) << f.Error();
    EXPECT_EQ(test::ReadText(dir / "kept.bin"), "kept");
}

}  // namespace
}  // namespace qorvcd
