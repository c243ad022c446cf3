#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#include "apps/app_writer.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "iso9660/dir_tree.h"
#include "iso9660/directory_writer.h"
#include "platform/paths.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::TempDir;

struct AppHarness {
    TempDir dir;
    LogList log;
    BuildContext ctx;
    DirTree tree;
    ImageContainer image;
    FileSystemState fs;
    std::string imagePath = dir / "disc.img";
    std::string source = dir / "src/";
    std::unique_ptr<AppWriter> app;

    AppHarness() : tree(&ctx) {
        ctx.log = &log;
        ctx.kind = DiscKind::Vcd30;
        ctx.workFolder = dir.Path();
        ctx.scriptFolder = dir.Path();
        MakeDirectory(source);
        tree.CreateRoot();
    }
    DirNode* AddFile(const std::string& folder, const std::string& name, NodeKind kind,
                     const std::vector<uint8_t>& bytes) {
        MakeDirectory(source + folder);
        test::WriteBytes(source + folder + name, bytes);
        tree.ChangeDir("\\" + folder);
        DirNode* node = tree.AddFile(name, kind, NodeFlag::Listed, 0);
        tree.AttachSource(source + folder + name, node);
        return node;
    }
    // Writes the tree's directories, then the files; returns WriteFiles' value.
    int Run(const std::function<void()>& beforeFiles = {}) {
        EXPECT_TRUE(image.CreateImage(imagePath));
        EXPECT_TRUE(image.CreateTail(dir / "tail.tmp"));
        image.BeginTail();
        image.BeginImage();
        image.ReserveSectors(4);
        fs.dirSector = 20;
        DirectoryWriter writer(image, ctx, fs, false);
        EXPECT_EQ(writer.WriteDirectory(0, tree.Root(), 1, 20), 0);
        image.SetSectorCounter(fs.dirSector);
        if (beforeFiles) beforeFiles();
        app = std::make_unique<AppWriter>(image, ctx, AppWriterInputs{dir.Path(), nullptr, nullptr});
        return app->WriteFiles(tree.Root()->firstChild);
    }
    ImageReader Finish() {
        image.CloseStoredRun();
        image.CloseDataTrack(300);
        image.FinishImage();
        EXPECT_TRUE(image.Ok()) << image.Error();
        image.Close();
        ImageReader reader;
        EXPECT_TRUE(reader.Open(imagePath)) << reader.Error();
        return reader;
    }
};

std::vector<uint8_t> SectorModeFile(size_t units) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < units; ++i) {
        std::vector<uint8_t> unit(2336, uint8_t(0x30 + i));
        kVideoSubheader.WriteTo(unit.data());
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    }
    return bytes;
}

TEST(AppWriterSectors, OrdinaryAndMpegFilesTakeTheirSectors) {
    AppHarness h;
    const std::vector<uint8_t> ten = SectorModeFile(10);
    DirNode* empty = h.AddFile("D/", "E.TXT", NodeKind::Form1File, {});
    DirNode* whole = h.AddFile("D/", "F.TXT", NodeKind::Form1File, std::vector<uint8_t>(2048, 7));
    DirNode* over = h.AddFile("D/", "G.TXT", NodeKind::Form1File, std::vector<uint8_t>(2049, 9));
    DirNode* movie = h.AddFile("D/", "M.MPG", NodeKind::Form2File, ten);
    DirNode* none = h.AddFile("D/", "N.MPG", NodeKind::Form2File, {});
    ASSERT_EQ(h.Run(), 1) << h.log.Last();
    // MPEG files first: 10 units, then one sector for the empty one.
    EXPECT_EQ(movie->size, 20480u);
    EXPECT_EQ(none->startSector, movie->startSector + 10);
    const uint32_t first = empty->startSector;
    EXPECT_EQ(first, movie->startSector + 11);
    EXPECT_EQ(whole->startSector, first + 1);
    EXPECT_EQ(over->startSector, first + 2);
    EXPECT_EQ(h.image.SectorCounter(), first + 4);
    ImageReader reader = h.Finish();
    SectorContent s;
    ASSERT_TRUE(reader.ReadSector(movie->startSector + 9, s));
    EXPECT_EQ(s.form, RunForm::Form2);
    EXPECT_EQ(0, std::memcmp(s.data.data(), ten.data() + 9 * 2336 + 8, 2324));
    ASSERT_TRUE(reader.ReadSector(none->startSector, s));
    EXPECT_EQ(s.form, RunForm::Form2);
    EXPECT_EQ(std::count(s.data.begin(), s.data.end(), 0), 2324);
    const std::pair<uint32_t, Subheader> subheaders[] = {{first, kLastDataSubheader}, {first + 1, kLastDataSubheader},
                                                         {first + 2, kDataSubheader}, {first + 3, kLastDataSubheader}};
    for (const auto& [sector, subheader] : subheaders) {
        ASSERT_TRUE(reader.ReadSector(sector, s));
        EXPECT_EQ(s.subheader, subheader) << sector;
    }
    EXPECT_EQ(s.data[0], 9);
    EXPECT_EQ(std::count(s.data.begin() + 1, s.data.end(), 0), 2047);
    EXPECT_TRUE(reader.Warnings().empty());
    // The record in the image carries extent and length.
    std::vector<uint8_t> dirData(2048);
    ASSERT_TRUE(reader.ReadUserData2048(DirTree::FindChild("D", h.tree.Root())->startSector, dirData.data()));
    std::optional<DirectoryRecord> r = DecodeDirectoryRecord(dirData.data() + 96 + 2 * 54, 2048 - 204);
    ASSERT_TRUE(r);  // after E.TXT and F.TXT
    EXPECT_EQ(r->identifier, "G.TXT;1");
    EXPECT_EQ(r->extent, first + 2);
    EXPECT_EQ(r->dataLength, 2049u);
}

TEST(AppWriterOrder, MpegThenOrdinaryThenSubfolders) {
    AppHarness h;
    DirNode* text = h.AddFile("F/", "B.TXT", NodeKind::Form1File, std::vector<uint8_t>(10, 1));
    DirNode* movie = h.AddFile("F/", "A.MPG", NodeKind::Form2File, SectorModeFile(2));
    DirNode* inner = h.AddFile("F/C/", "D.TXT", NodeKind::Form1File, std::vector<uint8_t>(10, 2));
    DirNode* zed = h.AddFile("F/", "Z.MPG", NodeKind::Form2File, SectorModeFile(1));
    ASSERT_EQ(h.Run(), 1) << h.log.Last();
    EXPECT_LT(movie->startSector, zed->startSector);
    EXPECT_LT(zed->startSector, text->startSector);
    EXPECT_LT(text->startSector, inner->startSector);
    // Form 1, Form 2, Form 1: the runs follow the switches.
    ImageReader reader = h.Finish();
    EXPECT_EQ(reader.Locate(movie->startSector).form, RunForm::Form2);
    EXPECT_EQ(reader.Locate(text->startSector).form, RunForm::Form1);
    EXPECT_TRUE(reader.Warnings().empty());
}

TEST(AppWriterHomePage, PlayOkMarksTheDiscOnlyInsideOneBlockOfTheHomePage) {
    struct Case {
        const char* name;
        size_t at;
        bool found;
    } cases[] = {{"HOMEPAGE.CHM", 100, true}, {"HOMEPAGE.CHM", 5000, true},
                 {"HOMEPAGE.CHM", 2045, false}, {"INDEX.CHM", 100, false}};
    for (const Case& c : cases) {
        AppHarness h;
        std::vector<uint8_t> page(6000, 'x');
        std::memcpy(page.data() + c.at, kPlayOkText, 6);
        h.AddFile("D/", c.name, NodeKind::Form1File, page);
        ASSERT_EQ(h.Run(), 1);
        EXPECT_EQ(h.app->PlayOkFound(), c.found) << c.name << " " << c.at;
    }
}

TEST(AppWriterFailures, PlainProgramStreamMissingSourceAndWrongRecord) {
    {
        AppHarness h;
        std::vector<uint8_t> plain(4000, 0);
        const uint8_t pack[] = {0x00, 0x00, 0x01, 0xBA};
        std::memcpy(plain.data(), pack, 4);
        if (test::HaveProgram("ffmpeg")) {
            const std::string mpg = test::EnsureMedia(
                "appwriter_plain.mpg",
                "ffmpeg -v error -f lavfi -i testsrc=size=352x288:rate=25 -t 1 -target pal-vcd -y {out}");
            plain = test::ReadBytes(mpg);
        }
        h.AddFile("D/", "P.MPG", NodeKind::Form2File, plain);
        EXPECT_EQ(h.Run(), 0);
        EXPECT_EQ(h.log.Last(), "Error :: " + h.source + "D/ is not muxed!");
    }
    {
        AppHarness h;
        h.AddFile("D/", "Q.TXT", NodeKind::Form1File, {1, 2, 3});
        File::Remove(h.source + "D/Q.TXT");
        EXPECT_EQ(h.Run(), 0);
        EXPECT_EQ(h.log.Last(), "Can't open file " + h.source + "D/Q.TXT");
    }
    {
        AppHarness h;
        DirNode* r = h.AddFile("D/", "R.TXT", NodeKind::Form1File, {1});
        DirNode* t = h.AddFile("D/", "T.TXT", NodeKind::Form1File, {2});
        // R's record position pointing at T's record: the check must notice.
        EXPECT_EQ(h.Run([&] { r->recordPosition = t->recordPosition; }), 0);
        EXPECT_EQ(h.log.Last(), "R.TXT FileName not match");
        EXPECT_EQ(h.app->Result(), 2000);
    }
}

}  // namespace
}  // namespace qorvcd
