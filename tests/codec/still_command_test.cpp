#include <gtest/gtest.h>

#include "tests/codec/codec_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

TEST(StillCommand, WritesTheStillOrFailsWithoutLeavingFiles) {
    if (!test::FileExists(test::CliPath())) GTEST_SKIP() << "the qorvcd program is not built";
    test::TempDir dir;
    auto still = [&](const std::string& arguments) {
        return test::RunCommand("TMPDIR='" + dir.Path() + "' '" + test::CliPath() + "' still " + arguments);
    };
    const std::string out = dir / "MENU.MPS";
    test::CommandResult r = still("'" + test::TestBitmap(480, 576) + "' '" + out + "' --kind cvd");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Passing 3, coverting to sector mode..."), std::string::npos) << r.output;
    const std::vector<uint8_t> file = test::ReadBytes(out);
    ASSERT_GT(file.size(), 0u);
    EXPECT_EQ(file.size() % 2336, 0u);
    test::WriteBytes(dir / "packs.mpg", test::PackAreasOf(file));
    EXPECT_EQ(test::ProbeVideo(dir / "packs.mpg").width, 352);

    test::WriteText(dir / "NOTBMP.BMP", "this is text, not a picture");
    const std::string bad = dir / "BAD.MPS";
    r = still("'" + dir / "NOTBMP.BMP" + "' '" + bad + "'");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Can't encode"), std::string::npos) << r.output;
    r = still("'" + test::TestBitmap(352, 288) + "' '" + bad + "' --kind dvd");
    EXPECT_NE(r.exitCode, 0) << r.output;
    EXPECT_FALSE(test::FileExists(bad));
    // The private work folders (made in TMPDIR) went away with each run.
    EXPECT_EQ(test::RunCommand("ls -A '" + dir.Path() + "' | grep -c qorvcd-still").output, "0\n");
}

}  // namespace
}  // namespace qorvcd
