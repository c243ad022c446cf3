#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/file.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;

TEST(File, WritesSeeksAndReadsAcrossTheBuffer) {
    TempDir dir;
    File f;
    ASSERT_TRUE(f.Open(dir / "a.bin", FileMode::CreateReadWrite));
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
    ASSERT_TRUE(f.Write(data.data(), data.size()));
    EXPECT_EQ(f.Length(), data.size());  // pending writes count
    EXPECT_EQ(f.Position(), data.size());
    // Patch in the middle, then read around the patch.
    ASSERT_TRUE(f.Seek(100000));
    const uint8_t patch[3] = {1, 2, 3};
    ASSERT_TRUE(f.Write(patch, 3));
    ASSERT_TRUE(f.Seek(99999));
    uint8_t back[5];
    ASSERT_TRUE(f.ReadExact(back, 5));
    EXPECT_EQ(back[0], data[99999]);
    EXPECT_EQ(back[1], 1);
    EXPECT_EQ(back[3], 3);
    EXPECT_EQ(back[4], data[100003]);
    EXPECT_EQ(f.Position(), 100004u);
    // Writing after a read lands at the read position.
    ASSERT_TRUE(f.Write(patch, 1));
    ASSERT_TRUE(f.SeekToEnd());
    EXPECT_EQ(f.Position(), data.size());
    ASSERT_TRUE(f.Close());
    auto bytes = test::ReadBytes(dir / "a.bin");
    ASSERT_EQ(bytes.size(), data.size());
    EXPECT_EQ(bytes[100004], 1);
    EXPECT_EQ(bytes[100005], data[100005]);
}

TEST(File, FailuresAreRecordedNotThrown) {
    TempDir dir;
    File f;
    EXPECT_FALSE(f.Open(dir / "missing/x.bin", FileMode::CreateReadWrite));
    EXPECT_NE(f.Error().find("missing/x.bin"), std::string::npos);
    EXPECT_FALSE(f.Open(dir.Path(), FileMode::Read));  // a folder is not a file

    test::WriteText(dir / "r.txt", "abc");
    File r;
    ASSERT_TRUE(r.Open(dir / "r.txt", FileMode::Read));
    EXPECT_FALSE(r.Write("x", 1));
    EXPECT_FALSE(r.Ok());
    char buf[10];
    File s;
    ASSERT_TRUE(s.Open(dir / "r.txt", FileMode::Read));
    EXPECT_EQ(s.Read(buf, 10), 3u);
    EXPECT_TRUE(s.Ok());  // a short read at the end is no error
    ASSERT_TRUE(s.Seek(0));
    EXPECT_FALSE(s.ReadExact(buf, 4));
    EXPECT_FALSE(s.Ok());
}

TEST(File, WriteFailureOnAFullDeviceIsReported) {
    if (!test::FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    File f;
    ASSERT_TRUE(f.Open("/dev/full", FileMode::ReadWrite));
    std::vector<uint8_t> block(1 << 17, 0x55);
    f.Write(block.data(), block.size());
    EXPECT_FALSE(f.Close());
    EXPECT_FALSE(f.Error().empty());
}

// A file that streams megabytes moves them through a larger buffer: data read
// and written in unit-sized pieces across the change, with seeks and patches
// after it, must come out exactly as put in.
TEST(File, StreamsUnitsAcrossTheBufferGrowth) {
    TempDir dir;
    std::vector<uint8_t> data(3 * 1024 * 1024 + 1234);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 131 + (i >> 11));
    File out;
    ASSERT_TRUE(out.Open(dir / "s.bin", FileMode::CreateReadWrite));
    for (size_t at = 0; at < data.size(); at += 2336) out.Write(&data[at], std::min<size_t>(2336, data.size() - at));
    const uint8_t patch[4] = {9, 8, 7, 6};
    ASSERT_TRUE(out.Seek(2000000));
    ASSERT_TRUE(out.Write(patch, sizeof patch));
    std::copy(std::begin(patch), std::end(patch), data.begin() + 2000000);
    ASSERT_TRUE(out.Close());
    EXPECT_EQ(test::ReadBytes(dir / "s.bin"), data);

    File in;
    ASSERT_TRUE(in.Open(dir / "s.bin", FileMode::Read));
    std::vector<uint8_t> back(data.size());
    size_t got = 0;
    for (size_t piece = 2336; got < back.size(); piece = piece == 2336 ? 7 : 2336) {
        got += in.Read(&back[got], std::min(piece, back.size() - got));
        if (!in.Ok()) break;
    }
    EXPECT_EQ(back, data);
    uint8_t four[4];
    ASSERT_TRUE(in.Seek(1999999));
    ASSERT_TRUE(in.ReadExact(four, 4));
    EXPECT_EQ(four[1], 9);
    EXPECT_EQ(four[0], data[1999999]);
}

// Opening to create empties a file that holds something, and a fresh one is
// never truncated (ext4 would write all of it back at the close).
TEST(File, CreatingEmptiesOnlyAFileThatHoldsSomething) {
    TempDir dir;
    test::WriteText(dir / "old.bin", "old content");
    File f;
    ASSERT_TRUE(f.Open(dir / "old.bin", FileMode::CreateReadWrite));
    EXPECT_EQ(f.Length(), 0u);
    ASSERT_TRUE(f.Write("new", 3));
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(test::ReadText(dir / "old.bin"), "new");
    ASSERT_TRUE(f.Open(dir / "fresh.bin", FileMode::CreateReadWrite));
    EXPECT_EQ(f.Length(), 0u);
    ASSERT_TRUE(f.Close());
    EXPECT_TRUE(test::FileExists(dir / "fresh.bin"));
}

}  // namespace
}  // namespace qorvcd
