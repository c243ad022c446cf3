#include <gtest/gtest.h>

#include "image/sector_unit.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

test::CommandResult Cli(const std::string& args) {
    return test::RunCommand("'" + test::CliPath() + "' " + args);
}
std::string Q(const std::string& s) { return "'" + s + "'"; }

TEST(MpegCli, PackThenProbeAVcdStream) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    test::TempDir dir;
    const std::string stream = test::PalVcdStream();
    const test::CommandResult pack = Cli("pack " + Q(stream) + " " + Q(dir / "t.mps") + " --kind VCD30");
    ASSERT_EQ(pack.exitCode, 0) << pack.output;
    EXPECT_EQ(test::ReadBytes(dir / "t.mps").size() / kSectorModeUnitSize,
              test::ReadBytes(stream).size() / kMaxPackSize);
    const test::CommandResult probe = Cli("probe " + Q(dir / "t.mps"));
    ASSERT_EQ(probe.exitCode, 0) << probe.output;
    for (const char* part : {"MPEG-1", "352x288", "It is PAL, Audio Stereo"})
        EXPECT_NE(probe.output.find(part), std::string::npos) << probe.output;
}

TEST(MpegCli, FailuresExitNonZeroAndLeaveNoOutput) {
    test::TempDir dir;
    test::WriteBytes(dir / "bad.mpg", std::vector<uint8_t>(4000, 0x47));
    const test::CommandResult bad = Cli("pack " + Q(dir / "bad.mpg") + " " + Q(dir / "bad.mps"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("Error 500: MPEG-II ,PS format error!"), std::string::npos) << bad.output;
    EXPECT_FALSE(test::FileExists(dir / "bad.mps"));
    EXPECT_NE(Cli("pack " + Q(dir / "bad.mpg") + " " + Q(dir / "bad.mpg")).exitCode, 0);
    EXPECT_EQ(test::ReadBytes(dir / "bad.mpg").size(), 4000u) << "the input is never overwritten";
    EXPECT_EQ(Cli("probe " + Q(dir / "bad.mpg")).exitCode, 1);
}

}  // namespace
}  // namespace qorvcd
