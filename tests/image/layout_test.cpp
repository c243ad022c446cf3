// A whole data track laid out from a small tree, read back through the
// image reader: placement of every piece, the run shape of track 1, the file
// system a reader sees, and the stops of the layout.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "content/segment_items.h"
#include "content/track_list.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "image/layout.h"
#include "iso9660/dir_tree.h"
#include "iso9660/directory_record.h"
#include "iso9660/file_placement.h"
#include "iso9660/path_table.h"
#include "iso9660/volume_descriptor.h"
#include "platform/bytes.h"
#include "platform/paths.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;
using test::WriteBytes;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7);
    return bytes;
}

// A Video CD 3.0 build with its control files, one MPEG and one text file in
// the data folder, and nothing else.
struct LayoutBuild {
    TempDir dir;
    LogList log;
    BuildContext ctx;
    DirTree tree;
    ImageContainer image;
    FileSystemState fs;
    std::vector<TrackEntry> tracks;
    SegmentList segments;
    int result = 0;
    std::string imagePath = dir / "disc.img";
    std::vector<uint8_t> info = Pattern(2048, 1), psd = Pattern(3000, 3), text = Pattern(700, 9);
    std::vector<uint8_t> mpeg;

    explicit LayoutBuild(size_t extraFolders = 0) : tree(&ctx) {
        ctx.log = &log;
        ctx.kind = DiscKind::Vcd30;
        ctx.workFolder = dir.Path();
        ctx.scriptFolder = dir.Path();
        ctx.clock = Clock::Fixed(1772668800);  // 5 March 2026
        WriteBytes(dir / "INFO.VCD", info);
        WriteBytes(dir / "ENTRIES.VCD", Pattern(2048, 2));
        WriteBytes(dir / "LOT.VCD", std::vector<uint8_t>(65536, 0xFF));
        WriteBytes(dir / "PSD.VCD", psd);
        for (int i = 0; i < 2; ++i) {  // two sector-mode units
            std::vector<uint8_t> unit(2336, uint8_t(0x40 + i));
            kVideoSubheader.WriteTo(unit.data());
            mpeg.insert(mpeg.end(), unit.begin(), unit.end());
        }
        MakeDirectory(dir / "apps");
        WriteBytes(dir / "apps/A.MPG", mpeg);
        WriteBytes(dir / "apps/B.TXT", text);

        tree.CreateRoot();
        for (const char* folder : {"\\CDI", "\\EXT", "\\MPEGAV", "\\SEGMENT", "\\DATA\\VCD_DATA"}) {
            tree.ChangeDir(folder);
        }
        for (size_t i = 0; i < extraFolders; ++i) tree.ChangeDir(Format("\\CDI\\F%03zu", i));
        tree.ChangeDir("\\VCD");
        const struct { const char* name; uint32_t sector; uint32_t size; } control[] = {
            {"ENTRIES.VCD", 151, 2048}, {"INFO.VCD", 150, 2048}, {"LOT.VCD", 152, 65536},
            {"PSD.VCD", 184, 3000}};
        for (const auto& c : control) {
            tree.AddFile(c.name, NodeKind::Form1File, NodeFlag::Plain, c.size)->startSector = c.sector;
        }
        tree.ChangeDir("\\DATA\\VCD_DATA");
        tree.AttachSource(dir / "apps/A.MPG", tree.AddFile("A.MPG", NodeKind::Form2File, NodeFlag::Listed, 0));
        tree.AttachSource(dir / "apps/B.TXT", tree.AddFile("B.TXT", NodeKind::Form1File, NodeFlag::Listed, 0));
    }

    void Run() {
        EXPECT_TRUE(image.CreateImage(imagePath));
        EXPECT_TRUE(image.CreateTail(dir / "qortail.tmp"));
        image.SetDiscKind(ctx.kind);
        ASSERT_EQ(PlaceFiles(tree, ctx, tracks, "MUSIC", segments.Items(), fs), 0);
        LayoutInputs in{ctx, image, tree, fs, tracks, segments, nullptr, nullptr, nullptr, {}, result};
        LayOutImage(in);
        image.Close();
    }
};

std::vector<uint8_t> UserData(ImageReader& reader, uint32_t sector) {
    std::vector<uint8_t> data(2048);
    EXPECT_TRUE(reader.ReadUserData2048(sector, data.data())) << reader.Error();
    return data;
}

// The child record named `identifier` in a one-sector directory.
std::optional<DirectoryRecord> FindRecord(const std::vector<uint8_t>& sector, const std::string& identifier) {
    for (size_t at = 0; at < 2048 && sector[at] != 0; at += sector[at]) {
        std::optional<DirectoryRecord> r = DecodeDirectoryRecord(sector.data() + at, 2048 - at);
        if (r && r->identifier == identifier) return r;
    }
    return std::nullopt;
}

TEST(LayoutWholeDataTrack, EveryPieceAtItsSectorAndReadableBack) {
    LayoutBuild build;
    build.Run();
    ASSERT_EQ(build.result, 0) << build.log.Last();
    EXPECT_EQ(build.log.Last(), "---VCD disc image be created!---");

    ImageReader reader;
    ASSERT_TRUE(reader.Open(build.imagePath)) << reader.Error();
    EXPECT_TRUE(reader.Warnings().empty()) << reader.Warnings().front();
    ASSERT_EQ(reader.Tracks().size(), 1u);
    // Data folder at 300, A.MPG 301-302, B.TXT 303, then 10 reserved sectors.
    EXPECT_EQ(reader.Tracks()[0].record.sectorCount, 314u);
    EXPECT_EQ(reader.EndSector(), 314u);

    std::string error;
    std::optional<PrimaryVolumeInfo> pvd = DecodePrimaryVolumeDescriptor(UserData(reader, 16).data(), 2048, &error);
    ASSERT_TRUE(pvd) << error;
    EXPECT_EQ(pvd->volumeSpaceSize, 314u);
    ASSERT_TRUE(pvd->root);
    EXPECT_EQ(pvd->root->extent, 20u);
    EXPECT_TRUE(IsVolumeDescriptorSetTerminator(UserData(reader, 17).data(), 2048));

    // The root: "." and ".." as one sector, the folders with their extents.
    const std::vector<uint8_t> root = UserData(reader, 20);
    const std::optional<DirectoryRecord> data = FindRecord(root, "DATA");
    ASSERT_TRUE(data);
    const std::optional<DirectoryRecord> vcdData = FindRecord(UserData(reader, data->extent), "VCD_DATA");
    ASSERT_TRUE(vcdData);
    EXPECT_EQ(vcdData->extent, 300u);

    // The data folder's files placed after it, MPEG first.
    const std::vector<uint8_t> apps = UserData(reader, 300);
    const std::optional<DirectoryRecord> a = FindRecord(apps, "A.MPG;1");
    const std::optional<DirectoryRecord> b = FindRecord(apps, "B.TXT;1");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->extent, 301u);
    EXPECT_EQ(a->dataLength, 4096u);
    EXPECT_EQ(b->extent, 303u);
    EXPECT_EQ(b->dataLength, 700u);
    SectorContent unit;
    ASSERT_TRUE(reader.ReadSector(302, unit));
    EXPECT_EQ(unit.form, RunForm::Form2);
    EXPECT_EQ(0, std::memcmp(unit.data.data(), build.mpeg.data() + 2336 + 8, 2324));
    std::vector<uint8_t> textBack;
    ASSERT_TRUE(reader.ReadExtent(303, 700, textBack));
    EXPECT_EQ(textBack, build.text);

    // Control files at their fixed sectors; the sectors between are reserved.
    EXPECT_EQ(UserData(reader, 150), build.info);
    std::vector<uint8_t> psdBack;
    ASSERT_TRUE(reader.ReadExtent(184, 3000, psdBack));
    EXPECT_EQ(psdBack, build.psd);
    EXPECT_EQ(reader.Locate(100).state, SectorState::Reserved);
    EXPECT_EQ(reader.Locate(250).state, SectorState::Reserved);
    ASSERT_TRUE(reader.ReadSector(185, unit));
    EXPECT_EQ(unit.subheader.submode, 0x89);  // PSD's last sector

    // The path tables were rewritten with the data folder's extent.
    std::optional<std::vector<PathTableRecord>> table =
        DecodePathTable(UserData(reader, 19).data(), pvd->pathTableSize, ByteOrder::Big, &error);
    ASSERT_TRUE(table) << error;
    bool found = false;
    for (const PathTableRecord& r : *table) found |= r.identifier == "VCD_DATA" && r.extent == 300;
    EXPECT_TRUE(found);
}

TEST(LayoutWholeDataTrack, DirectoriesReachingSector150FailTheBuild) {
    LayoutBuild build(160);  // 160 folders: their directories pass sector 149
    build.Run();
    EXPECT_NE(build.result, 0);
    ASSERT_GE(build.log.Count(), 2);
    EXPECT_EQ(build.log.Lines()[build.log.Count() - 2], "Error :: Directory table over 00:04.00!");
    EXPECT_EQ(build.log.Last(), "Error!!!");
}

TEST(LayoutWholeDataTrack, ControlFilesMayEndAtSector299Only) {
    for (size_t psdSectors : {116, 117}) {  // from 184: ends at 299, or reaches 300
        LayoutBuild build;
        WriteBytes(build.dir / "PSD.VCD", std::vector<uint8_t>(2048 * psdSectors, 1));
        build.Run();
        if (psdSectors == 117) {
            EXPECT_EQ(build.result, 2000);
            EXPECT_EQ(build.log.Last(), "VCD info size over 00:06.00");
            continue;
        }
        ASSERT_EQ(build.result, 0) << build.log.Last();
        ImageReader reader;
        ASSERT_TRUE(reader.Open(build.imagePath)) << reader.Error();
        EXPECT_EQ(reader.Locate(299).state, SectorState::Stored);
        EXPECT_EQ(reader.Locate(300).state, SectorState::Stored);  // the data folder, no gap
    }
}

TEST(LayoutDataTrackEnd, PaddedTo300Or310OrTenPastTheEnd) {
    const std::pair<uint32_t, uint32_t> cases[] = {{290, 300}, {291, 310}, {300, 310}, {1234, 1244}};
    for (const auto& [end, padded] : cases) EXPECT_EQ(DataTrackEnd(end), padded) << end;
}

}  // namespace
}  // namespace qorvcd
