// The codec module (FFmpeg and its libraries) is loaded by the steps that need
// it and by no other: a build of ready sector-mode files never maps it, a
// build with a still picture does, and a module that cannot be loaded fails
// the step as a broken codec would, with a message naming the module; so
// does a module of another build, which is never called.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "session/qorvcd.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";

bool CodecModuleMapped() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find("/libqorvcd_codec.so\n") != std::string::npos;
}

class CodecModule : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg makes the media";
        // Each check runs in a fresh process, so no earlier test has mapped the module.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        const std::string stream = test::EnsureMedia(
            "module-svcd.mpg", std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=480x576:rate=25 -f lavfi -i "
                                                      "sine=sample_rate=44100 -t 1 -ac 2 -target pal-svcd {out}");
        const std::string packed =
            test::EnsureMedia("module-svcd.mps", "'" + test::CliPath() + "' pack '" + stream + "' {out} --kind svcd");
        const std::string bitmap = test::EnsureMedia(
            "module-menu.bmp", std::string(kFfmpeg) + "-f lavfi -i smptebars=size=480x576 -frames:v 1 -c:v bmp -f image2 {out}");
        test::WriteBytes(dir_ / "A.MPS", test::ReadBytes(packed));
        test::WriteBytes(dir_ / "CLIP.MPG", test::ReadBytes(stream));
        test::WriteBytes(dir_ / "MENU.BMP", test::ReadBytes(bitmap));
        const std::string tracks = "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\nMPEGTRACK AVSEQ01 A.MPS PAL AUDIO 2 TIME 1\r\n";
        test::WriteText(dir_ / "packed.txt", tracks);
        test::WriteText(dir_ / "plain.txt", "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\nMPEGTRACK AVSEQ01 CLIP.MPG PAL AUDIO 2 TIME 1\r\n");
        test::WriteText(dir_ / "still.txt", tracks + "[PBC]\r\nSEGMENT\r\nSEGMENU = MENU.BMP AUDIO 0 VIDEO 20\r\nENDSEGMENT\r\n"
                                                     "PLAYLIST P1 PREVIOUS NONE NEXT NONE RETURN NONE WAIT 5 AUTOWAIT 0 "
                                                     "PLAY SEGMENU ENDPLAYLIST\r\n");
    }

    int Build(const std::string& script, LogList& log) {
        BuildHost host;
        host.systemFolder = system_.Path();
        host.settingsFolder = test::SourceDir() + "/settings/";
        host.fixedTime = 1772668800;
        host.showMessage = [](const std::string&) {};
        std::string image = dir_ / "disc.img", scriptPath = dir_ / script;
        return QorSVCD(image.data(), scriptPath.data(), &log, host);
    }

    // Exits 0 when the build's result and the module's presence are as expected.
    void BuildAndExit(const std::string& script, bool moduleExpected) {
        LogList log;
        const int result = Build(script, log);
        std::_Exit(result == 0 && CodecModuleMapped() == moduleExpected ? 0 : 1);
    }

    test::TempDir dir_;
    test::TempDir system_;
};

TEST_F(CodecModule, IsLoadedOnlyByAStepThatNeedsIt) {
    EXPECT_EXIT(BuildAndExit("packed.txt", false), ::testing::ExitedWithCode(0), "");
    // A program stream that fits the kind is packed by its own headers' word.
    EXPECT_EXIT(BuildAndExit("plain.txt", false), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(BuildAndExit("still.txt", true), ::testing::ExitedWithCode(0), "");
}

TEST_F(CodecModule, OneThatCannotBeLoadedFailsTheStepAndIsNamed) {
    test::WriteText(dir_ / "not-a-module.so", "text");
    const std::string foreign = QORVCD_TEST_FOREIGN_MODULE;
    for (const std::string& module : {dir_ / "absent/libqorvcd_codec.so", dir_ / "not-a-module.so", foreign}) {
        ASSERT_EQ(setenv("QORVCD_CODEC_MODULE", module.c_str(), 1), 0);
        LogList log;
        const int result = Build("still.txt", log);
        unsetenv("QORVCD_CODEC_MODULE");
        EXPECT_NE(result, 0);
        const std::vector<std::string> lines = log.Lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), ">>> Fail <<<");
        std::string all;
        for (const std::string& line : lines) all += line + "\n";
        EXPECT_NE(all.find("needs the codec module " + module + ": "), std::string::npos) << all;
        if (module == foreign) {
            EXPECT_NE(all.find("of another build"), std::string::npos) << all;
        }
        EXPECT_FALSE(test::FileExists(dir_ / "disc.img"));
        // Without the override the same build succeeds: the failure was the module's.
        LogList again;
        EXPECT_EQ(Build("still.txt", again), 0);
        std::remove((dir_ / "disc.img").c_str());
    }
}

}  // namespace
}  // namespace qorvcd
