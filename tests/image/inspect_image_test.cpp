// A small two-track image built from the record encoders, read back by the
// image reader, the inspector, the BIN/CUE export and independent readers;
// and the same image truncated or damaged.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "image/bincue.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "image/inspect.h"
#include "infofiles/entries_record.h"
#include "iso9660/directory_record.h"
#include "iso9660/path_table.h"
#include "iso9660/volume_descriptor.h"
#include "platform/bytes.h"
#include "session/build_context.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

// Where things lie on the synthetic disc.
constexpr uint32_t kRootSector = 20, kSegmentDirSector = 21, kSvcdDirSector = 22;
constexpr uint32_t kEntriesSector = 150, kReadmeSector = 151, kItemSector = 300;
constexpr uint32_t kItemUnits = 5, kTrackOneEnd = 315;
constexpr uint32_t kVideoStart = kTrackOneEnd + 152, kVideoUnits = 20, kVideoEnd = kVideoStart + kVideoUnits + 10;
constexpr uint32_t kReadmeSize = 100;

using Sector = std::vector<uint8_t>;

DirectoryRecord FileRecord(const char* id, uint32_t extent, uint32_t size, XaAttributes xa, uint8_t fileNumber) {
    DirectoryRecord r;
    r.extent = extent;
    r.dataLength = size;
    r.time = {126, 3, 5, 12, 0, 0, 0};
    r.identifier = id;
    r.xaAttributes = uint16_t(xa);
    r.xaFileNumber = fileNumber;
    return r;
}

DirectoryRecord FolderRecord(const char* id, uint32_t extent) {
    DirectoryRecord r = FileRecord(id, extent, 2048, XaAttributes::Directory, 0);
    r.flags = FileFlags::Directory;
    return r;
}

Sector Directory(uint32_t self, uint32_t parent, const std::vector<DirectoryRecord>& children) {
    Sector s(kForm1DataSize, 0);
    const RecordTime time{126, 3, 5, 12, 0, 0, 0};
    size_t at = EncodeDirectoryRecord(DotRecord(false, self, 2048, time), s.data(), s.size());
    at += EncodeDirectoryRecord(DotRecord(true, parent, 2048, time), s.data() + at, s.size() - at);
    for (const DirectoryRecord& r : children) at += EncodeDirectoryRecord(r, s.data() + at, s.size() - at);
    return s;
}

Sector PathTable(ByteOrder order, uint32_t* size) {
    Sector s(kForm1DataSize, 0);
    size_t at = 0;
    const std::vector<PathTableRecord> records = {
        {std::string(1, '\0'), kRootSector, 1}, {"SEGMENT", kSegmentDirSector, 1}, {"SVCD", kSvcdDirSector, 1}};
    for (const PathTableRecord& r : records) at += EncodePathTableRecord(r, order, s.data() + at, s.size() - at);
    *size = uint32_t(at);
    return s;
}

Sector EntriesSector() {
    const char id[8] = {'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D'};
    EntriesTable table(EncodeEntriesHeader(std::span<const char, 8>(id), 1));
    std::string error;
    EXPECT_TRUE(table.Add(2, kVideoStart, error)) << error;
    const auto bytes = table.Bytes();
    return {bytes.begin(), bytes.end()};
}

// The disc written through the container, every sector made by the record encoders.
std::vector<uint8_t> SyntheticImage(const test::TempDir& dir) {
    ImageContainer a;
    EXPECT_TRUE(a.CreateImage(dir / "built.img"));
    EXPECT_TRUE(a.CreateTail(dir / "tail.tmp"));
    a.SetDiscKind(DiscKind::Svcd);
    a.SetVideoTrackCount(1);
    a.BeginTail();
    a.BeginImage();
    auto form1 = [&](const Subheader& sh, const uint8_t* data) {
        a.AppendForm1Unit(sh, data);
        a.AdvanceSectorCounter();
    };
    auto reserve = [&](uint32_t upTo) {
        a.ReserveSectors(upTo - a.SectorCounter());
        a.SetSectorCounter(upTo);
    };
    a.SetSectorCounter(kSystemAreaSectors);
    BuildContext ctx;
    ctx.clock = Clock::Fixed(1772712000);
    uint32_t tableSize = 0;
    const Sector little = PathTable(ByteOrder::Little, &tableSize);
    const Sector big = PathTable(ByteOrder::Big, &tableSize);
    VolumeDescriptorSector pvd = *BuildPrimaryVolumeDescriptor(nullptr, ctx);
    SetPathTableFields(pvd, tableSize, 18, 19);
    CompleteVolumeDescriptor(pvd, kTrackOneEnd, RecordTime{126, 3, 5, 12, 0, 0, 0}, false);
    form1({0, 0, kPrimaryDescriptorSubmode, 0}, pvd.data());
    form1({0, 0, kTerminatorSubmode, 0}, BuildVolumeDescriptorSetTerminator().data());
    form1(kDataSubheader, little.data());
    form1(kLastDataSubheader, big.data());
    const Sector root = Directory(kRootSector, kRootSector,
                                  {FileRecord("AVSEQ01.MPG;1", kVideoStart, kVideoUnits * 2048, XaAttributes::Form2File, 2),
                                   FileRecord("README.TXT;1", kReadmeSector, kReadmeSize, XaAttributes::Form1File, 0),
                                   FolderRecord("SEGMENT", kSegmentDirSector), FolderRecord("SVCD", kSvcdDirSector)});
    form1(kLastDataSubheader, root.data());
    form1(kLastDataSubheader, Directory(kSegmentDirSector, kRootSector,
                                        {FileRecord("ITEM0001.MPG;1", kItemSector, kItemUnits * 2048,
                                                    XaAttributes::Form2File, 1)}).data());
    form1(kLastDataSubheader, Directory(kSvcdDirSector, kRootSector,
                                        {FileRecord("ENTRIES.SVD;1", kEntriesSector, 2048, XaAttributes::Form1File, 0)}).data());
    reserve(kEntriesSector);
    form1(kLastDataSubheader, EntriesSector().data());
    Sector readme(kForm1DataSize, 0);
    std::memset(readme.data(), 'r', kReadmeSize);
    form1(kLastDataSubheader, readme.data());
    reserve(kItemSector);

    std::vector<uint8_t> unit(kSectorModeUnitSize, 0);
    auto form2 = [&](const Subheader& sh, uint8_t first) {
        sh.WriteTo(unit.data());
        unit[kSubheaderSize] = first;
        a.AppendForm2Unit(unit.data());
        a.AdvanceSectorCounter();
    };
    for (uint32_t i = 0; i < kItemUnits; ++i) form2(kVideoSubheader, uint8_t(i));
    a.CloseStoredRun();
    a.CloseDataTrack(kTrackOneEnd);
    a.OpenVideoTrack();
    for (uint32_t i = 0; i < kVideoUnits; ++i) form2({2, 1, 0x62, 0x0F}, uint8_t(0x80 + i));
    a.CloseVideoTrack(2, kVideoUnits);
    a.FinishImage();
    EXPECT_TRUE(a.Ok()) << a.Error();
    a.Close();
    return test::ReadBytes(dir / "built.img");
}

class InspectImage : public ::testing::Test {
protected:
    void SetUp() override {
        image_ = SyntheticImage(dir_);
        test::WriteBytes(Path(), image_);
    }
    std::string Path() const { return dir_ / "disc.img"; }

    test::TempDir dir_;
    std::vector<uint8_t> image_;
};

TEST_F(InspectImage, ReaderMapsEveryLogicalSector) {
    ImageReader reader;
    ASSERT_TRUE(reader.Open(Path())) << reader.Error();
    EXPECT_TRUE(reader.Warnings().empty()) << reader.Warnings().front();
    ASSERT_EQ(reader.Tracks().size(), 2u);
    EXPECT_EQ(reader.Tracks()[0].sectorCount, kTrackOneEnd);
    EXPECT_EQ(reader.Tracks()[1].startSector, kVideoStart);
    EXPECT_EQ(reader.Tracks()[1].storedUnits, kVideoUnits);
    EXPECT_EQ(reader.EndSector(), kVideoEnd);

    const std::pair<uint32_t, SectorState> expected[] = {
        {0, SectorState::Stored},         {22, SectorState::Stored},   {23, SectorState::Reserved},
        {149, SectorState::Reserved},     {151, SectorState::Stored},  {152, SectorState::Reserved},
        {kItemSector, SectorState::Stored}, {304, SectorState::Stored}, {305, SectorState::Reserved},
        {314, SectorState::Reserved},     {315, SectorState::Gap},     {kVideoStart - 1, SectorState::Gap},
        {kVideoStart, SectorState::Stored}, {kVideoEnd - 1, SectorState::Reserved},
        {kVideoEnd, SectorState::Missing}};
    for (const auto& [sector, state] : expected) {
        EXPECT_EQ(int(reader.Locate(sector).state), int(state)) << "sector " << sector;
    }

    SectorContent content;
    ASSERT_TRUE(reader.ReadSector(kItemSector + 3, content));
    EXPECT_EQ(content.form, RunForm::Form2);
    EXPECT_EQ(content.data.size(), kForm2DataSize);
    EXPECT_EQ(content.data[0], 3);
    ASSERT_TRUE(reader.ReadSector(kVideoStart + 19, content));
    EXPECT_EQ(content.subheader, (Subheader{2, 1, 0x62, 0x0F}));
    EXPECT_EQ(content.data[0], 0x80 + 19);
    ASSERT_TRUE(reader.ReadSector(kReadmeSector, content));
    EXPECT_EQ(content.form, RunForm::Form1);
    EXPECT_EQ(content.data[kReadmeSize - 1], 'r');
    EXPECT_FALSE(reader.ReadSector(kVideoEnd, content));
}

TEST_F(InspectImage, TextAndJsonShowTheSameTreeAndControlFiles) {
    DecodedImage decoded;
    std::string error;
    ASSERT_TRUE(DecodeImage(Path(), decoded, error)) << error;
    EXPECT_TRUE(decoded.errors.empty()) << decoded.errors.front();
    ASSERT_EQ(decoded.entries.size(), 6u);
    bool okText = false, okJson = false;
    const std::string text = InspectText(decoded, &okText);
    const std::string json = InspectJson(decoded, &okJson);
    EXPECT_TRUE(okText && okJson) << text;

    for (const InspectedEntry& e : decoded.entries) {
        SCOPED_TRACE(e.path);
        EXPECT_NE(text.find("path: " + e.path + "\n"), std::string::npos);
        EXPECT_NE(json.find("\"path\": \"" + e.path + "\""), std::string::npos);
    }
    EXPECT_NE(text.find("path: /SEGMENT/ITEM0001.MPG\n    folder: no\n    extent: 300\n    size: 10240\n    xa: form2\n"
                        "    fileNumber: 1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(json.find("\"path\": \"/README.TXT\",\n      \"folder\": false,\n      \"extent\": 151,\n"
                        "      \"size\": 100,\n      \"xa\": \"form1\""),
              std::string::npos)
        << json;
    // ENTRIES found through the tree: the video track's start.
    EXPECT_NE(json.find("\"entries\": {\n    \"path\": \"/SVCD/ENTRIES.SVD\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"sector\": 467,\n        \"address\": \"00:08:17\""), std::string::npos) << json;
}

// iso-info prints e.g. "[LSN    151]        100 ... readme.txt", and for a
// Form 2 file its size in 2324-byte sectors followed by "(  10240)".
bool IsoInfoLists(const std::string& output, const std::string& name, uint32_t lsn, uint32_t size) {
    const std::regex line("\\[LSN +" + std::to_string(lsn) + "\\] +([0-9]+ \\( *)?" + std::to_string(size) +
                              "\\)? .* " + name + "\n",
                          std::regex::icase);
    return std::regex_search(output, line);
}

TEST_F(InspectImage, ExportIsReadByIndependentTools) {
    if (!test::HaveProgram("cd-info") || !test::HaveProgram("iso-info")) GTEST_SKIP() << "libcdio-utils missing";
    std::string error;
    ASSERT_TRUE(ExportBinCue({Path(), dir_ / "disc.cue", dir_ / "disc.iso"}, &error)) << error;
    EXPECT_EQ(test::ReadBytes(dir_ / "disc.bin").size(), size_t(kVideoEnd) * kRawSectorSize);
    EXPECT_EQ(test::ReadBytes(dir_ / "disc.iso").size(), size_t(kTrackOneEnd) * kForm1DataSize);

    const auto iso = test::RunCommand("iso-info -l -i '" + (dir_ / "disc.iso") + "'");
    EXPECT_EQ(iso.exitCode, 0) << iso.output;
    DecodedImage decoded;
    ASSERT_TRUE(DecodeImage(Path(), decoded, error)) << error;
    for (const InspectedEntry& e : decoded.entries) {
        if (e.record.flags == FileFlags::Directory) continue;
        const std::string name = e.path.substr(e.path.rfind('/') + 1);
        EXPECT_TRUE(IsoInfoLists(iso.output, name, e.record.extent, e.record.dataLength))
            << name << " not listed as inspect shows it:\n" << iso.output;
    }

    const auto cd = test::RunCommand("cd-info --no-cddb --no-device-info --iso9660 --cue-file '" +
                                     (dir_ / "disc.cue") + "'");
    EXPECT_EQ(cd.exitCode, 0) << cd.output;
    EXPECT_NE(cd.output.find("CD-ROM with ISO 9660 filesystem"), std::string::npos) << cd.output;
    EXPECT_NE(cd.output.find("XA sectors"), std::string::npos) << cd.output;
    EXPECT_TRUE(std::regex_search(cd.output, std::regex("  2: 00:08:17  000467 XA"))) << cd.output;
    EXPECT_TRUE(IsoInfoLists(cd.output, "readme.txt", kReadmeSector, kReadmeSize)) << cd.output;
    EXPECT_TRUE(IsoInfoLists(cd.output, "item0001.mpg", kItemSector, kItemUnits * 2048)) << cd.output;
    EXPECT_EQ(cd.output.find("rror"), std::string::npos) << cd.output;
}

TEST_F(InspectImage, TruncatedOrDamagedImagesGiveErrorsNotCrashes) {
    // Cut anywhere: inside the header, the units, the tail.
    for (size_t length : {size_t(0), size_t(50), size_t(150), size_t(2000), image_.size() / 2, image_.size() - 200,
                          image_.size() - 1}) {
        SCOPED_TRACE(length);
        test::WriteBytes(Path(), std::vector<uint8_t>(image_.begin(), image_.begin() + length));
        ImageReader reader;
        EXPECT_FALSE(reader.Open(Path()));
        EXPECT_FALSE(reader.Error().empty());
        DecodedImage decoded;
        std::string error;
        EXPECT_FALSE(DecodeImage(Path(), decoded, error));
        EXPECT_FALSE(ExportBinCue({Path(), dir_ / "x.cue", ""}, &error));
        EXPECT_FALSE(test::FileExists(dir_ / "x.bin"));
    }

    // A run count that promises more runs than the tail holds.
    std::vector<uint8_t> damaged = image_;
    test::WriteBytes(Path(), image_);
    ImageReader reader;
    ASSERT_TRUE(reader.Open(Path())) << reader.Error();
    const size_t tailAt = reader.TailOffset();
    ASSERT_EQ(std::memcmp(damaged.data() + tailAt + 8, "ofs ", 4), 0);
    damaged[tailAt + TailHeader::kSize + TrackBlockHeader::kOffsetRunCount] = 0xF0;
    test::WriteBytes(Path(), damaged);
    EXPECT_FALSE(reader.Open(Path()));
    EXPECT_NE(reader.Error().find("runs"), std::string::npos) << reader.Error();

    // A stored run pointing past the data.
    damaged = image_;
    const size_t firstRunEnd = tailAt + TailHeader::kSize + TrackBlockHeader::kSize + RunRecord::kOffsetEnd;
    PutLe32(damaged.data() + firstRunEnd, 0x7FFFFFFF - 0x7FFFFFFF % 2056);
    test::WriteBytes(Path(), damaged);
    EXPECT_FALSE(reader.Open(Path()));

    // A broken directory: the tracks still decode, the tree reports the fault.
    damaged = image_;
    const size_t rootUnit = TrackRecordOffset(3) + InfoRecord::kSize + size_t(kRootSector) * kForm1UnitSize;
    damaged[rootUnit + kSubheaderSize + 96] = 20;  // a record length shorter than its identifier
    test::WriteBytes(Path(), damaged);
    DecodedImage decoded;
    std::string error;
    ASSERT_TRUE(DecodeImage(Path(), decoded, error)) << error;
    EXPECT_FALSE(decoded.errors.empty());
    bool ok = true;
    InspectJson(decoded, &ok);
    EXPECT_FALSE(ok);

    // Garbage of image size.
    std::vector<uint8_t> garbage(image_.size());
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = uint8_t(i * 2654435761u >> 13);
    test::WriteBytes(Path(), garbage);
    EXPECT_FALSE(reader.Open(Path()));
}

}  // namespace
}  // namespace qorvcd
