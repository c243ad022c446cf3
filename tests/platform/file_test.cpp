#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qorvcd
