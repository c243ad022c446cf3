#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "content/pbc_script.h"
#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "iso9660/dir_tree.h"
#include "script/script_reader.h"
#include "tests/infofiles/info_test_support.h"

namespace qorvcd {
namespace {

using test::ContextFixture;
using test::MakeTrack;

// The information files step on an SVCD with the control folder in its tree.
TEST(WriteInfoFiles, PlacesControlFilesAndRecordsTheirSizes) {
    ContextFixture f(DiscKind::Svcd);
    DirTree tree(&f.ctx);
    tree.CreateRoot();
    ASSERT_TRUE(tree.ChangeDir("\\SVCD"));
    for (const char* name : {"ENTRIES.SVD", "INFO.SVD", "LOT.SVD", "PSD.SVD", "TRACKS.SVD"}) {
        ASSERT_NE(tree.AddFile(name, NodeKind::Form1File, NodeFlag::Plain, 0), nullptr);
    }
    const std::string scriptPath = f.dir / "disc.scr";
    test::WriteText(scriptPath, "[VCD]\r\nMODE = SVCD\r\nALBUM = Test\r\n[TRACK]\r\n");
    ScriptReader reader(f.ctx.showMessage);
    ASSERT_TRUE(reader.OpenScript(scriptPath));
    TrackList tracks;
    tracks.Insert(MakeTrack("AVSEQ01", 6150));
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
    const DirNode* info = DirTree::FindChild("INFO.SVD", folder);
    const DirNode* entries = DirTree::FindChild("ENTRIES.SVD", folder);
    const DirNode* lot = DirTree::FindChild("LOT.SVD", folder);
    const DirNode* psd = DirTree::FindChild("PSD.SVD", folder);
    const DirNode* other = DirTree::FindChild("TRACKS.SVD", folder);
    EXPECT_EQ(info->startSector, 150u);
    EXPECT_EQ(entries->startSector, 151u);
    EXPECT_EQ(lot->startSector, 152u);
    EXPECT_EQ(psd->startSector, 184u);
    EXPECT_EQ(other->startSector, 0u);  // placed elsewhere
    EXPECT_EQ(info->size, 2048u);
    EXPECT_EQ(entries->size, 2048u);
    EXPECT_EQ(psd->size, job.psdSize);
    EXPECT_EQ(uint64_t(lot->size), test::ReadBytes(f.dir / "LOT.SVD").size());

    const auto infoBytes = test::ReadBytes(f.dir / "INFO.SVD");
    ASSERT_EQ(infoBytes.size(), 2048u);
    EXPECT_EQ(std::string(infoBytes.begin() + 10, infoBytes.begin() + 26), "Test            ");
    EXPECT_EQ(infoBytes[30], 0x01);  // the one track plays PAL
    const auto tracksBytes = test::ReadBytes(f.dir / kTracksWorkFile);
    ASSERT_EQ(tracksBytes.size(), 2048u);
    EXPECT_EQ(tracksBytes[10], 1);
}

}  // namespace
}  // namespace qorvcd
