#include "apps/app_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "iso9660/dir_tree.h"
#include "platform/paths.h"
#include "session/build_context.h"
#include "session/progress_window.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

// Presses Cancel at the given pump (1 = the first).
class CancelAtSink : public ProgressSink {
public:
    explicit CancelAtSink(int at) : at_(at) {}
    bool PumpPendingMessages() override { return ++pumps_ == at_; }
    void SetMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;

private:
    int at_;
    int pumps_ = 0;
};

class AppScanTest : public ::testing::Test {
protected:
    AppScanTest() : tree(&ctx) {
        ctx.log = &log;
        tree.ChangeDir("\\DATA\\VCD_DATA");
    }

    void File(const std::string& name, size_t bytes) { test::WriteBytes(dir / name, std::vector<uint8_t>(bytes, 0x47)); }

    std::vector<std::string> ScannedLines() const {
        std::vector<std::string> lines;
        for (const std::string& l : log.Lines())
            if (l.rfind("Scaning file ", 0) == 0) lines.push_back(l.substr(13));
        return lines;
    }

    DirNode* Node(const std::string& name) const { return DirTree::FindChild(name, tree.FindPath("\\DATA\\VCD_DATA")); }

    test::TempDir dir;
    LogList log;
    BuildContext ctx;
    DirTree tree;
};

TEST(MpegApplicationSize, SectorRules) {
    EXPECT_EQ(MpegApplicationSize(23360), 20480u);  // 10 units of 2336
    EXPECT_EQ(MpegApplicationSize(23040), 20480u);  // 10 sectors of 2304
    EXPECT_EQ(MpegApplicationSize(23361), 20480u);  // 10 whole sectors of 2304
    EXPECT_EQ(MpegApplicationSize(2303), 0u);
    EXPECT_EQ(MpegApplicationSize(0), 0u);
    EXPECT_EQ(MpegApplicationSize(2336ull * 2304ull), 2304ull * 2048ull);  // both divide: 2336 wins
}

TEST_F(AppScanTest, PassOrderKindsAndSizes) {
    File("sound.WAV", 1000);
    File("Movie.mpg", 23360);
    File("index.chm", 300);
    File("clip.mpv", 23040);
    File("song.mp3", 100);
    File("pic.YBM", 64);
    File("readme.txt", 5);  // matches no pattern
    ASSERT_TRUE(MakeDirectory(dir / "x.wav"));

    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    EXPECT_EQ(out.result, kScanOk);
    EXPECT_EQ(out.fileCount, 7);
    EXPECT_EQ(ScannedLines(), (std::vector<std::string>{"INDEX.CHM", "CLIP.MPV", "MOVIE.MPG", "SONG.MP3",
                                                       "PIC.YBM", "SOUND.WAV", "X.WAV"}));
    EXPECT_EQ(Node("MOVIE.MPG")->kind, NodeKind::Form2File);
    EXPECT_EQ(Node("MOVIE.MPG")->size, 20480u);
    EXPECT_EQ(Node("CLIP.MPV")->size, 20480u);
    EXPECT_EQ(Node("SONG.MP3")->kind, NodeKind::Form1File);  // .MP3 is not an MPEG application file
    EXPECT_EQ(Node("SONG.MP3")->size, 100u);
    EXPECT_EQ(Node("INDEX.CHM")->kind, NodeKind::Form1File);
    EXPECT_EQ(Node("INDEX.CHM")->size, 300u);
    EXPECT_EQ(Node("INDEX.CHM")->flag, NodeFlag::Plain);
    EXPECT_EQ(Node("X.WAV")->kind, NodeKind::Directory);
    EXPECT_EQ(Node("X.WAV")->size, 0u);
    EXPECT_EQ(Node("README.TXT"), nullptr);
    EXPECT_EQ(Node("INDEX.CHM")->sourceFolder, nullptr);  // read from the application folder
}

TEST_F(AppScanTest, ReadOnlyFolderIsEnteredAsAFile) {
    ASSERT_TRUE(MakeDirectory(dir / "locked.wav"));
    std::filesystem::permissions(dir / "locked.wav", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    std::filesystem::permissions(dir / "locked.wav", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(out.fileCount, 1);
    EXPECT_EQ(Node("LOCKED.WAV")->kind, NodeKind::Form1File);
}

TEST_F(AppScanTest, NameNot83StopsTheScan) {
    File("index.chm", 10);
    File("toolongna.mpg", 23360);
    File("sound.wav", 10);
    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    EXPECT_EQ(out.result, kScanNameNot83);
    EXPECT_EQ(log.Last(), "Error 200: Filename not 8.3, TOOLONGNA.MPG");
    EXPECT_NE(Node("INDEX.CHM"), nullptr);  // found before it: kept
    EXPECT_EQ(Node("SOUND.WAV"), nullptr);
    EXPECT_EQ(out.fileCount, 1);

    test::TempDir other;
    test::WriteBytes(other / "a.mpgx", {1});
    EXPECT_EQ(ScanApplicationFiles(other.Path(), tree, ctx).result, kScanNameNot83);
    EXPECT_EQ(log.Last(), "Error 200: Filename not 8.3, A.MPGX");
}

TEST_F(AppScanTest, CancelEndsThePassOnly) {
    File("index.chm", 10);
    File("a.mpg", 10);
    File("b.mpg", 10);
    File("c.wav", 10);
    CancelAtSink sink(2);  // Cancel pressed while A.MPG is handled
    ProgressWindow window(&sink);
    ctx.progress = &window;
    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    EXPECT_EQ(out.result, kScanCancelled);
    EXPECT_EQ(ScannedLines(), (std::vector<std::string>{"INDEX.CHM", "A.MPG", "C.WAV"}));
    EXPECT_EQ(Node("B.MPG"), nullptr);
    EXPECT_EQ(sink.messages.front(), "Fund file INDEX.CHM...");
    EXPECT_EQ(sink.messages.back(), "Fund file C.WAV...");
}

TEST_F(AppScanTest, LogIsTrimmedEveryTwentyFiles) {
    for (int i = 0; i < 25; ++i) File("s" + std::to_string(100 + i) + ".wav", 1);
    for (int i = 0; i < 95; ++i) log.Add("earlier line");
    ScanApplicationFiles(dir.Path(), tree, ctx);
    // 95 + 20 lines at the 20th file: emptied, then the last 5 files.
    EXPECT_EQ(log.Count(), 5);
    EXPECT_EQ(log.Lines().front(), "Scaning file S120.WAV");

    LogList quiet;
    ctx.log = &quiet;
    DirTree other(&ctx);
    other.ChangeDir("\\DATA");
    for (int i = 0; i < 80; ++i) quiet.Add("earlier line");
    ScanApplicationFiles(dir.Path(), other, ctx);
    EXPECT_EQ(quiet.Count(), 105);  // 100 lines at the 20th file: kept
    EXPECT_EQ(quiet.Selected(), 99);
}

TEST_F(AppScanTest, FileTooLargeForARecord) {
    {
        test::WriteBytes(dir / "big.wav", {});
        std::filesystem::resize_file(dir / "big.wav", 4294967296ull);  // sparse
    }
    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    EXPECT_EQ(out.result, kScanFileTooLarge);
    EXPECT_NE(log.Last().find("BIG.WAV is too large"), std::string::npos);
    EXPECT_EQ(Node("BIG.WAV"), nullptr);
}

}  // namespace
}  // namespace qorvcd
