// The example scripts in examples/ are what a new user copies first: each one
// must build as it is, with the media examples/make-media.sh makes (short
// clips and pictures from ffmpeg, cached under the test media folder), and
// VCDImager's vcd-info must read the BIN/CUE without a complaint.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

namespace fs = std::filesystem;

std::string ExamplesDir() { return SourceDir() + "/examples/"; }

// The example scripts, by name without ".txt".
std::vector<std::string> ExampleNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(ExamplesDir()))
        if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The examples' media, made once by the examples' own script (which keeps
// what is already there) and reused by later runs.
std::string ExampleMedia() {
    static const std::string folder = [] {
        const std::string media = MediaDir() + "examples";
        const CommandResult made = RunCommand("QORVCD=" + Quote(CliPath()) + " sh " +
                                              Quote(ExamplesDir() + "make-media.sh") + " --media-only " + Quote(media));
        EXPECT_EQ(made.exitCode, 0) << made.output;
        return media;
    }();
    return folder;
}

class Examples : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg", "vcd-info"}); !tool.empty()) GTEST_SKIP() << "missing " << tool;
    }
    TempDir dir;
};

TEST_F(Examples, ThereIsOneForEveryDiscKind) {
    const std::vector<std::string> names = ExampleNames();
    for (const char* expected : {"vcd30-menu", "svcd-chapters", "slideshow", "cvd", "supervcd-apps"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
}

TEST_F(Examples, EveryExampleBuildsAndVcdInfoReadsItWithoutComplaint) {
    const std::string media = ExampleMedia();
    ASSERT_TRUE(FileExists(media + "/BEACH.MP4") && FileExists(media + "/CVD1.MPS")) << media;
    // The scripts name their media as media/NAME, relative to themselves.
    fs::copy(media, dir / "media", fs::copy_options::recursive);
    fs::create_directories(dir / "work");
    for (const std::string& name : ExampleNames()) {
        SCOPED_TRACE(name);
        fs::copy_file(ExamplesDir() + name + ".txt", dir / (name + ".txt"));
        // Scripts of Video CD 3.0 name no MODE: the build's --vcd30 gives the kind.
        const bool vcd30 = name.rfind("vcd30", 0) == 0;
        const std::string image = dir / ("out-" + name + ".img");
        const CommandResult build =
            RunCommand("SOURCE_DATE_EPOCH=1700000000 " + Quote(CliPath()) + " build " + Quote(dir / (name + ".txt")) +
                       " -o " + Quote(image) + " --bin-cue --work-dir " + Quote(dir / "work") +
                       (vcd30 ? " --vcd30" : ""));
        ASSERT_EQ(build.exitCode, 0) << build.output;
        EXPECT_NE(build.output.find("Result: 0"), std::string::npos) << build.output;
        // The application example must really carry its two application files.
        if (name == "supervcd-apps") {
            EXPECT_NE(build.output.find("Total found file 2"), std::string::npos) << build.output;
        }

        const std::string cue = dir / ("out-" + name + ".cue");
        const std::string info = Output("vcd-info --no-ext-psd -c " + Quote(cue) + " 2>&1");
        EXPECT_EQ(Matches(info, kReaderComplaint).size(), 0u) << info;
        fs::remove(image);
        fs::remove(dir / ("out-" + name + ".bin"));
    }
}

}  // namespace
}  // namespace qorvcd::test
