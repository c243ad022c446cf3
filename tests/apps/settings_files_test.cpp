// The default settings files shipped with the program: each must declare the
// folders and control files that placement, the control-file writer and the
// application step look up for its kind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "apps/folder_lists.h"
#include "iso9660/dir_tree.h"
#include "script/disc_settings.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

std::string SettingsPath(const std::string& name) { return test::SourceDir() + "/settings/" + name; }

// "PATH kind" lines of the whole tree, depth first.
void List(const DirNode* dir, const std::string& prefix, std::vector<std::string>& out) {
    ForEachChild(dir, [&](DirNode* c) {
        const std::string path = prefix + "\\" + c->name;
        out.push_back(path + " " + char(c->kind));
        if (c->IsDirectory()) List(c, path, out);
    });
}

std::vector<std::string> TreeOf(const std::string& settingsFile) {
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    DirTree tree(&ctx);
    EXPECT_TRUE(ReadFolderLists(SettingsPath(settingsFile), FolderListMode::Init, tree, ctx)) << log.Last();
    std::vector<std::string> out;
    if (tree.Root()) List(tree.Root(), "", out);
    return out;
}

TEST(SettingsFiles, VideoCd30) {
    EXPECT_EQ(TreeOf("VCD.CFG"), (std::vector<std::string>{
                                     "\\CDI D", "\\DATA D", "\\DATA\\VCD_DATA D", "\\EXT D", "\\MPEGAV D",
                                     "\\SEGMENT D", "\\VCD D", "\\VCD\\ENTRIES.VCD F", "\\VCD\\INFO.VCD F",
                                     "\\VCD\\LOT.VCD F", "\\VCD\\PSD.VCD F"}));
}

TEST(SettingsFiles, Svcd) {
    // TRACKS.SVD, SEARCH.DAT and SPICONTX.SVD are not listed: the build adds
    // them with their sizes, which a listed node of size 0 would block.
    EXPECT_EQ(TreeOf("SVCD.CFG"), (std::vector<std::string>{
                                      "\\CDI D", "\\DATA D", "\\DATA\\SVCDDATA D", "\\EXT D", "\\MPEGAV D",
                                      "\\SEGMENT D", "\\SVCD D", "\\SVCD\\ENTRIES.SVD F", "\\SVCD\\INFO.SVD F",
                                      "\\SVCD\\LOT.SVD F", "\\SVCD\\PSD.SVD F"}));
}

TEST(SettingsFiles, Cvd) {
    EXPECT_EQ(TreeOf("CVD.CFG"), (std::vector<std::string>{
                                     "\\CDI D", "\\EXT D", "\\HQVCD D", "\\HQVCD\\ENTRIES.VCD F",
                                     "\\HQVCD\\INFO.VCD F", "\\HQVCD\\LOT.VCD F", "\\HQVCD\\PSD.VCD F",
                                     "\\MPEG2 D", "\\SEGMENT D"}));
}

TEST(SettingsFiles, SuperVcd) {
    EXPECT_EQ(TreeOf("SUPERVCD.CFG"), (std::vector<std::string>{
                                          "\\CDI D", "\\DATA D", "\\DATA\\SVCDDATA D", "\\EXT D", "\\MPEG2 D",
                                          "\\SEGMENT D", "\\SVCD D", "\\SVCD\\ENTRIES.SVD F",
                                          "\\SVCD\\INFO.SVD F", "\\SVCD\\LOT.SVD F", "\\SVCD\\PSD.SVD F"}));
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    char entryId[8];
    std::memcpy(entryId, "XXXXXXXX", 8);
    ReadEntryIdentifier(SettingsPath("SUPERVCD.CFG"), ctx, entryId);
    EXPECT_EQ(std::string(entryId, 8), "ENTRYVCD");
}

TEST(SettingsFiles, LinesEndWithCrLf) {
    for (const char* name : {"VCD.CFG", "SVCD.CFG", "CVD.CFG", "SUPERVCD.CFG"}) {
        const std::string text = test::ReadText(SettingsPath(name));
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << name;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << name << " byte " << i;
            }
            if (text[i] == '\r') {
                ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << name << " byte " << i;
            }
        }
    }
}

}  // namespace
}  // namespace qorvcd
