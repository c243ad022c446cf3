// A data track laid out from a small tree and read back; the layout's limits;
// the same image, and control files, truncated or damaged, which must give
// errors, never crashes or stray output files.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "assembly/layout.h"
#include "content/lot.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "imagetools/bincue.h"
#include "imagetools/inspect.h"
#include "infofiles/entries_record.h"
#include "iso9660/dir_tree.h"
#include "iso9660/file_placement.h"
#include "iso9660/path_table.h"
#include "iso9660/volume_descriptor.h"
#include "platform/bytes.h"
#include "platform/paths.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using namespace test;

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7);
    return bytes;
}

// A Video CD 3.0 data track: the control files at their fixed sectors, and
// one MPEG and one text file in the data folder.
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
    std::vector<uint8_t> text = Pattern(700, 9), mpeg = Pattern(2 * 2336, 5);

    explicit LayoutBuild(size_t extraFolders = 0, uint32_t psdSize = 3000) : tree(&ctx) {
        ctx.log = &log;
        ctx.kind = DiscKind::Vcd30;
        ctx.workFolder = ctx.scriptFolder = dir.Path();
        ctx.clock = Clock::Fixed(1772668800);
        tree.CreateRoot();
        for (const char* folder : {"\\CDI", "\\EXT", "\\MPEGAV", "\\SEGMENT", "\\DATA\\VCD_DATA"}) tree.ChangeDir(folder);
        for (size_t i = 0; i < extraFolders; ++i) tree.ChangeDir(Format("\\CDI\\F%03zu", i));
        tree.ChangeDir("\\VCD");
        const struct { const char* name; uint32_t sector, size; } control[] = {
            {"ENTRIES.VCD", 151, 2048}, {"INFO.VCD", 150, 2048}, {"LOT.VCD", 152, 65536}, {"PSD.VCD", 184, psdSize}};
        for (const auto& c : control) {
            WriteBytes(dir / c.name, Pattern(c.size, uint8_t(c.sector)));
            tree.AddFile(c.name, NodeKind::Form1File, NodeFlag::Plain, c.size)->startSector = c.sector;
        }
        for (size_t at : {0, 2336}) kVideoSubheader.WriteTo(&mpeg[at]);  // two sector-mode units
        MakeDirectory(dir / "apps");
        WriteBytes(dir / "apps/A.MPG", mpeg);
        WriteBytes(dir / "apps/B.TXT", text);
        tree.ChangeDir("\\DATA\\VCD_DATA");
        tree.AttachSource(dir / "apps/A.MPG", tree.AddFile("A.MPG", NodeKind::Form2File, NodeFlag::Listed, 0));
        tree.AttachSource(dir / "apps/B.TXT", tree.AddFile("B.TXT", NodeKind::Form1File, NodeFlag::Listed, 0));
    }

    void Run() {
        EXPECT_TRUE(image.CreateImage(imagePath));
        EXPECT_TRUE(image.CreateTail(dir / "qortail.tmp"));
        image.SetDiscKind(ctx.kind);
        ASSERT_EQ(PlaceFiles(tree, ctx, tracks, "MUSIC", segments.Items(), fs), 0);
        LayoutInputs in{ctx, image, tree, fs, tracks, segments, nullptr, nullptr, nullptr, {}};
        result = LayOutImage(in);
        image.Close();
    }
};

TEST(LayoutWholeDataTrack, EveryPieceAtItsSectorAndReadableBack) {
    LayoutBuild build;
    build.Run();
    ASSERT_EQ(build.result, 0) << build.log.Last();
    ImageReader reader;
    ASSERT_TRUE(reader.Open(build.imagePath)) << reader.Error();
    EXPECT_TRUE(reader.Warnings().empty()) << reader.Warnings().front();
    EXPECT_EQ(reader.EndSector(), 314u);  // data folder at 300, A.MPG 301-302, B.TXT 303, 10 reserved

    SectorContent unit;
    ASSERT_TRUE(reader.ReadSector(302, unit));
    EXPECT_EQ(unit.form, RunForm::Form2);
    EXPECT_EQ(0, std::memcmp(unit.data.data(), build.mpeg.data() + 2336 + 8, 2324));
    std::vector<uint8_t> back;
    ASSERT_TRUE(reader.ReadExtent(303, 700, back));
    EXPECT_EQ(back, build.text);
    ASSERT_TRUE(reader.ReadExtent(184, 3000, back));
    EXPECT_EQ(back, Pattern(3000, 184));
    ASSERT_TRUE(reader.ReadSector(185, unit));
    EXPECT_EQ(unit.subheader.submode, 0x89);  // PSD's last sector
    EXPECT_EQ(reader.Locate(250).state, SectorState::Reserved);

    // The path tables were rewritten with the data folder's extent.
    std::string error;
    std::vector<uint8_t> sector(2048);
    ASSERT_TRUE(reader.ReadUserData2048(16, sector.data()));
    std::optional<PrimaryVolumeDescriptor> pvd = PrimaryVolumeDescriptor::Decode(sector, &error);
    ASSERT_TRUE(pvd) << error;
    EXPECT_EQ(pvd->Encode(), sector);  // the descriptor as written reads back whole
    ASSERT_TRUE(reader.ReadUserData2048(19, sector.data()));
    const auto table = PathTable::Decode(std::span(sector).first(pvd->pathTableSize), ByteOrder::Big, &error);
    ASSERT_TRUE(table) << error;
    EXPECT_TRUE(std::any_of(table->records.begin(), table->records.end(),
                            [](const auto& r) { return r.identifier == "VCD_DATA" && r.extent == 300; }));
}

TEST(LayoutLimits, DirectoriesBefore150AndControlFilesBefore300) {
    const struct { size_t folders, psdSize; int result; const char* last; } cases[] = {
        {160, 3000, 2000, "Error!!!"},  // 160 folders: their directories pass sector 149
        {0, 116 * 2048, 0, "---VCD disc image be created!---"},  // from 184: ends at 299
        {0, 117 * 2048, 2000, "VCD info size over 00:06.00"}};    // reaches 300
    for (const auto& c : cases) {
        LayoutBuild build(c.folders, uint32_t(c.psdSize));
        build.Run();
        EXPECT_EQ(build.result, c.result) << c.last;
        EXPECT_EQ(build.log.Last(), c.last);
        EXPECT_TRUE(!c.folders || build.log.Lines().at(build.log.Count() - 2) == "Error :: Directory table over 00:04.00!");
    }
    const std::pair<uint32_t, uint32_t> ends[] = {{290, 300}, {291, 310}, {300, 310}, {1234, 1244}};
    for (const auto& [end, padded] : ends) EXPECT_EQ(DataTrackEnd(end), padded) << end;
}

TEST(ImageDamage, TruncatedOrDamagedImagesGiveErrorsNotCrashes) {
    LayoutBuild build;
    build.Run();
    const std::vector<uint8_t> image = ReadBytes(build.imagePath);
    const std::string path = build.dir / "damaged.img";
    std::string error, exportError;
    const auto refused = [&](const std::vector<uint8_t>& bytes) {
        WriteBytes(path, bytes);
        ImageReader reader;
        DecodedImage decoded;
        const bool opened = reader.Open(path);
        EXPECT_TRUE(opened || !reader.Error().empty());
        BinCueRequest request;
        request.imagePath = path;
        request.cuePath = build.dir / "x.cue";
        request.isoPath = build.dir / "x.iso";
        const bool exported = ExportBinCue(request, &exportError);
        EXPECT_EQ(exported, opened);
        for (const char* name : {"x.cue", "x.bin", "x.iso", "x.cue.part", "x.bin.part", "x.iso.part"})
            EXPECT_EQ(FileExists(build.dir / name), opened && std::string(name).find("part") == std::string::npos) << name;
        EXPECT_EQ(DecodeImage(path, decoded, error), opened);
        return !opened;
    };
    for (size_t length : {size_t(0), size_t(50), size_t(150), size_t(2000), image.size() / 2, image.size() - 200,
                          image.size() - 1})
        EXPECT_TRUE(refused(std::vector<uint8_t>(image.begin(), image.begin() + long(length)))) << length;

    ImageReader reader;
    ASSERT_TRUE(reader.Open(build.imagePath)) << reader.Error();
    const size_t tail = reader.TailOffset();
    std::vector<uint8_t> damaged = image;  // more runs than the tail holds
    damaged[tail + TailHeader::kSize + TrackBlockHeader::kOffsetRunCount] = 0xF0;
    EXPECT_TRUE(refused(damaged));
    damaged = image;  // a stored run pointing past the data
    PutLe32(damaged.data() + tail + TailHeader::kSize + TrackBlockHeader::kSize + RunRecord::kOffsetEnd,
            0x7FFFFFFF - 0x7FFFFFFF % 2056);
    EXPECT_TRUE(refused(damaged));
    std::vector<uint8_t> garbage(image.size());
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 2654435761u >> 13);
    EXPECT_TRUE(refused(garbage));
    EXPECT_NE(exportError.find("not a disc image"), std::string::npos) << exportError;

    // A broken directory: the tracks still decode, the tree reports the fault.
    damaged = image;
    damaged[reader.Locate(20).offset + kSubheaderSize + 96] = 20;  // shorter than its identifier
    EXPECT_FALSE(refused(damaged));
    DecodedImage decoded;
    ASSERT_TRUE(DecodeImage(path, decoded, error)) << error;
    EXPECT_FALSE(decoded.errors.empty());
    bool ok = true;
    InspectJson(decoded, &ok);
    EXPECT_FALSE(ok);
}

TEST(InspectControlFiles, DamagedFilesBecomeErrorsNotCrashes) {
    const char id[8] = {'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D'};
    const auto header = EncodeEntriesHeader(std::span<const char, 8>(id), 1);
    std::vector<uint8_t> entries(header.begin(), header.end());
    entries[10] = 0x7F;  // a count far beyond what the record holds
    const std::vector<uint8_t> shortInfo(100, 0), lot = LotRecord{{0, 100}}.Encode(), psd(16, 0);
    const struct { std::function<bool(InspectVisitor&)> visit; const char* shows; } cases[] = {
        {[&](InspectVisitor& v) { return VisitEntriesFile(entries, v); }, "ENTRIES names"},
        {[&](InspectVisitor& v) { return VisitInfoFile(shortInfo, v); }, ""},
        {[&](InspectVisitor& v) { return VisitPlaybackControl(lot, psd, v); }, "list: 2\n"},  // the walk goes on
        {[&](InspectVisitor& v) { return VisitPlaybackControl(lot, psd, v); }, "lies beyond the PSD"}};
    for (const auto& c : cases) {
        bool ok = true;
        const std::string text = PrintInspectText(c.visit, &ok);
        EXPECT_FALSE(ok) << c.shows;
        EXPECT_NE(text.find(c.shows), std::string::npos) << text;
    }
}

TEST(InspectJson, QuotesBackslashesAndControlBytesAreEscaped) {
    const std::string json = PrintInspectJson([](InspectVisitor& v) {
        v.BeginObject("");
        v.Text("path", "/A\"B\\C\n\x01\xE9");
        v.Text("say \"hi\"", "x");
        v.EndObject();
        return true;
    });
    EXPECT_EQ(json, "{\n  \"path\": \"/A\\\"B\\\\C\\n\\u0001\\u00e9\",\n  \"say \\\"hi\\\"\": \"x\"\n}\n");
}

}  // namespace
}  // namespace qorvcd
