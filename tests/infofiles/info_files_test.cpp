#include <gtest/gtest.h>

#include <cstring>

#include "content/pbc_script.h"
#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "iso9660/dir_tree.h"
#include "script/script_reader.h"
#include "tests/infofiles/info_test_support.h"

namespace qorvcd {
namespace {

// The whole step on an SVCD with the control folder in its tree.
TEST(WriteInfoFiles, PlacesControlFilesAndRecordsTheirSizes) {
    test::ContextFixture f(DiscKind::Svcd);
    DirTree tree(&f.ctx);
    tree.CreateRoot();
    ASSERT_TRUE(tree.ChangeDir("\\SVCD"));
    for (const char* name : {"ENTRIES.SVD", "INFO.SVD", "LOT.SVD", "PSD.SVD", "TRACKS.SVD"})
        ASSERT_NE(tree.AddFile(name, NodeKind::Form1File, NodeFlag::Plain, 0), nullptr);
    test::WriteText(f.dir / "disc.scr", "[VCD]\r\nMODE = SVCD\r\nALBUM = Test\r\n[TRACK]\r\n");
    ScriptReader reader(f.ctx.showMessage);
    ASSERT_TRUE(reader.OpenScript(f.dir / "disc.scr"));
    TrackList tracks;
    tracks.Insert(test::MakeTrack("AVSEQ01", 6150));
    SegmentList segments;
    PbcScript pbc;
    InfoFilesJob job;
    job.script = &reader;
    job.tree = &tree;
    job.tracks = &tracks;
    job.segments = &segments;
    job.pbc = &pbc;
    std::memcpy(job.entryId.data(), "ENTRYSVD", 8);
    EXPECT_EQ(WriteInfoFiles(f.ctx, job), kInfoFilesOk);

    const auto& lines = f.log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "PBC not define!!!"), lines.end());
    const DirNode* folder = DirTree::FindChild("SVCD", tree.Root());
    auto node = [&](const char* name) { return DirTree::FindChild(name, folder); };
    const std::tuple<const char*, uint32_t, uint64_t> placed[] = {
        {"INFO.SVD", 150, 2048}, {"ENTRIES.SVD", 151, 2048}, {"LOT.SVD", 152, 65536},
        {"PSD.SVD", 184, job.psdSize}, {"TRACKS.SVD", 0, 0}};  // TRACKS.SVD is placed elsewhere
    for (const auto& [name, sector, size] : placed) {
        EXPECT_EQ(node(name)->startSector, sector) << name;
        EXPECT_EQ(uint64_t(node(name)->size), size) << name;
    }
    const auto info = test::ReadBytes(f.dir / "INFO.SVD");
    ASSERT_EQ(info.size(), 2048u);
    EXPECT_EQ(std::string(info.begin() + 10, info.begin() + 26), "Test            ");
    EXPECT_EQ(info[30], 0x01);  // the one track plays PAL
    EXPECT_EQ(test::ReadBytes(f.dir / kTracksWorkFile).at(10), 1);
}

}  // namespace
}  // namespace qorvcd
