// The two writers of MPEG sectors (video tracks, segment items) on a real
// packed stream, each after a hand-made start of track 1.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>

#include "assembly/segment_writer.h"
#include "assembly/track_unit.h"
#include "assembly/video_track_writer.h"
#include "content/psd_compiler.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_file_names.h"
#include "infofiles/scan_data.h"
#include "infofiles/search_record.h"
#include "iso9660/directory_record.h"
#include "iso9660/file_system_state.h"
#include "iso9660/track_file_record.h"
#include "platform/bytes.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/scripted_progress.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using namespace test;

// A 3-second PAL stream packed into 2336-byte units (VCD for Vcd30, else SVCD).
std::vector<uint8_t> PackedUnits(const std::string& folder, DiscKind kind) {
    const bool vcd = kind == DiscKind::Vcd30;
    return ReadBytes(PackInto(folder, vcd ? PalVcdStream() : PalSvcdStereoStream(), vcd ? kind : DiscKind::Svcd));
}
size_t UnitCount(const std::vector<uint8_t>& units) { return units.size() / kSectorModeUnitSize; }
const uint8_t* UnitAt(const std::vector<uint8_t>& units, size_t i) { return units.data() + i * kSectorModeUnitSize; }
std::string WriteUnits(const std::string& path, const std::vector<uint8_t>& units, size_t count) {
    WriteBytes(path, std::vector<uint8_t>(units.begin(), units.begin() + long(count * kSectorModeUnitSize)));
    return path;
}
bool HasLine(const LogList& log, const std::string& text) {
    return std::any_of(log.Lines().begin(), log.Lines().end(), [&](const auto& l) { return l.find(text) != l.npos; });
}

// What both writers' discs share: the work folder, the packed stream, the image.
struct WriterDisc {
    TempDir dir;
    LogList log;
    BuildContext ctx;
    ImageContainer image;
    FileSystemState fs;
    ScanDataState scan;
    std::vector<uint8_t> units;
    int result = 0;
    std::string imagePath = dir / "disc.img";
    ImageReader reader;  // opened on the finished image

    explicit WriterDisc(DiscKind kind) : units(PackedUnits(dir.Path(), kind)) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
    }
    bool StartImage() {
        if (!image.CreateImage(imagePath) || !image.CreateTail(dir / "tail.tmp")) return false;
        image.SetDiscKind(ctx.kind);
        image.BeginTail();
        image.BeginImage();
        return true;
    }
    void FinishImage() {
        image.FinishImage();
        image.Close();
        EXPECT_TRUE(reader.Open(imagePath)) << reader.Error();
    }
    SectorContent Sector(uint32_t n) {
        SectorContent content;
        EXPECT_TRUE(reader.ReadSector(n, content)) << n;
        return content;
    }
    bool SameAsFileUnit(uint32_t sector, size_t unit) {
        const SectorContent content = Sector(sector);
        return content.state == SectorState::Stored &&
               std::memcmp(content.data.data(), UnitAt(units, unit) + 8, kForm2DataSize) == 0;
    }
};

// Track 1 holds the system area, the track folder's directory (two units),
// ENTRIES, the PSD, SEARCH.DAT and SCANDATA as the kind needs; then the tracks.
struct TrackDisc : WriterDisc {
    std::vector<TrackEntry> tracks;
    std::vector<std::string> recordNames;  // the folder's records; default: one per track
    std::vector<uint8_t> entriesWork, psd = std::vector<uint8_t>(3000, 0xAB);
    uint32_t sectorBeforeTracks = 0;  // 0: track 1 ends at 300

    using WriterDisc::WriterDisc;

    TrackEntry& AddTrack(size_t unitCount, uint32_t duration = 0) {
        TrackEntry t;
        t.number = uint32_t(2 + tracks.size());
        t.id = Format("%s%02zu", TrackIdPrefix(ctx.kind), tracks.size() + 1);
        t.fileName = t.path = WriteUnits(dir / Format("t%zu.mps", tracks.size()), units, unitCount);
        MpegStreamInfo info;  // a probed playing time unless one is given
        ResetStreamInfo(info);
        EXPECT_TRUE(duration || ProbeMpegFile(info, t.path, nullptr, nullptr) == kOk);
        t.duration = duration ? duration : uint32_t(PlayingTime(info));
        return tracks.emplace_back(t);
    }

    void Write() {
        const InfoFileNames& names = InfoFileNamesOf(ctx.kind);
        if (entriesWork.empty()) {
            const auto header = EncodeEntriesHeader(std::span<const char, 8>(names.entriesId, 8), 1);
            entriesWork.assign(header.begin(), header.end());
        }
        WriteBytes(dir / names.entriesWorkFile, entriesWork);
        WriteBytes(dir / PsdFileName(ctx.kind), psd);
        image.SetVideoTrackCount(uint16_t(tracks.size()));
        ASSERT_TRUE(StartImage());
        uint32_t sector = kSystemAreaSectors;
        fs.trackDirPosition = image.ImagePosition();
        sector += AppendUnits(DirectoryUnits());
        fs.entriesPosition = image.ImagePosition();
        sector += AppendUnits(std::vector<uint8_t>(2048));
        fs.psdPosition = image.ImagePosition();
        sector += AppendUnits(psd);
        if (IsSvcdFamily(ctx.kind)) {
            SearchRecord header;
            header.timeInterval = 1;
            std::vector<uint8_t> search = header.Encode();
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
        result = WriteVideoTracks(image, ctx, tracks, fs, scan.IsOpen() ? &scan : nullptr);
        if (result == 0 || result == kEntryPointBeyondTrack) FinishImage();
    }

    uint32_t TotalTime() const {
        return std::accumulate(tracks.begin(), tracks.end(), 0u, [](uint32_t n, const auto& t) { return n + t.duration; });
    }

    uint32_t AppendUnits(std::vector<uint8_t> bytes) {
        bytes.resize((bytes.size() + 2047) / 2048 * 2048);
        for (size_t at = 0; at < bytes.size(); at += 2048) image.AppendForm1Unit(kDataSubheader, &bytes[at]);
        return uint32_t(bytes.size() / 2048);
    }

    std::vector<uint8_t> DirectoryUnits() const {
        std::vector<std::string> names = recordNames;
        for (size_t i = names.size(); i < tracks.size(); ++i)
            names.push_back(Format("%s%02zu.%s;1", TrackIdPrefix(ctx.kind), i + 1, ctx.kind == DiscKind::Vcd30 ? "DAT" : "MPG"));
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

    // SCANDATA as the steps before the layout leave it, the tracks' entries reserved.
    uint32_t PrepareScanData() {
        EXPECT_TRUE(CreateScanData(scan, ctx));
        std::vector<uint32_t> durations;
        for (const TrackEntry& t : tracks) durations.push_back(t.duration);
        std::string error;
        EXPECT_TRUE(WriteScanTrackTimes(scan, durations, error)) << error;
        SegmentList none;
        fs.segmentSectors = 0;
        EXPECT_EQ(WriteSegmentItems(image, ctx, none, fs, &scan), kOk);
        scan.scanDataFile.Close();
        fs.scanDataPosition = image.ImagePosition();
        const uint32_t count = AppendUnits(ReadBytes(dir / kScanDataWorkFile));
        EXPECT_TRUE(scan.scanDataFile.Open(dir / kScanDataWorkFile, FileMode::ReadWrite));
        scan.scanDataFile.SeekToEnd();
        return count;
    }

    std::vector<uint8_t> ImageBytes(uint64_t offset, size_t size) const {
        const std::vector<uint8_t> all = ReadBytes(imagePath);
        return std::vector<uint8_t>(all.begin() + long(offset), all.begin() + long(offset + size));
    }
    EntriesRecord Entries() const {
        std::string error;
        const std::optional<EntriesRecord> record = EntriesRecord::Decode(ImageBytes(fs.entriesPosition + 8, 2048), &error);
        EXPECT_TRUE(record) << error;
        return record.value_or(EntriesRecord());
    }
};

TEST(TrackWriter, TracksFollowTheirGapsAndFillTheKindsTables) {
    for (const DiscKind kind : {DiscKind::Svcd, DiscKind::Vcd30, DiscKind::Cvd, DiscKind::SuperVcd}) {
        SCOPED_TRACE(int(kind));
        TrackDisc disc(kind);
        const uint32_t n = uint32_t(UnitCount(disc.units));
        disc.AddTrack(n);
        disc.AddTrack(n);
        disc.Write();
        ASSERT_EQ(disc.result, 0) << disc.log.Last();
        ASSERT_EQ(disc.reader.Tracks().size(), 3u);
        const uint32_t starts[2] = {300 + 152, 300 + 152 + n + 10 + 152};
        for (unsigned i = 0; i < 2; ++i) {
            const ImageTrack& t = disc.reader.Tracks()[i + 1];
            EXPECT_EQ(t.startSector, starts[i]);
            EXPECT_EQ(t.record.sectorCount, n);
            ASSERT_EQ(t.runs.size(), 2u);  // the stored units, then 10 reserved
            EXPECT_EQ(t.runs[1].reservedEnd - t.runs[1].start, 10u * 2332);
            EXPECT_TRUE(disc.SameAsFileUnit(starts[i] + 5, 5));
            EXPECT_EQ(disc.Sector(starts[i]).subheader.file, kind == DiscKind::Vcd30 ? i + 1 : i + 2);
        }
        EXPECT_EQ(disc.Entries().entries.at(1).sector, starts[1]);
        std::string error;
        if (IsSvcdFamily(kind)) {  // search points: the track starts, else intra pictures
            const std::optional<SearchRecord> decoded = SearchRecord::Decode(disc.ImageBytes(disc.fs.searchPosition + 8, 2048), &error);
            ASSERT_TRUE(decoded) << error;
            const SearchRecord& search = *decoded;
            EXPECT_EQ(search.pointCount, 2 * uint32_t(float(disc.tracks[0].duration * 0.01) * 2));
            for (size_t i = 1; i < search.points.size(); ++i) {
                EXPECT_GE(search.points[i], search.points[i - 1]);
                const uint32_t unit = uint32_t(search.points[i]) - (search.points[i] >= starts[1] ? starts[1] : starts[0]);
                EXPECT_TRUE(unit == 0 || InspectTrackUnit(UnitAt(disc.units, unit)).iPicture) << search.points[i];
            }
        }
        if (HasScanData(kind)) {
            const std::optional<ScanDataRecord> decoded =
                ScanDataRecord::Decode(disc.ImageBytes(disc.fs.scanDataPosition + 8, 2048), ScanDataForm::Disc, &error);
            ASSERT_TRUE(decoded) << error;
            const ScanDataRecord& record = *decoded;
            EXPECT_EQ(record.trackCount, 2);
            EXPECT_EQ(record.pointCount, disc.scan.scanPointCount);
            EXPECT_EQ(record.pointCount, 2 * uint32_t(float(disc.TotalTime()) / 100));
            EXPECT_EQ(record.scanPoints.at(0), starts[0]);
        }
        if (kind == DiscKind::Cvd) {
            const auto table = disc.ImageBytes(disc.image.SystemAreaOffset() + 8, 42);
            EXPECT_EQ(GetBe16(&table[10]), 7);
            EXPECT_EQ(table[38], 2);  // the second track: its number - 1
            EXPECT_EQ(MsfBcdToSector(&table[39]), starts[1]);
        }
    }
}

TEST(TrackWriter, EntryPointsLandOnTheFirstIntraUnitDueAndPatchThePsd) {
    TrackDisc disc(DiscKind::Svcd);
    disc.AddTrack(UnitCount(disc.units)).entryPoints = {{150, 16}, {100000, 32}};
    disc.Write();
    EXPECT_EQ(disc.result, kEntryPointBeyondTrack);
    EXPECT_TRUE(HasLine(disc.log, "Entry 100000 seconds doesn't be used, Video total time is only "));
    const EntriesRecord entries = disc.Entries();
    ASSERT_EQ(entries.entryCount, 2);
    const size_t placed = size_t(entries.entries[1].sector - disc.tracks[0].startSector);
    for (size_t i = 1; i <= placed; ++i) {
        const TrackUnitFacts facts = InspectTrackUnit(UnitAt(disc.units, i));
        EXPECT_EQ(facts.video && facts.iPicture && facts.clockReference >= 135000, i == placed) << "unit " << i;
    }
    const auto psd = disc.ImageBytes(disc.fs.psdPosition + 8, 2048);
    EXPECT_EQ(GetBe16(&psd[16 + 14]), 101);
    EXPECT_EQ(psd[32 + 14], 0xAB);  // the unplaced entry point's list is left alone
}

TEST(TrackWriter, StopsWithTheirResults) {
    const struct { std::string name; int expected; const char* line; } cases[] = {
        {"cancel", -1, ""}, {"head", 2000, "MPS error packet head!"}, {"full", 2000, "ENTRIES is full"},
        {"name", 2000, "Name error!"}, {"limit", 2000, "SVCD times may be over 70mins, or space over 645M"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrackDisc disc(DiscKind::Svcd);
        size_t bad = 20;  // a video unit after the first few
        while (disc.units[bad * kSectorModeUnitSize + 3] != kVideoCoding) ++bad;
        if (c.name == "head") disc.units[bad * kSectorModeUnitSize + 10] = 0x02;
        disc.AddTrack(40, 160);
        ScriptedProgress window([](int look) { return look == 30; });
        if (c.name == "cancel") disc.ctx.progress = &window;
        if (c.name == "full") {
            disc.entriesWork.assign(2048, 0);
            PutBe16(&disc.entriesWork[10], uint16_t(entries_layout::kMaxEntries));
        }
        if (c.name == "name") disc.recordNames = {"AVSXQ01.MPG;1"};
        if (c.name == "limit") disc.sectorBeforeTracks = kMaxTrackSector - 152 - 20;
        disc.Write();
        EXPECT_EQ(disc.result, c.expected);
        EXPECT_TRUE(!*c.line || HasLine(disc.log, c.line));
        if (c.name == "head") {  // the faulty unit is dumped for the author
            const auto dumped = ReadBytes(disc.dir / "error.log");
            ASSERT_EQ(dumped.size(), kSectorModeUnitSize);
            EXPECT_EQ(0, std::memcmp(dumped.data(), UnitAt(disc.units, bad), kSectorModeUnitSize));
        }
    }
}

TEST(TrackWriter, ThirtyThirdRecordOpensTheFolderSecondUnit) {
    TrackDisc disc(DiscKind::Svcd);
    for (int i = 0; i < 34; ++i) disc.AddTrack(3, 10);
    disc.Write();
    ASSERT_EQ(disc.result, 0);
    EXPECT_EQ(disc.Entries().entryCount, 34);
    for (int i : {0, 31, 32, 33}) {
        const size_t at = i < 32 ? 96 + 60 * size_t(i) : 2056 + 60 * size_t(i - 32);
        const auto record = disc.ImageBytes(*disc.fs.trackDirPosition + 8 + at, 60);
        EXPECT_EQ(GetRecordExtent(record.data()), disc.tracks[size_t(i)].startSector) << i;
    }
}

// Track 1 up to the segment area (system area, reserved up to 300), the items,
// and 10 reserved sectors.
struct SegmentDisc : WriterDisc {
    SegmentList segments;
    uint32_t nextNumber = kFirstSegmentItemNumber, endSector = 0;

    explicit SegmentDisc(DiscKind kind = DiscKind::Svcd) : WriterDisc(kind) {}

    std::string AddItem(size_t unitCount, SegmentOrigin origin = SegmentOrigin::AuthorFile) {
        SegmentItem item;
        item.number = nextNumber;
        item.id = Format("S%03zu", segments.Count());
        item.fileName = WriteUnits(dir / (item.id + ".mps"), units, unitCount);
        item.origin = origin;
        item.segmentCount = SegmentCountOf(unitCount * kSectorModeUnitSize);
        nextNumber += item.segmentCount;
        fs.segmentSectors += item.segmentCount * 150;
        segments.Insert(item);
        return item.fileName;
    }

    void Write() {
        ASSERT_TRUE(StartImage());
        image.SetSectorCounter(kSystemAreaSectors);
        image.ReserveSectors(300 - kSystemAreaSectors);
        image.SetSectorCounter(300);
        result = WriteSegmentItems(image, ctx, segments, fs, scan.IsOpen() ? &scan : nullptr);
        endSector = image.SectorCounter();
        image.CloseStoredRun();
        image.CloseDataTrack(endSector + 10);
        FinishImage();
    }
};

TEST(SegmentWriter, ItemsTakeWholeSegmentsAndTheLastEndsWithAnEndUnit) {
    constexpr int kReserved = -1, kEmpty = -2, kEnd = -3;  // else: the item file's unit of that number
    const struct {
        std::vector<size_t> items;  // units per item
        uint32_t endSector;
        std::vector<std::pair<uint32_t, int>> sectors;
    } cases[] = {
        {{10, 200}, 651, {{309, 9}, {310, kReserved}, {450, 0}, {649, 199}, {650, kEnd}}},  // few: filler reserved
        {{100}, 450, {{399, 99}, {448, kEmpty}, {449, kEnd}}},  // a short last item is filled to one segment
        {std::vector<size_t>(kStoredFillerItemCount, 2), 300 + 150 * kStoredFillerItemCount,  // many: filler stored
         {{300 + 49 * 150 + 1, 1}, {300 + 3 * 150 + 2, kEmpty}, {300 + 50 * 150 - 1, kEnd}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.items.size());
        SegmentDisc disc;
        for (size_t units : c.items) disc.AddItem(units);
        disc.Write();
        ASSERT_EQ(disc.result, 0) << disc.log.Last();
        EXPECT_EQ(disc.endSector, c.endSector);
        EXPECT_EQ(disc.segments.Count(), 0u);
        for (const auto& [sector, unit] : c.sectors) {
            const SectorContent content = disc.Sector(sector);
            const bool zeros = std::count(content.data.begin(), content.data.end(), 0) == long(kForm2DataSize);
            switch (unit) {
                case kReserved: EXPECT_EQ(content.state, SectorState::Reserved) << sector; break;
                case kEmpty: EXPECT_TRUE(content.subheader == kEmptyForm2Subheader && zeros) << sector; break;
                case kEnd: EXPECT_EQ(content.subheader, (Subheader{0x01, 0x00, 0xE0, 0x00})) << sector; break;
                default: EXPECT_TRUE(disc.SameAsFileUnit(sector, size_t(unit))) << sector;
            }
        }
    }
}

TEST(SegmentWriter, FeedsScanDataAndReservesTheTracksEntries) {
    SegmentDisc disc(DiscKind::Cvd);
    std::string error;
    const uint32_t durations[] = {1000};  // 10 s: 40 scan points
    ASSERT_TRUE(CreateScanData(disc.scan, disc.ctx) && WriteScanTrackTimes(disc.scan, durations, error)) << error;
    for (int i = 0; i < 3; ++i) disc.AddItem(2), AppendScanIndex(disc.scan);
    disc.Write();
    ASSERT_EQ(disc.result, 0);
    disc.scan.scanDataFile.Close();
    const std::vector<uint8_t> work = ReadBytes(disc.dir / "scandata.dat");
    const size_t slot = 16 + 3 + 3 * 2 + 2 + 3 * 3;  // header, track, the scan index and the items' starts
    ASSERT_EQ(work.size(), slot + 40 * 3);
    EXPECT_EQ(disc.scan.scanDataTrackSlot, slot);
    EXPECT_EQ(GetLe16(&work[14]), 3);
    EXPECT_EQ(GetBe16(&work[slot - 11]), 9);  // the scan index after the items
    for (int i = 0; i < 3; ++i) EXPECT_EQ(MsfBcdToSector(&work[slot - 9 + 3 * i]), 300 + 150 * i);
    EXPECT_EQ(std::count(work.begin() + long(slot), work.end(), 0), 120);
}

TEST(SegmentWriter, MissingItemFailsAndConvertedItemsAreDeleted) {
    SegmentDisc disc;
    disc.AddItem(2);
    const std::string converted = disc.AddItem(2, SegmentOrigin::Converted);
    disc.Write();
    EXPECT_EQ(disc.result, 0);
    EXPECT_EQ(disc.log.Lines().at(1), "Adding ITEM0002.MPG from " + converted);
    EXPECT_FALSE(FileExists(converted));

    SegmentDisc broken;
    File::Remove(broken.AddItem(2));
    broken.Write();
    EXPECT_EQ(broken.result, kStepFailed);
    EXPECT_NE(broken.log.Last().find("Can't open"), std::string::npos);
}

// What happens to an input file after the step that checked it.
enum class Change { None, Touched, Grown, CutWhileCopied, GrownWhileCopied, Damaged };


void Touch(const std::string& path) {
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
}
void Resize(const std::string& path, size_t units) { std::filesystem::resize_file(path, units * kSectorModeUnitSize); }

// Either writer copies an input only while it is what was checked, and never
// a unit whose subheader copies disagree: the build fails with a line naming it.
TEST(MpegWriters, ChangedOrDamagedInputsFailTheBuild) {
    constexpr size_t kUnits = 40, kDamagedUnit = 5;
    const struct { Change change; std::string line; } cases[] = {
        {Change::None, ""},
        {Change::Touched, " changed during the build"},
        {Change::Grown, " changed during the build"},
        {Change::CutWhileCopied, " changed during the build"},
        {Change::GrownWhileCopied, " changed during the build"},
        {Change::Damaged, Format(" is damaged: the two subheader copies of the sector at byte %zu differ",
                                 kDamagedUnit * kSectorModeUnitSize)}};
    for (const auto& c : cases) {
        for (const bool track : {true, false}) {
            SCOPED_TRACE(Format("change %d, %s", int(c.change), track ? "track" : "segment"));
            TrackDisc trackDisc(DiscKind::Svcd);
            SegmentDisc segmentDisc;
            WriterDisc& disc = track ? static_cast<WriterDisc&>(trackDisc) : segmentDisc;
            const std::string path = track ? trackDisc.AddTrack(kUnits, 160).path : segmentDisc.AddItem(kUnits);
            if (c.change == Change::Damaged) {  // the file number copy: the track writer sets both later
                std::vector<uint8_t> bytes = ReadBytes(path);
                bytes[kDamagedUnit * kSectorModeUnitSize + 4] ^= 0x40;
                WriteBytes(path, bytes);
            }
            const std::optional<FileIdentity> stamp = IdentifyFile(path);
            if (track) trackDisc.tracks[0].probedStamp = stamp;
            else segmentDisc.segments.Items()[0].measuredStamp = stamp;
            if (c.change == Change::Touched) Touch(path);
            if (c.change == Change::Grown) Resize(path, kUnits + 1);
            // The file changes at the writer's tenth look at the progress window.
            ScriptedProgress window([&](int look) {
                if (look == 10) Resize(path, c.change == Change::CutWhileCopied ? 5 : kUnits + 1);
                return false;
            });
            if (c.change == Change::CutWhileCopied || c.change == Change::GrownWhileCopied) disc.ctx.progress = &window;
            if (track) trackDisc.Write();
            else segmentDisc.Write();
            EXPECT_EQ(disc.result, c.line.empty() ? 0 : 2000) << disc.log.Last();
            const std::string shown = track ? trackDisc.tracks[0].fileName : path;
            EXPECT_TRUE(c.line.empty() || HasLine(disc.log, "Error: " + shown + c.line)) << disc.log.Last();
        }
    }
}

// A write that fails for want of space says so, with the path and the
// system's reason, and fails the build rather than passing for a Cancel.
TEST(SegmentWriter, AFullDiskFailsWithTheSystemsReason) {
    if (!File::Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    SegmentDisc disc;
    disc.AddItem(100);  // more than the image file's buffer holds
    disc.imagePath = "/dev/full";
    ASSERT_TRUE(disc.StartImage());
    disc.image.SetSectorCounter(300);
    EXPECT_EQ(WriteSegmentItems(disc.image, disc.ctx, disc.segments, disc.fs, nullptr), kStepFailed);
    EXPECT_TRUE(HasLine(disc.log, "/dev/full: No space left on device")) << disc.log.Last();
}

// A standard build ends every item with the end-of-file bit and codes a
// still's video units as a still of its resolution; nothing else of a unit
// changes. The default leaves every unit as the file has it. (Tracks and the
// other files are checked on whole discs.)
TEST(StandardUnits, ItemsEndTheirFilesAndStillsCarryTheirResolution) {
    const auto videoUnits = [](const std::vector<uint8_t>& units, size_t count) {
        size_t n = 0;
        for (size_t i = 0; i < count; ++i) n += UnitAt(units, i)[3] == kVideoCoding ? 1 : 0;
        return n;
    };
    for (const bool standard : {false, true}) {
        SCOPED_TRACE(standard);
        SegmentDisc disc;  // SVCD: the script's codes say what each item is
        disc.ctx.standard = standard;
        const int videoCodes[] = {0x14, 0x18, 0x1C};  // PAL still, high-resolution still, motion
        for (size_t i = 0; i < 3; ++i) {
            disc.AddItem(12);
            disc.segments.Items()[i].videoCode = videoCodes[i];
        }
        ASSERT_GT(videoUnits(disc.units, 12), 0u);
        disc.Write();
        ASSERT_EQ(disc.result, 0) << disc.log.Last();
        for (uint32_t item = 0; item < 3; ++item) {
            for (uint32_t unit = 0; unit < 12; ++unit) {
                const uint32_t sector = 300 + 150 * item + unit;
                const Subheader read = Subheader::ReadFrom(UnitAt(disc.units, unit));
                Subheader expected = read;
                if (standard && unit == 11) expected.submode |= kSubmodeEndOfFile;
                if (standard && item < 2 && read.coding == kVideoCoding && read.channel == 1) {
                    expected.channel = item == 0 ? 2 : 3;
                    expected.coding = item == 0 ? 0x1F : 0x3F;
                }
                EXPECT_EQ(disc.Sector(sector).subheader, expected) << sector;
                EXPECT_TRUE(disc.SameAsFileUnit(sector, unit)) << sector;
            }
        }
    }
}

}  // namespace
}  // namespace qorvcd
