// The default settings files shipped with the program: each must declare the
// folders and control files the build looks up for its kind.
#include <gtest/gtest.h>

#include <cstring>

#include "apps/folder_lists.h"
#include "iso9660/dir_tree.h"
#include "script/disc_settings.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

std::string SettingsPath(const std::string& name) { return test::SourceDir() + "/settings/" + name; }

void List(const DirNode* dir, const std::string& prefix, std::string& out) {
    ForEachChild(dir, [&](DirNode* c) {
        out += prefix + "\\" + c->name + " " + char(c->kind) + "\n";
        if (c->IsDirectory()) List(c, prefix + "\\" + c->name, out);
    });
}

TEST(SettingsFiles, TreesPerKindCrLfAndEntryId) {
    // TRACKS.SVD, SEARCH.DAT and SPICONTX.SVD are not listed: the build adds
    // them with their sizes, which a listed node of size 0 would block.
    const std::string svcdData = "\\CDI D\n\\DATA D\n\\DATA\\SVCDDATA D\n\\EXT D\n";
    const std::string svd = "\\SVCD D\n\\SVCD\\ENTRIES.SVD F\n\\SVCD\\INFO.SVD F\n\\SVCD\\LOT.SVD F\n\\SVCD\\PSD.SVD F\n";
    const std::pair<const char*, std::string> cases[] = {
        {"VCD.CFG", "\\CDI D\n\\DATA D\n\\DATA\\VCD_DATA D\n\\EXT D\n\\MPEGAV D\n\\SEGMENT D\n\\VCD D\n"
                    "\\VCD\\ENTRIES.VCD F\n\\VCD\\INFO.VCD F\n\\VCD\\LOT.VCD F\n\\VCD\\PSD.VCD F\n"},
        {"SVCD.CFG", svcdData + "\\MPEGAV D\n\\SEGMENT D\n" + svd},
        {"CVD.CFG", "\\CDI D\n\\EXT D\n\\HQVCD D\n\\HQVCD\\ENTRIES.VCD F\n\\HQVCD\\INFO.VCD F\n"
                    "\\HQVCD\\LOT.VCD F\n\\HQVCD\\PSD.VCD F\n\\MPEG2 D\n\\SEGMENT D\n"},
        {"SUPERVCD.CFG", svcdData + "\\MPEG2 D\n\\SEGMENT D\n" + svd},
    };
    for (const auto& [name, expected] : cases) {
        LogList log;
        BuildContext ctx;
        ctx.log = &log;
        DirTree tree(&ctx);
        EXPECT_TRUE(ReadFolderLists(SettingsPath(name), FolderListMode::Init, tree, ctx)) << log.Last();
        std::string listed;
        if (tree.Root()) List(tree.Root(), "", listed);
        EXPECT_EQ(listed, expected) << name;

        const std::string text = test::ReadText(SettingsPath(name));
        ASSERT_GE(text.size(), 2u) << name;
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
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    char entryId[8];
    std::memcpy(entryId, "XXXXXXXX", 8);
    ReadEntryIdentifier(SettingsPath("SUPERVCD.CFG"), ctx, entryId);
    EXPECT_EQ(std::string(entryId, 8), "ENTRYVCD");
}

}  // namespace
}  // namespace qorvcd
