// A real image with one field crafted to describe a disc of millions of
// sectors: export must refuse it at once, name the field, and write nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd::test {
namespace {

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Byte layout of the image's tail, as the container writes it.
constexpr size_t kTailHeaderSize = 22;
constexpr size_t kTailLengthAt = 4;
constexpr size_t kBlockHeaderSize = 22;
constexpr size_t kRunCountAt = 20;
constexpr size_t kRunSize = 16;
constexpr size_t kReservedEndAt = 8;

// Image offset of the tail: the last "RIFF ... ofs " chunk reaching exactly
// to the end of the file.
size_t FindTail(const std::vector<uint8_t>& image) {
    for (size_t at = image.size() - kTailHeaderSize + 1; at-- > 0;) {
        const uint8_t* p = image.data() + at;
        if (std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "ofs ", 4) == 0 &&
            GetLe32(p + kTailLengthAt) == image.size() - at)
            return at;
    }
    return 0;
}

TEST(CliCraftedImage, ExportRefusesAReservedRunPastTheDiscAndWritesNothing) {
    if (!FileExists(CliPath())) GTEST_SKIP() << "the qorvcd program is not built";
    TempDir dir;
    WriteText(dir / "disc.txt", "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\n[PBC]\r\n");
    RunCommand("mkdir " + Quote(dir / "system") + " " + Quote(dir / "out"));
    const CommandResult built =
        RunCommand(Quote(CliPath()) + " build " + Quote(dir / "disc.txt") + " -o " +
                   Quote(dir / "disc.img") + " --work-dir " + Quote(dir / "system"));
    ASSERT_EQ(built.exitCode, 0) << built.output;

    // The data track's first run that stores nothing: its reserved end set to
    // the largest value the field holds.
    std::vector<uint8_t> image = ReadBytes(dir / "disc.img");
    const size_t tail = FindTail(image);
    ASSERT_GT(tail, 0u);
    const size_t runs = tail + kTailHeaderSize + kBlockHeaderSize;
    const unsigned runCount = GetLe16(&image[runs - kBlockHeaderSize + kRunCountAt]);
    size_t reserved = 0;
    unsigned runNumber = 0;
    for (unsigned i = 0; i < runCount && !reserved; ++i) {
        const uint8_t* run = &image[runs + i * kRunSize];
        if (GetLe32(run) == GetLe32(run + 4)) reserved = runs + i * kRunSize, runNumber = i + 1;
    }
    ASSERT_GT(reserved, 0u);
    PutLe32(&image[reserved + kReservedEndAt], 0xFFFFFFFF);
    WriteBytes(dir / "crafted.img", image);

    const CommandResult exported = RunCommand(
        "timeout 60 " + Quote(CliPath()) + " export " + Quote(dir / "crafted.img") + " -o " +
        Quote(dir / "out/disc.cue") + " --iso " + Quote(dir / "out/track1.iso"));
    EXPECT_NE(exported.exitCode, 0);
    EXPECT_NE(exported.exitCode, 124) << "export did not finish in time";
    const std::string field =
        "track 1, run " + std::to_string(runNumber) + ": reserved end 4294967295";
    EXPECT_NE(exported.output.find(field), std::string::npos) << exported.output;
    EXPECT_NE(exported.output.find("past the 450000 sectors a disc can address"), std::string::npos)
        << exported.output;
    // No BIN, cue sheet or ISO image, and no partial file of any of them.
    EXPECT_EQ(RunCommand("ls -A " + Quote(dir / "out")).output, "");
}

}  // namespace
}  // namespace qorvcd::test
