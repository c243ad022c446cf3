#include <gtest/gtest.h>

#include "image/sector_unit.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

TEST(MpegCli, PackThenProbeAVcdStream) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
    test::TempDir dir;
    const std::string stream = test::PalVcdStream();
    const test::CommandResult pack =
        test::RunCommand(Quoted(test::CliPath()) + " pack " + Quoted(stream) + " " + Quoted(dir / "t.mps") + " --kind VCD30");
    ASSERT_EQ(pack.exitCode, 0) << pack.output;
    const auto packed = test::ReadBytes(dir / "t.mps");
    EXPECT_EQ(packed.size() / kSectorModeUnitSize, test::ReadBytes(stream).size() / kMaxPackSize);

    const test::CommandResult probe = test::RunCommand(Quoted(test::CliPath()) + " probe " + Quoted(dir / "t.mps"));
    ASSERT_EQ(probe.exitCode, 0) << probe.output;
    EXPECT_NE(probe.output.find("MPEG-1"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("352x288"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("It is PAL, Audio Stereo"), std::string::npos) << probe.output;
}

TEST(MpegCli, FailuresExitNonZeroAndLeaveNoOutput) {
    test::TempDir dir;
    test::WriteBytes(dir / "bad.mpg", std::vector<uint8_t>(4000, 0x47));
    const test::CommandResult bad =
        test::RunCommand(Quoted(test::CliPath()) + " pack " + Quoted(dir / "bad.mpg") + " " + Quoted(dir / "bad.mps"));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.output.find("Error 500: MPEG-II ,PS format error!"), std::string::npos) << bad.output;
    EXPECT_FALSE(test::FileExists(dir / "bad.mps"));

    const test::CommandResult same =
        test::RunCommand(Quoted(test::CliPath()) + " pack " + Quoted(dir / "bad.mpg") + " " + Quoted(dir / "bad.mpg"));
    EXPECT_NE(same.exitCode, 0);
    EXPECT_EQ(test::ReadBytes(dir / "bad.mpg").size(), 4000u) << "the input is never overwritten";

    const test::CommandResult probe = test::RunCommand(Quoted(test::CliPath()) + " probe " + Quoted(dir / "bad.mpg"));
    EXPECT_EQ(probe.exitCode, 1) << probe.output;
}

}  // namespace
}  // namespace qorvcd
