// The video track writer on real packed MPEG tracks after a hand-made track 1.
#include <gtest/gtest.h>

#include <cstring>

#include "content/psd_compiler.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "image/segment_writer.h"
#include "image/video_track_writer.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_file_names.h"
#include "infofiles/scan_data.h"
#include "infofiles/search_record.h"
#include "iso9660/directory_record.h"
#include "iso9660/file_system_state.h"
#include "platform/bytes.h"
#include "tests/image/track_writer_media.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using namespace test;

class CancelOnPoll : public ProgressSink {
public:
    explicit CancelOnPoll(int poll) : left_(poll) {}
    bool PumpPendingMessages() override { return --left_ == 0; }

private:
    int left_;
};

bool HasLine(const LogList& log, const std::string& text) {
    for (const std::string& line : log.Lines()) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

// Track 1 holds the system area, the track folder's directory (two units),
// ENTRIES, the PSD, SEARCH.DAT and SCANDATA as the kind needs; then the tracks.
struct TrackDisc {
    TempDir dir;
    LogList log;
    BuildContext ctx;
    ImageContainer image;
    FileSystemState fs;
    ScanDataState scan;
    std::vector<TrackEntry> tracks;
    std::vector<std::string> recordNames;  // the folder's records; default: one per track
    std::vector<uint8_t> entriesWork, psd = std::vector<uint8_t>(3000, 0xAB);
    uint32_t sectorBeforeTracks = 0;  // 0: track 1 ends at 300
    int result = 0;
    std::string imagePath = dir / "disc.img";

    explicit TrackDisc(DiscKind kind) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
    }

    TrackEntry& AddTrack(const std::string& path, uint32_t duration) {
        TrackEntry t;
        t.number = uint32_t(2 + tracks.size());
        t.id = Format("%s%02zu", TrackIdPrefix(ctx.kind), tracks.size() + 1);
        t.fileName = t.path = path;
        t.duration = duration;
        tracks.push_back(t);
        return tracks.back();
    }

    void Write() {
        const InfoFileNames& names = InfoFileNamesOf(ctx.kind);
        if (entriesWork.empty()) {
            const auto header = EncodeEntriesHeader(std::span<const char, 8>(names.entriesId, 8), 1);
            entriesWork.assign(header.begin(), header.end());
        }
        WriteBytes(dir / names.entriesWorkFile, entriesWork);
        WriteBytes(dir / PsdFileName(ctx.kind), psd);
        ASSERT_TRUE(image.CreateImage(imagePath));
        ASSERT_TRUE(image.CreateTail(dir / "tail.tmp"));
        image.SetDiscKind(ctx.kind);
        image.SetVideoTrackCount(uint16_t(tracks.size()));
        image.BeginTail();
        image.BeginImage();
        uint32_t sector = kSystemAreaSectors;
        fs.trackDirPosition = image.ImagePosition();
        sector += AppendUnits(DirectoryUnits());
        fs.entriesPosition = image.ImagePosition();
        sector += AppendUnits(std::vector<uint8_t>(2048));
        fs.psdPosition = image.ImagePosition();
        sector += AppendUnits(psd);
        if (IsSvcdFamily(ctx.kind)) {
            const auto header = EncodeSearchHeader(1);
            std::vector<uint8_t> search(header.begin(), header.end());
            search.resize(search.size() + 3 * ScanPointsFor(TotalTime()));
            WriteBytes(dir / kSearchWorkFile, search);
            fs.searchPosition = image.ImagePosition();
            sector += AppendUnits(search);
        }
        if (HasScanData(ctx.kind)) sector += PrepareScanData();
        image.SetSectorCounter(sector);
        image.CloseStoredRun();
        image.CloseDataTrack(300);
        if (sectorBeforeTracks) image.SetSectorCounter(sectorBeforeTracks);
        WriteVideoTracks(image, ctx, tracks, fs, scan.IsOpen() ? &scan : nullptr, result);
        if (result == 0 || result == kEntryPointBeyondTrack) image.FinishImage();
        image.Close();
    }

    uint32_t TotalTime() const {
        uint32_t total = 0;
        for (const TrackEntry& t : tracks) total += t.duration;
        return total;
    }

    uint32_t AppendUnits(std::vector<uint8_t> bytes) {
        bytes.resize((bytes.size() + 2047) / 2048 * 2048);
        for (size_t at = 0; at < bytes.size(); at += 2048) image.AppendForm1Unit(kDataSubheader, &bytes[at]);
        return uint32_t(bytes.size() / 2048);
    }

    std::vector<uint8_t> DirectoryUnits() const {
        std::vector<std::string> names = recordNames;
        for (size_t i = names.size(); i < tracks.size(); ++i) {
            names.push_back(Format("%s%02zu.%s;1", TrackIdPrefix(ctx.kind), i + 1,
                                   ctx.kind == DiscKind::Vcd30 ? "DAT" : "MPG"));
        }
        std::vector<uint8_t> units(2 * 2048);
        size_t at = kFirstTrackFileRecord;
        for (const std::string& name : names) {
            if (at % 2048 + kTrackFileRecordSize > 2048) at = (at / 2048 + 1) * 2048;
            units[at + dirrec::kLength] = uint8_t(kTrackFileRecordSize);
            units[at + dirrec::kIdentifierLength] = uint8_t(name.size());
            std::memcpy(&units[at + dirrec::kIdentifier], name.data(), name.size());
            at += kTrackFileRecordSize;
        }
        return units;
    }

    // The SCANDATA work file as the steps before the layout leave it, with
    // its entries for the tracks reserved by the segment writer.
    uint32_t PrepareScanData() {
        EXPECT_TRUE(CreateScanData(scan, ctx));
        std::vector<uint32_t> durations;
        for (const TrackEntry& t : tracks) durations.push_back(t.duration);
        std::string error;
        EXPECT_TRUE(WriteScanTrackTimes(scan, durations, error)) << error;
        SegmentList none;
        fs.segmentSectors = 0;
        WriteSegmentItems(image, ctx, none, fs, &scan, result);
        scan.scanDataFile.Close();
        fs.scanDataPosition = image.ImagePosition();
        const uint32_t units = AppendUnits(ReadBytes(dir / kScanDataWorkFile));
        EXPECT_TRUE(scan.scanDataFile.Open(dir / kScanDataWorkFile, FileMode::ReadWrite));
        scan.scanDataFile.SeekToEnd();
        return units;
    }

    std::vector<uint8_t> ImageBytes(uint64_t offset, size_t size) const {
        const std::vector<uint8_t> all = ReadBytes(imagePath);
        return std::vector<uint8_t>(all.begin() + long(offset), all.begin() + long(offset + size));
    }
    EntriesRecord Entries() const {
        EntriesRecord record;
        std::string error;
        EXPECT_TRUE(DecodeEntries(ImageBytes(fs.entriesPosition + 8, 2048), record, error)) << error;
        return record;
    }
};

uint32_t Probed(const std::string& path) {
    MpegStreamInfo info;
    ResetStreamInfo(info);
    EXPECT_EQ(ProbeMpegFile(info, path, nullptr, nullptr), kProbeOk);
    return uint32_t(PlayingTime(info));
}

TEST(TrackUnitFacts, ClockReferenceOfBothPackFormatsAndIntraPictures) {
    for (const bool mpeg2 : {false, true}) {
        StreamBuilder pack;
        mpeg2 ? pack.Mpeg2PackHeader(0x9ABCDEF1u) : pack.Mpeg1PackHeader(0x9ABCDEF1u);
        pack.Bytes({0x00, 0x00, 0x01, 0xE0, 0x00, 0x20, 0x00, 0x00, 0x01, 0x00, 0x00, 0x08 /* I */});
        std::vector<uint8_t> unit(kSectorModeUnitSize, 0xFF);
        kVideoSubheader.WriteTo(unit.data());
        std::memcpy(unit.data() + 8, pack.Data().data(), pack.Size());
        TrackUnitFacts facts = InspectTrackUnit(unit.data());
        EXPECT_TRUE(facts.video && facts.packHeadOk && facts.iPicture) << mpeg2;
        EXPECT_EQ(facts.clockReference, 0x9ABCDEF1u) << mpeg2;
        unit[8 + pack.Size() - 1] = 0x10;  // a P picture
        EXPECT_FALSE(InspectTrackUnit(unit.data()).iPicture);
        kAudioSubheader.WriteTo(unit.data());
        facts = InspectTrackUnit(unit.data());
        EXPECT_FALSE(facts.video || facts.iPicture);
        EXPECT_EQ(facts.clockReference, 0u);
    }
}

TEST(TrackWriter, SvcdTracksFollowTheirGapsAndFillDirectoryEntriesAndSearch) {
    TrackDisc disc(DiscKind::Svcd);
    const std::vector<uint8_t> units = PackedStream(disc.dir.Path(), DiscKind::Svcd);
    const std::string file = WriteUnits(disc.dir / "a.mps", units, 0, UnitCount(units));
    const uint32_t n = uint32_t(UnitCount(units));
    disc.AddTrack(file, Probed(file));
    disc.AddTrack(file, Probed(file));
    disc.Write();
    ASSERT_EQ(disc.result, 0) << disc.log.Last();
    EXPECT_TRUE(HasLine(disc.log, "Adding AVSEQ01.MPG from " + file));

    ImageReader reader;
    ASSERT_TRUE(reader.Open(disc.imagePath)) << reader.Error();
    ASSERT_EQ(reader.Tracks().size(), 3u);
    const uint32_t starts[2] = {300 + 152, 300 + 152 + n + 10 + 152};
    for (int i = 0; i < 2; ++i) {
        const ImageTrack& t = reader.Tracks()[i + 1];
        EXPECT_EQ(t.startSector, starts[i]);
        EXPECT_EQ(disc.tracks[i].startSector, starts[i]);
        EXPECT_EQ(t.record.sectorCount, n);
        ASSERT_EQ(t.runs.size(), 2u);  // the stored units, then 10 reserved
        EXPECT_EQ(t.runs[1].reservedEnd - t.runs[1].start, 10u * 2332);
        SectorContent sector;
        ASSERT_TRUE(reader.ReadSector(starts[i] + 5, sector));
        EXPECT_EQ(sector.subheader.file, i + 2);
        EXPECT_EQ(0, std::memcmp(sector.data.data(), UnitAt(units, 5) + 8, 2324));
        const auto dir = disc.ImageBytes(*disc.fs.trackDirPosition + 8 + 96 + 60 * i, 60);
        EXPECT_EQ(GetRecordExtent(dir.data()), starts[i]);
    }
    const EntriesRecord entries = disc.Entries();
    ASSERT_EQ(entries.entryCount, 2);
    EXPECT_EQ(entries.entries[1].sector, starts[1]);

    SearchRecord search;
    std::string error;
    ASSERT_TRUE(DecodeSearch(disc.ImageBytes(disc.fs.searchPosition + 8, 2048), search, error)) << error;
    const float total = float(disc.tracks[0].duration * 0.01) + float(disc.tracks[1].duration * 0.01);
    EXPECT_EQ(search.pointCount, 2 * uint32_t(total));
    for (size_t i = 1; i < search.points.size(); ++i) {
        EXPECT_GE(search.points[i], search.points[i - 1]);
        SectorContent sector;
        ASSERT_TRUE(reader.ReadSector(uint32_t(search.points[i]), sector));
        std::vector<uint8_t> unit(kSectorModeUnitSize);
        sector.subheader.WriteTo(unit.data());
        std::memcpy(unit.data() + 8, sector.data.data(), 2324);
        const bool trackStart = search.points[i] == starts[0] || search.points[i] == starts[1];
        EXPECT_TRUE(trackStart || InspectTrackUnit(unit.data()).iPicture) << search.points[i];
    }
}

TEST(TrackWriter, EntryPointsLandOnIntraUnitsAndPatchThePsd) {
    TrackDisc disc(DiscKind::Svcd);
    const std::vector<uint8_t> units = PackedStream(disc.dir.Path(), DiscKind::Svcd);
    const std::string file = WriteUnits(disc.dir / "a.mps", units, 0, UnitCount(units));
    TrackEntry& track = disc.AddTrack(file, Probed(file));
    track.entryPoints = {{150, 16}, {100000, 32}};
    disc.Write();
    EXPECT_EQ(disc.result, kEntryPointBeyondTrack);
    EXPECT_TRUE(HasLine(disc.log, "Entry 100000 seconds doesn't be used, Video total time is only "));

    const EntriesRecord entries = disc.Entries();
    ASSERT_EQ(entries.entryCount, 2);
    const size_t placed = size_t(entries.entries[1].sector - disc.tracks[0].startSector);
    for (size_t i = 1; i <= placed; ++i) {
        const TrackUnitFacts facts = InspectTrackUnit(UnitAt(units, i));
        const bool due = facts.video && facts.iPicture && facts.clockReference >= 135000;
        EXPECT_EQ(due, i == placed) << "unit " << i;
    }
    const auto psd = disc.ImageBytes(disc.fs.psdPosition + 8, 2048);
    EXPECT_EQ(GetBe16(&psd[16 + 14]), 101);
    EXPECT_EQ(psd[32 + 14], 0xAB);  // the unplaced entry point's list is left alone
}

TEST(TrackWriter, VideoCdTracksTakeFileNumberOneAndMpeg1Times) {
    TrackDisc disc(DiscKind::Vcd30);
    const std::vector<uint8_t> units = PackedStream(disc.dir.Path(), DiscKind::Vcd30);
    TrackEntry& track = disc.AddTrack(WriteUnits(disc.dir / "v.mps", units, 0, UnitCount(units)), 0);
    track.entryPoints = {{200, 0}};
    disc.Write();
    ASSERT_EQ(disc.result, 0);
    EXPECT_TRUE(HasLine(disc.log, "Adding MUSIC01.DAT from "));
    ImageReader reader;
    ASSERT_TRUE(reader.Open(disc.imagePath)) << reader.Error();
    SectorContent sector;
    ASSERT_TRUE(reader.ReadSector(452, sector));
    EXPECT_EQ(sector.subheader.file, 1);
    // An entry at 2 s of a 3 s stream lies well inside it, not at its start.
    const int64_t at = disc.Entries().entries.at(1).sector - 452;
    EXPECT_GT(at, int64_t(UnitCount(units) / 3));
    EXPECT_LT(at, int64_t(UnitCount(units)));
}

TEST(TrackWriter, StopsWithTheirResults) {
    struct Case {
        const char* name;
        int expected;
        const char* line;
    };
    for (const Case& c : {Case{"cancel", -1, ""}, Case{"head", 2000, "MPS error packet head!"},
                          Case{"full", 2000, "ENTRIES is full"}, Case{"name", 2000, "Name error!"},
                          Case{"limit", -1, "SVCD times may be over 70mins, or space over 645M"}}) {
        SCOPED_TRACE(c.name);
        TrackDisc disc(DiscKind::Svcd);
        std::vector<uint8_t> units = PackedStream(disc.dir.Path(), DiscKind::Svcd);
        size_t badUnit = 0;
        while (units[badUnit * kSectorModeUnitSize + 3] != kVideoCoding || badUnit < 20) ++badUnit;
        if (std::string(c.name) == "head") units[badUnit * kSectorModeUnitSize + 10] = 0x02;
        disc.AddTrack(WriteUnits(disc.dir / "a.mps", units, 0, 40), 160);
        CancelOnPoll sink(30);
        ProgressWindow window(&sink);
        if (std::string(c.name) == "cancel") disc.ctx.progress = &window;
        if (std::string(c.name) == "full") {
            disc.entriesWork.assign(2048, 0);
            PutBe16(&disc.entriesWork[10], uint16_t(entries_layout::kMaxEntries));
        }
        if (std::string(c.name) == "name") disc.recordNames = {"AVSXQ01.MPG;1"};
        if (std::string(c.name) == "limit") disc.sectorBeforeTracks = kMaxTrackSector - 152 - 20;
        disc.Write();
        EXPECT_EQ(disc.result, c.expected);
        if (*c.line) {
            EXPECT_TRUE(HasLine(disc.log, c.line));
        }
        if (std::string(c.name) == "head") {
            const auto dumped = ReadBytes(disc.dir / "error.log");
            ASSERT_EQ(dumped.size(), kSectorModeUnitSize);
            EXPECT_EQ(0, std::memcmp(dumped.data(), UnitAt(units, badUnit), kSectorModeUnitSize));
        }
    }
}

TEST(TrackWriter, ThirtyThirdRecordOpensTheFolderSecondUnit) {
    TrackDisc disc(DiscKind::Svcd);
    const std::vector<uint8_t> units = PackedStream(disc.dir.Path(), DiscKind::Svcd);
    const std::string file = WriteUnits(disc.dir / "short.mps", units, 0, 3);
    for (int i = 0; i < 34; ++i) disc.AddTrack(file, 10);
    disc.Write();
    ASSERT_EQ(disc.result, 0);
    EXPECT_EQ(disc.Entries().entryCount, 34);
    for (int i : {31, 32, 33}) {
        const size_t at = i < 32 ? 96 + 60 * size_t(i) : 2056 + 60 * size_t(i - 32);
        const auto record = disc.ImageBytes(*disc.fs.trackDirPosition + 8 + at, 60);
        EXPECT_EQ(GetRecordExtent(record.data()), disc.tracks[size_t(i)].startSector) << i;
    }
}

TEST(TrackWriter, CvdTableAndSuperVcdScanData) {
    for (const DiscKind kind : {DiscKind::Cvd, DiscKind::SuperVcd}) {
        TrackDisc disc(kind);
        const std::vector<uint8_t> units = PackedStream(disc.dir.Path(), DiscKind::Svcd);
        const std::string file = WriteUnits(disc.dir / "a.mps", units, 0, UnitCount(units));
        disc.AddTrack(file, Probed(file));
        disc.AddTrack(file, Probed(file));
        disc.Write();
        ASSERT_EQ(disc.result, 0);
        const auto scandata = disc.ImageBytes(disc.fs.scanDataPosition + 8, 2048);
        ScanDataRecord record;
        std::string error;
        ASSERT_TRUE(DecodeScanData(scandata, ScanDataForm::Disc, record, error)) << error;
        EXPECT_EQ(record.trackCount, 2);
        EXPECT_EQ(record.pointCount, disc.scan.scanPointCount);
        EXPECT_EQ(record.pointCount, 2 * uint32_t(float(disc.TotalTime()) / 100));
        ASSERT_FALSE(record.scanPoints.empty());
        EXPECT_EQ(record.scanPoints.front(), disc.tracks[0].startSector);
        if (kind != DiscKind::Cvd) continue;
        const auto table = disc.ImageBytes(disc.image.SystemAreaOffset() + 8, 42);
        EXPECT_EQ(GetBe16(&table[10]), 7);
        EXPECT_EQ(table[38], 2);  // the second track: its number - 1
        EXPECT_EQ(MsfBcdToSector(&table[39]), disc.tracks[1].startSector);
    }
}

}  // namespace
}  // namespace qorvcd
