// Whole builds through the exports: the disc kind, the log's fixed lines, and
// every failure path ending with ">>> Fail <<<", a non-zero result, no image
// and no work files left behind.
#include <gtest/gtest.h>

#include <vector>

#include "platform/paths.h"
#include "session/qorvcd.h"
#include "session/qorvcd_c.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;

struct Outcome {
    int result = -99;
    std::vector<std::string> lines;
    std::vector<std::string> messages;
    std::string imageBuffer;   // the caller's buffer after the call
    std::string scriptBuffer;
};

class SessionTest : public ::testing::Test {
protected:
    Outcome Build(const std::string& image, const std::string& script, bool vcd30 = false,
                  std::string systemFolder = {}) {
        Outcome out;
        LogList log;
        BuildHost host;
        host.systemFolder = systemFolder.empty() ? system_.Path() : systemFolder;
        host.settingsFolder = test::SourceDir() + "/settings/";
        host.fixedTime = 1772668800;  // 2026-03-05
        host.showMessage = [&](const std::string& m) { out.messages.push_back(m); };
        host.diagnostics = diagnosticSink_;
        std::vector<char> img(image.begin(), image.end()), scr(script.begin(), script.end());
        img.push_back(0);
        scr.push_back(0);
        out.result = vcd30 ? QorVCD30(img.data(), scr.data(), &log, host)
                           : QorSVCD(img.data(), scr.data(), &log, host);
        out.lines = log.Lines();
        out.imageBuffer = img.data();
        out.scriptBuffer = scr.data();
        return out;
    }

    // Nothing of the build may stay in the system folder's TEMP.
    void ExpectNoWorkFiles() {
        const auto left = FindFiles(system_ / "TEMP", "qorvcd-*");
        EXPECT_TRUE(left.empty()) << "work folder left: " << (left.empty() ? "" : left[0].name);
    }

    void ExpectFailed(const Outcome& o, const std::string& image) {
        EXPECT_NE(o.result, 0);
        ASSERT_FALSE(o.lines.empty());
        EXPECT_EQ(o.lines.back(), ">>> Fail <<<");
        EXPECT_FALSE(test::FileExists(image)) << image;
        ExpectNoWorkFiles();
    }

    TempDir dir_;
    TempDir system_;
    DiagnosticSink diagnosticSink_;
};

TEST_F(SessionTest, HeaderLinesNameTheKindAndPathsAreLowered) {
    test::WriteText(dir_ / "Disc.TXT", "[VCD]\r\nMODE = SUPERVCD\r\n");
    const std::string image = dir_ / "missing-folder/Out.IMG";
    const Outcome o = Build(image, dir_ / "Disc.TXT");
    ASSERT_GE(o.lines.size(), 4u);
    EXPECT_EQ(o.lines[0], "---------- SUPER-VCD CD-R disc image ----------");
    EXPECT_EQ(o.lines[1], "Creating CD-Creator software disc image...");
    EXPECT_EQ(o.lines[2], "Make " + ToLower(image) + " via " + ToLower(dir_ / "Disc.TXT"));
    EXPECT_EQ(o.lines[3], "SUPER-VCD Frame building...");
    EXPECT_EQ(o.imageBuffer, ToLower(image));
    EXPECT_EQ(o.scriptBuffer, ToLower(dir_ / "Disc.TXT"));
}

TEST_F(SessionTest, FallbackKindAppliesOnlyWithoutARecognisedMode) {
    test::WriteText(dir_ / "plain.txt", "[VCD]\r\nMODE = VCD30\r\nALBUM = X\r\n");
    EXPECT_EQ(Build(dir_ / "x/a.img", dir_ / "plain.txt", true).lines[0],
              "---------- VCD3.0 CD-R disc image ----------");
    EXPECT_EQ(Build(dir_ / "x/a.img", dir_ / "plain.txt", false).lines[0],
              "---------- SVCD CD-R disc image ----------");
    test::WriteText(dir_ / "cvd.txt", "[VCD]\nMODE=CVD\n");
    EXPECT_EQ(Build(dir_ / "x/a.img", dir_ / "cvd.txt", true).lines[0],
              "---------- CVD CD-R disc image ----------");
}

TEST_F(SessionTest, ImageInAMissingFolderFailsWith200) {
    test::WriteText(dir_ / "disc.txt", "[VCD]\r\nMODE = SVCD\r\n");
    const std::string image = dir_ / "no/such/folder/disc.img";
    const Outcome o = Build(image, dir_ / "disc.txt");
    EXPECT_EQ(o.result, 200);
    ASSERT_GE(o.lines.size(), 2u);
    EXPECT_EQ(o.lines[o.lines.size() - 2], "Error 10000: Can't create file " + ToLower(image));
    ExpectFailed(o, image);
}

TEST_F(SessionTest, MissingOrBinaryScriptFailsCleanly) {
    const std::string image = dir_ / "disc.img";
    const Outcome missing = Build(image, dir_ / "nowhere/disc.txt");
    ExpectFailed(missing, image);

    std::vector<uint8_t> garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 131 + 7);
    test::WriteBytes(dir_ / "binary.txt", garbage);
    const Outcome binary = Build(image, dir_ / "binary.txt");
    ExpectFailed(binary, image);
}

TEST_F(SessionTest, OverLongTokenFailsTheBuild) {
    test::WriteText(dir_ / "long.txt",
                    "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\n" + std::string(300, 'A') + "\r\n");
    const std::string image = dir_ / "disc.img";
    const Outcome o = Build(image, dir_ / "long.txt");
    ExpectFailed(o, image);
    EXPECT_NE(std::find(o.messages.begin(), o.messages.end(), "TOKEN too bigs"), o.messages.end());
}

TEST_F(SessionTest, SystemFolderTooDeepForTheWorkFolderField) {
    test::WriteText(dir_ / "disc.txt", "[VCD]\r\nMODE = SVCD\r\n");
    std::string deep = system_.Path();
    while (deep.size() < 240) {
        deep += "deeper-folder-name/";
        ASSERT_TRUE(MakeDirectory(deep));
    }
    const std::string image = dir_ / "disc.img";
    const Outcome o = Build(image, dir_ / "disc.txt", false, deep);
    EXPECT_NE(std::find(o.lines.begin(), o.lines.end(), "Error 10000: Too deep path, Exceed 228"),
              o.lines.end());
    ExpectFailed(o, image);
    EXPECT_TRUE(FindFiles(deep + "TEMP", "qorvcd-*").empty());
}

// A host that takes diagnostics gets each error of the script with its file
// and line; the log is the same line for line as without it.
TEST_F(SessionTest, ErrorsOfTheScriptCarryTheirLineAndLeaveTheLogAsItWas) {
    const struct {
        const char* name;
        std::string script;
        int line;
        std::string text;
    } cases[] = {
        {"a track file that is missing", "[VCD]\r\nMODE = SVCD\r\n\r\n[TRACK]\r\nMPEGTRACK AVSEQ01 NONE.MPS PAL AUDIO 2 TIME 3\r\n",
         5, "Error 10002: File NONE.MPS is not a track format"},
        {"a track ID of the wrong kind", "[VCD]\nMODE = SVCD\n[TRACK]\n; tracks\nMPEGTRACK MUSIC01 A.MPS\n", 5,
         "100: ID_Name = MUSIC01"},
        {"a word too long", "[VCD]\r\nALBUM = " + std::string(300, 'X') + "\r\n[TRACK]\r\n", 2, "a word of 256 characters"},
        {"a play list without PLAY", "[VCD]\r\nVERSION = 1.0\r\n[TRACK]\r\n[PBC]\r\nPLAYLIST P PREVIOUS NONE NEXT NONE\r\n"
         "RETURN NONE PLAYS X ENDPLAYLIST\r\n", 6, "PLAYLIST P don't define PLAY keyword"},
        {"a selection number out of range", "[VCD]\n[TRACK]\n[PBC]\nSELECTION M PLAYITEM NONE ITEMS\n\n100 M ENDITEMS ENDSELECT\n",
         6, "Select number=100 is error"},
    };
    for (const auto& c : cases) {
        const std::string script = dir_ / "disc.txt";
        test::WriteText(script, c.script);
        const Outcome plain = Build(dir_ / "disc.img", script);
        std::vector<Diagnostic> diagnostics;
        diagnosticSink_ = [&](const Diagnostic& d) { diagnostics.push_back(d); };
        const Outcome told = Build(dir_ / "disc.img", script);
        diagnosticSink_ = nullptr;
        ExpectFailed(told, dir_ / "disc.img");
        EXPECT_EQ(told.lines, plain.lines) << c.name;
        EXPECT_EQ(told.messages, plain.messages) << c.name;
        std::vector<Diagnostic> errors;
        for (const Diagnostic& d : diagnostics)
            if (d.severity == Severity::Error) errors.push_back(d);
        ASSERT_FALSE(errors.empty()) << c.name;
        EXPECT_EQ(errors[0].file, script) << c.name;
        EXPECT_EQ(errors[0].line, c.line) << c.name << ": " << errors[0].text;
        EXPECT_NE(errors[0].text.find(c.text), std::string::npos) << c.name << ": " << errors[0].text;
    }
}

TEST(CApi, ReportsLinesAndTheResult) {
    TempDir dir;
    test::WriteText(dir / "disc.txt", "[VCD]\r\nMODE = SVCD\r\n");
    std::vector<std::string> lines;
    qorvcd_build_options o{};
    const std::string image = dir / "missing/disc.img", script = dir / "disc.txt";
    o.image_path = image.c_str();
    o.script_path = script.c_str();
    o.work_dir = dir.Path().c_str();
    const std::string settings = test::SourceDir() + "/settings/";
    o.settings_dir = settings.c_str();
    o.user = &lines;
    o.log = [](void* user, const char* line) { static_cast<std::vector<std::string>*>(user)->push_back(line); };
    EXPECT_EQ(qorvcd_build(&o), 200);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), ">>> Fail <<<");
}

}  // namespace
}  // namespace qorvcd
