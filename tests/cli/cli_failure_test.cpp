// Failed builds and unreadable images through the command line: the right
// closing lines, a non-zero exit, and nothing left behind.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace qorvcd::test {
namespace {

std::string Quote(const std::string& text) { return "'" + text + "'"; }

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The last two non-empty lines of the program's output.
std::vector<std::string> LastTwoLines(const std::string& output) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        const size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty()) lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (lines.size() > 2) lines.erase(lines.begin(), lines.end() - 2);
    return lines;
}

class CliFailure : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(CliPath())) GTEST_SKIP() << "the qorvcd program is not built";
        RunCommand("mkdir " + Quote(dir / "system"));
        WriteText(dir / "disc.txt", "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\n[PBC]\r\n");
    }
    CommandResult Build(const std::string& script, const std::string& image) {
        return RunCommand(Quote(CliPath()) + " build " + Quote(script) + " -o " + Quote(image) + " --work-dir " +
                          Quote(dir / "system"));
    }
    // The private work folders live in the system folder's TEMP; none may stay.
    std::string LeftInTemp() { return RunCommand("ls -A " + Quote(dir / "system/TEMP") + " 2>/dev/null").output; }

    TempDir dir;
};

TEST_F(CliFailure, BuildsThatCannotStartFailCleanly) {
    WriteText(dir / "absent-track.txt", "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\nMPEGTRACK AVSEQ01 NONE.MPS PAL AUDIO 2 TIME 3\r\n");
    const struct {
        std::string script, image, logged, result;
        bool imageMade;
    } cases[] = {
        {dir / "missing/disc.txt", dir / "disc.img", "Can't open " + dir.Path() + "missing/disc.txt", "Result: 2000", false},
        {dir / "disc.txt", dir / "missing/disc.img", "Error 10000: Can't create file " + dir.Path() + "missing/disc.img",
         "Result: 200", false},
        // The image exists by the time the track list fails: it must be removed.
        {dir / "absent-track.txt", dir / "disc.img", "Error 10002: File ", "Result: 1", true},
    };
    for (const auto& c : cases) {
        const CommandResult r = Build(c.script, c.image);
        EXPECT_NE(r.exitCode, 0) << r.output;
        // The session log shows the paths lower-cased, as the product always did.
        EXPECT_NE(Lower(r.output).find(Lower(c.logged)), std::string::npos) << r.output;
        EXPECT_EQ(LastTwoLines(r.output), (std::vector<std::string>{">>> Fail <<<", c.result})) << r.output;
        EXPECT_EQ(r.output.find(" is creating...") != std::string::npos, c.imageMade) << r.output;
        EXPECT_FALSE(FileExists(c.image)) << c.image;
        EXPECT_EQ(LeftInTemp(), "") << c.script;
    }
    // The same script with a good image path builds, so the failures above came from the paths.
    const CommandResult good = Build(dir / "disc.txt", dir / "disc.img");
    EXPECT_EQ(good.exitCode, 0) << good.output;
    EXPECT_EQ(LastTwoLines(good.output).back(), "Result: 0");
    EXPECT_EQ(LeftInTemp(), "");
}

TEST_F(CliFailure, HelpAndUnreadableImages) {
    const CommandResult help = RunCommand(Quote(CliPath()) + " build --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("--work-dir"), std::string::npos) << help.output;

    std::vector<uint8_t> garbage(20000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 131 + 17);
    WriteBytes(dir / "garbage.img", garbage);
    // A RIFF header over nonsense must be refused as well, not decoded into garbage.
    std::vector<uint8_t> riff = garbage;
    std::copy_n("RIFF", 4, riff.begin());
    WriteBytes(dir / "riff.img", riff);
    for (const std::string image : {"garbage.img", "riff.img", "absent.img"}) {
        const std::string commands[] = {" inspect ", " inspect --json ", " export -o " + Quote(dir / "out.cue") + " "};
        for (const std::string& command : commands) {
            const CommandResult r = RunCommand(Quote(CliPath()) + command + Quote(dir / image));
            EXPECT_NE(r.exitCode, 0) << command << image << "\n" << r.output;
            EXPECT_NE(r.output.find(image), std::string::npos) << r.output;  // the message names the file
        }
        EXPECT_FALSE(FileExists(dir / "out.cue")) << image;
        EXPECT_FALSE(FileExists(dir / "out.bin")) << image;
    }
}

}  // namespace
}  // namespace qorvcd::test
