#include "apps/app_scan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "iso9660/dir_tree.h"
#include "platform/paths.h"
#include "session/build_context.h"
#include "session/progress_window.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using Names = std::vector<std::string>;

// Presses Cancel at the given pump (1 = the first).
class CancelAtSink : public ProgressSink {
public:
    explicit CancelAtSink(int at) : at_(at) {}
    bool PumpPendingMessages() override { return ++pumps_ == at_; }
    void SetMessage(const std::string& text) override { messages.push_back(text); }
    Names messages;

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
    Names Scanned() const {
        Names lines;
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
    ASSERT_TRUE(MakeDirectory(dir / "locked.wav"));
    std::filesystem::permissions(dir / "locked.wav", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    std::filesystem::permissions(dir / "locked.wav", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(out.result, kScanOk);
    EXPECT_EQ(out.fileCount, 8);
    EXPECT_EQ(Scanned(), (Names{"INDEX.CHM", "CLIP.MPV", "MOVIE.MPG", "SONG.MP3", "PIC.YBM", "LOCKED.WAV",
                                "SOUND.WAV", "X.WAV"}));
    const std::tuple<const char*, NodeKind, uint32_t> nodes[] = {
        {"MOVIE.MPG", NodeKind::Form2File, 20480}, {"CLIP.MPV", NodeKind::Form2File, 20480},
        {"SONG.MP3", NodeKind::Form1File, 100},    {"INDEX.CHM", NodeKind::Form1File, 300},
        {"X.WAV", NodeKind::Directory, 0}};
    for (const auto& [name, kind, size] : nodes) {
        ASSERT_NE(Node(name), nullptr) << name;
        EXPECT_EQ(Node(name)->kind, kind) << name;
        EXPECT_EQ(Node(name)->size, size) << name;
    }
    EXPECT_EQ(Node("LOCKED.WAV")->kind, NodeKind::Form1File);  // a read-only folder is entered as a file
    EXPECT_EQ(Node("INDEX.CHM")->flag, NodeFlag::Plain);
    EXPECT_EQ(Node("INDEX.CHM")->sourceFolder, nullptr);
    EXPECT_EQ(Node("README.TXT"), nullptr);
}

TEST_F(AppScanTest, RefusalsStopTheScan) {
    File("index.chm", 10);
    File("toolongna.mpg", 23360);
    File("sound.wav", 10);
    const ScanOutcome out = ScanApplicationFiles(dir.Path(), tree, ctx);
    EXPECT_EQ(out.result, kScanNameNot83);
    EXPECT_EQ(log.Last(), "Error 200: Filename not 8.3, TOOLONGNA.MPG");
    EXPECT_NE(Node("INDEX.CHM"), nullptr);  // found before it: kept
    EXPECT_EQ(Node("SOUND.WAV"), nullptr);
    EXPECT_EQ(out.fileCount, 1);

    test::TempDir big;
    test::WriteBytes(big / "big.wav", {});
    std::filesystem::resize_file(big / "big.wav", 4294967296ull);  // sparse
    EXPECT_EQ(ScanApplicationFiles(big.Path(), tree, ctx).result, kScanFileTooLarge);
    EXPECT_NE(log.Last().find("BIG.WAV is too large"), std::string::npos);
    EXPECT_EQ(Node("BIG.WAV"), nullptr);
}

TEST_F(AppScanTest, CancelEndsThePassOnly) {
    for (const char* name : {"index.chm", "a.mpg", "b.mpg", "c.wav"}) File(name, 10);
    CancelAtSink sink(2);  // Cancel pressed while A.MPG is handled
    ProgressWindow window(&sink);
    ctx.progress = &window;
    EXPECT_EQ(ScanApplicationFiles(dir.Path(), tree, ctx).result, kScanCancelled);
    EXPECT_EQ(Scanned(), (Names{"INDEX.CHM", "A.MPG", "C.WAV"}));
    EXPECT_EQ(Node("B.MPG"), nullptr);
    EXPECT_EQ(sink.messages.front(), "Fund file INDEX.CHM...");
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
}

}  // namespace
}  // namespace qorvcd
