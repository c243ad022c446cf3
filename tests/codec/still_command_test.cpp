#include <gtest/gtest.h>

#include "tests/codec/codec_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

class StillCommand : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::FileExists(test::CliPath())) GTEST_SKIP() << "the qorvcd program is not built";
    }
    test::CommandResult Still(const std::string& arguments) {
        return test::RunCommand("TMPDIR='" + dir.Path() + "' '" +
                                test::CliPath() + "' still " + arguments);
    }
    test::TempDir dir;
};

TEST_F(StillCommand, WritesTheStillAndPrintsThePasses) {
    const std::string out = dir / "MENU.MPS";
    const test::CommandResult r = Still("'" + test::TestBitmap(480, 576) + "' '" + out + "' --kind cvd");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Passing 3, coverting to sector mode..."), std::string::npos) << r.output;
    const std::vector<uint8_t> file = test::ReadBytes(out);
    ASSERT_GT(file.size(), 0u);
    EXPECT_EQ(file.size() % 2336, 0u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 4), (std::vector<uint8_t>{1, 0, 0x60, 0}));
    const std::string packs = dir / "packs.mpg";
    test::WriteBytes(packs, test::PackAreasOf(file));
    EXPECT_EQ(test::ProbeVideo(packs).width, 352);
}

TEST_F(StillCommand, FailsOnBadInputWithoutLeavingFiles) {
    test::WriteText(dir / "NOTBMP.BMP", "this is text, not a picture");
    const std::string out = dir / "BAD.MPS";
    test::CommandResult r = Still("'" + dir / "NOTBMP.BMP" + "' '" + out + "'");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Can't encode"), std::string::npos) << r.output;
    EXPECT_FALSE(test::FileExists(out));

    r = Still("'" + test::TestBitmap(352, 288) + "' '" + out + "' --kind dvd");
    EXPECT_NE(r.exitCode, 0) << r.output;
    EXPECT_FALSE(test::FileExists(out));
    // The private work folders (made in TMPDIR) went away with each run.
    EXPECT_EQ(test::RunCommand("ls -A '" + dir.Path() + "' | grep -c qorvcd-still").output, "0\n");
}

}  // namespace
}  // namespace qorvcd
