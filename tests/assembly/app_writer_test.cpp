// Application and author files written into a real image and read back.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "assembly/app_writer.h"
#include "assembly/directory_writer.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "iso9660/dir_tree.h"
#include "platform/paths.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using Bytes = std::vector<uint8_t>;

struct AppHarness {
    test::TempDir dir;
    LogList log;
    BuildContext ctx;
    DirTree tree{&ctx};
    ImageContainer image;
    FileSystemState fs;
    std::string source = dir / "src/";
    std::unique_ptr<AppWriter> app;

    AppHarness() {
        std::tie(ctx.log, ctx.kind, ctx.workFolder, ctx.scriptFolder) = std::tuple(&log, DiscKind::Vcd30, dir.Path(), dir.Path());
        tree.CreateRoot();
        MakeDirectory(source);
    }
    DirNode* Add(const std::string& folder, const std::string& name, NodeKind kind, const Bytes& bytes) {
        MakeDirectory(source + folder);
        test::WriteBytes(source + folder + name, bytes);
        tree.ChangeDir("\\" + folder);
        DirNode* node = tree.AddFile(name, kind, NodeFlag::Listed, 0);
        tree.AttachSource(source + folder + name, node);
        return node;
    }
    // Writes the tree's directories from sector 20, then the files; returns WriteFiles' value.
    int Run(const std::function<void()>& beforeFiles = {}) {
        EXPECT_TRUE(image.CreateImage(dir / "disc.img") && image.CreateTail(dir / "tail.tmp"));
        image.BeginTail(); image.BeginImage();
        image.ReserveSectors(4);
        EXPECT_EQ(DirectoryWriter(image, ctx, fs, false).WriteDirectory(0, tree.Root(), 1, fs.dirSector = 20), 0);
        image.SetSectorCounter(fs.dirSector);
        if (beforeFiles) beforeFiles();
        app = std::make_unique<AppWriter>(image, ctx, AppWriterInputs{dir.Path(), nullptr, nullptr});
        return app->WriteFiles(tree.Root()->firstChild);
    }
};

Bytes SectorModeFile(size_t units) {  // video units, each filled with its own byte
    Bytes bytes;
    for (size_t i = 0; i < units; ++i) {
        bytes.resize((i + 1) * 2336, uint8_t(0x30 + i));
        kVideoSubheader.WriteTo(&bytes[i * 2336]);
    }
    return bytes;
}

TEST(AppWriter, MpegThenOrdinaryThenSubfolderFilesTakeTheirSectors) {
    AppHarness h;
    const Bytes ten = SectorModeFile(10);
    DirNode* empty = h.Add("D/", "E.TXT", NodeKind::Form1File, {});
    DirNode* whole = h.Add("D/", "F.TXT", NodeKind::Form1File, Bytes(2048, 7));
    DirNode* over = h.Add("D/", "G.TXT", NodeKind::Form1File, Bytes(2049, 9));
    DirNode* movie = h.Add("D/", "M.MPG", NodeKind::Form2File, ten);
    DirNode* none = h.Add("D/", "N.MPG", NodeKind::Form2File, {});
    DirNode* inner = h.Add("D/C/", "I.TXT", NodeKind::Form1File, {2});
    ASSERT_EQ(h.Run(), 1) << h.log.Last();
    // MPEG files first: 10 units, then one sector for the empty one; then 1, 1, 2 sectors; the subfolder last.
    const uint32_t first = movie->startSector + 11;
    EXPECT_TRUE(movie->size == 20480 && none->startSector == movie->startSector + 10 && empty->startSector == first);
    EXPECT_TRUE(whole->startSector == first + 1 && over->startSector == first + 2 && inner->startSector == first + 4);
    h.image.CloseStoredRun(); h.image.CloseDataTrack(300); h.image.FinishImage();
    ASSERT_TRUE(h.image.Ok()) << h.image.Error();
    h.image.Close();
    ImageReader reader;
    ASSERT_TRUE(reader.Open(h.dir / "disc.img")) << reader.Error();
    SectorContent s;
    EXPECT_TRUE(reader.ReadSector(movie->startSector + 9, s) && s.form == RunForm::Form2 &&
                std::memcmp(s.data.data(), ten.data() + 9 * 2336 + 8, 2324) == 0);
    EXPECT_TRUE(reader.ReadSector(none->startSector, s) && std::count(s.data.begin(), s.data.end(), 0) == 2324);
    const std::pair<uint32_t, Subheader> subheaders[] = {{first, kLastDataSubheader}, {first + 1, kLastDataSubheader},
                                                         {first + 2, kDataSubheader}, {first + 3, kLastDataSubheader}};
    for (const auto& [sector, subheader] : subheaders)
        EXPECT_TRUE(reader.ReadSector(sector, s) && s.subheader == subheader) << sector;
    EXPECT_TRUE(s.form == RunForm::Form1 && s.data[0] == 9 && std::count(s.data.begin() + 1, s.data.end(), 0) == 2047);
    EXPECT_TRUE(reader.Warnings().empty());
}

TEST(AppWriter, PlayOkMarkOnlyInsideOneBlockOfTheHomePageAndFailures) {
    const std::tuple<const char*, size_t, bool> cases[] = {
        {"HOMEPAGE.CHM", 100, true}, {"HOMEPAGE.CHM", 5000, true}, {"HOMEPAGE.CHM", 2045, false}, {"INDEX.CHM", 100, false}};
    for (const auto& [name, at, found] : cases) {
        AppHarness h;
        Bytes page(6000, 'x');
        std::memcpy(page.data() + at, kPlayOkText, 6);
        h.Add("D/", name, NodeKind::Form1File, page);
        EXPECT_TRUE(h.Run() == 1 && h.app->PlayOkFound() == found) << name << " " << at;
    }
    // A plain program stream, a missing source and a record that is not the file's fail.
    AppHarness plain;
    const std::string mpg = test::EnsureMedia("appwriter_plain.mpg", "ffmpeg -v error -f lavfi -i "
                                              "testsrc=size=352x288:rate=25 -t 1 -target pal-vcd -y {out}");
    plain.Add("D/", "P.MPG", NodeKind::Form2File, test::ReadBytes(mpg));
    EXPECT_TRUE(plain.Run() == 0 && plain.log.Last() == "Error :: " + plain.source + "D/ is not muxed!") << plain.log.Last();
    AppHarness missing;
    missing.Add("D/", "Q.TXT", NodeKind::Form1File, {1, 2, 3});
    File::Remove(missing.source + "D/Q.TXT");
    EXPECT_TRUE(missing.Run() == 0 && missing.log.Last() == "Can't open file " + missing.source + "D/Q.TXT");
    AppHarness wrong;
    DirNode* r = wrong.Add("D/", "R.TXT", NodeKind::Form1File, {1});
    DirNode* t = wrong.Add("D/", "T.TXT", NodeKind::Form1File, {2});
    // R's record position pointing at T's record: the check must notice.
    EXPECT_EQ(wrong.Run([&] { r->recordPosition = t->recordPosition; }), 0);
    EXPECT_TRUE(wrong.log.Last() == "R.TXT FileName not match" && wrong.app->Result() == 2000) << wrong.log.Last();
}

}  // namespace
}  // namespace qorvcd
