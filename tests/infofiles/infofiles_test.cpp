// The information files: INFO and ENTRIES through the public step, TRACKS.SVD,
// SEARCH.SVD and SCANDATA.DAT; golden bytes, limits, errors and damaged input.
#include <gtest/gtest.h>

#include <cstring>

#include "content/pbc_script.h"
#include "content/segment_items.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "infofiles/entries_record.h"
#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "infofiles/info_record.h"
#include "infofiles/scan_data.h"
#include "infofiles/search_record.h"
#include "infofiles/tracks_record.h"
#include "platform/log_list.h"
#include "script/script_reader.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using Bytes = std::vector<uint8_t>;

TrackEntry MakeTrack(const std::string& id, uint32_t hundredths, int32_t standard, uint32_t audio = 0, uint32_t ogt = 0) {
    TrackEntry t;
    t.id = id;
    t.duration = hundredths;
    t.videoStandard = standard;
    t.audioInfo = audio;
    t.ogtInfo = ogt;
    return t;
}

SegmentItem MakeItem(const std::string& id, uint32_t segments, int32_t audio = 0, int32_t video = 0, int32_t ogt = 0) {
    SegmentItem s;
    s.id = id;
    s.segmentCount = segments;
    s.audioCode = audio;
    s.videoCode = video;
    s.ogtCode = ogt;
    return s;
}

struct ContextFixture {
    explicit ContextFixture(DiscKind kind) {
        ctx.log = &log;
        ctx.kind = kind;
        ctx.workFolder = dir.Path();
        ctx.showMessage = [this](const std::string& m) { messages.push_back(m); };
    }
    test::TempDir dir;
    LogList log;
    std::vector<std::string> messages;
    BuildContext ctx;
};

Bytes Slice(const Bytes& b, size_t at, size_t n) { return at + n > b.size() ? Bytes() : Bytes(b.begin() + at, b.begin() + at + n); }
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct InfoRun {
    int result = -99;
    Bytes info, entries;
};

// Writes INFO and ENTRIES for `script` (PSD size 0x1234, 7 LOT entries) and reads them back.
InfoRun WriteInfo(ContextFixture& f, const std::string& script, const TrackList* tracks = nullptr,
                  const SegmentList* segments = nullptr) {
    test::WriteText(f.dir / "disc.scr", script);
    ScriptReader reader(f.ctx.showMessage);
    EXPECT_TRUE(reader.OpenScript(f.dir / "disc.scr"));
    InfoFilesInput input{tracks, segments, {}, 0x1234, 7, nullptr};
    const InfoFileNames& names = InfoFileNamesOf(f.ctx.kind);
    std::memcpy(input.entryId.data(), names.entriesId, 8);
    InfoRun run;
    run.result = WriteInfoAndEntries(reader, f.ctx, input);
    run.info = test::ReadBytes(f.dir / names.infoWorkFile);
    run.entries = test::ReadBytes(f.dir / names.entriesWorkFile);
    return run;
}

// Album keys as written, a PAL bit per track in list order, PSD size, LOT count, segment content.
TEST(InfoFile, GoldenRecord) {
    ContextFixture f(DiscKind::Svcd);
    TrackList tracks;
    for (int i = 0; i < 10; ++i) tracks.Insert(MakeTrack("AVSEQ0" + std::to_string(i), 100, i == 0 || i == 8));
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 3, 6, 4));
    const InfoRun run = WriteInfo(f, "[VCD]\r\nMODE = SVCD\r\nALBUM = \"Summer Holidays 2024\"\r\nVERSION = 2.0\r\n"
                                     "VOLUME = 1\r\nANZVOL = 2\r\n[TRACK]\r\nALBUM = Ignored\r\n", &tracks, &segments);
    Bytes expected{'S', 'U', 'P', 'E', 'R', 'V', 'C', 'D', 0x02, 0x00, 'S', 'u', 'm', 'm', 'e', 'r',
                                             ' ', 'H', 'o', 'l', 'i', 'd', 'a', 'y', 's', ' ', 0x00, 0x01, 0x00, 0x02, 0x01, 0x01,
                                             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34,
                                             0x00, 0x06, 0x00, 0x08, 0x00, 0x07, 0x00, 0x03, 0x86, 0xA6, 0xA6};
    expected.resize(2048, 0);
    EXPECT_EQ(std::tuple(run.result, run.info), std::tuple(0, expected));
}

TEST(InfoFile, KindsVersionsAndSegmentFlags) {
    const std::tuple<DiscKind, const char*, const char*, uint8_t> kinds[] = {
        {DiscKind::Vcd30, "VIDEO_CD", "ENTRYVCD", 2}, {DiscKind::Svcd, "SUPERVCD", "ENTRYSVD", 1},
        {DiscKind::Cvd, "HQ-VCD  ", "ENTRYVCD", 1}, {DiscKind::SuperVcd, "SUPERVCD", "ENTRYVCD", 1}};
    for (const auto& [kind, systemId, entriesId, version] : kinds) {
        ContextFixture f(kind);
        const InfoRun run = WriteInfo(f, "[VCD]\r\n");
        EXPECT_EQ(Slice(run.info, 0, 30), Text(std::string(systemId) + std::string(22, '\0')));  // no keys: zeros
        EXPECT_EQ(run.entries, Text(entriesId + std::string(1, char(version)) + std::string(2039, '\0'))) << systemId;
    }
    for (const auto& [version, bytes] : {std::pair<const char*, Bytes>{"1.1", {1, 1}}, {"3.15", {3, 15}}, {"x", {0, 0}}}) {
        ContextFixture g(DiscKind::Vcd30);
        EXPECT_EQ(Slice(WriteInfo(g, std::string("[VCD]\nVERSION=") + version + "\n").info, 8, 2), bytes) << version;
    }
    TrackList unknown;  // standard 2 is not PAL
    unknown.Insert(MakeTrack("AVSEQ01", 100, 2));
    unknown.Insert(MakeTrack("AVSEQ02", 100, 1));
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 1, 0x101, 1));  // audio code above 255: its low byte counts
    segments.Insert(MakeItem("SEG02", 1, 1, 1, 2));   // with an OGT stream
    ContextFixture svcd(DiscKind::SuperVcd), vcd(DiscKind::Vcd30);
    const InfoRun flagged = WriteInfo(svcd, "[VCD]\r\n", &unknown, &segments);
    EXPECT_EQ(std::tuple(flagged.info[30], flagged.info[56], flagged.info[57], flagged.info[2036]),
              std::tuple(0x02, 0x02, 0x02, 0x03));
    const InfoRun plain = WriteInfo(vcd, "[VCD]\r\n", nullptr, &segments);
    EXPECT_EQ(std::tuple(plain.info[56], plain.info[57], plain.info[2036]), std::tuple(0x14, 0x14, 0));
    EXPECT_EQ(SegmentContentByte(14, 0x50), 0x12);  // 0xC2 + 0x50 wraps at 256
}

TEST(InfoFile, FailuresStopTheStepWithTheirMessage) {
    TrackList tracks;
    tracks.Insert(MakeTrack("AVSEQ01", 100, 1));
    ContextFixture none(DiscKind::Svcd);
    const InfoRun run = WriteInfo(none, "[TRACK]\r\n", &tracks);
    EXPECT_EQ(std::tuple(run.result, none.log.Last(), run.entries.size()),
              std::tuple(kStepFailed, "Error 2000: VCD section doesn't be found", size_t(2048)));
    EXPECT_EQ(run.info, Text("SUPERVCD" + std::string(2040, '\0')));  // the system ID alone
    for (const char* key : {"ALBUM", "VERSION", "VOLUME", "ANZVOL"}) {
        ContextFixture f(DiscKind::Svcd);
        const InfoRun bad = WriteInfo(f, std::string("[VCD]\r\nVOLUME = 3\r\n") + key + " 4\r\n", &tracks);
        EXPECT_EQ(std::tuple(bad.result, f.messages, bad.info[27], bad.info[30]),
                  std::tuple(kStepFailed, std::vector<std::string>{std::string("Find <") + key + "> error"}, 3, 0));
    }
    for (const char* line : {"VERSION = 256", "VERSION = 1.300", "VOLUME = 65536", "ANZVOL = -1"}) {
        ContextFixture f(DiscKind::Svcd);
        EXPECT_TRUE(WriteInfo(f, std::string("[VCD]\r\n") + line + "\r\n").result == kStepFailed &&
                    f.log.Last().find("does not fit") != std::string::npos) << line << ": " << f.log.Last();
    }
    ContextFixture ok(DiscKind::Svcd);
    EXPECT_EQ(WriteInfo(ok, "[VCD]\r\nVERSION = 255.255\r\nVOLUME = 65535\r\n").result, 0);
    ContextFixture f(DiscKind::Svcd);
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 1000));
    segments.Insert(MakeItem("SEG02", 981));  // 1981 content bytes: one too many
    EXPECT_EQ(WriteInfo(f, "[VCD]\r\n", nullptr, &segments).result, kStepFailed);
    EXPECT_NE(f.log.Last().find("1980"), std::string::npos) << f.log.Last();
}

TEST(EntriesTable, BcdTrackDiscAddressAndLimits) {
    const char kSvdId[8] = {'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D'};
    EntriesTable table(EncodeEntriesHeader(kSvdId, 1));
    std::string error;
    ASSERT_TRUE(table.Add(2, 1234, error)) << error;    // address 1384 = 00:18:34
    ASSERT_TRUE(table.Add(12, 270000, error)) << error;  // 270150 = 60:02:00
    EXPECT_EQ(table.LastPlayItem(), 101u);
    Bytes expected{'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D', 0x01, 0x00, 0x00, 0x02, 0x02, 0x00, 0x18, 0x34,
                   0x12, 0x60, 0x02, 0x00};
    expected.resize(2048, 0);
    const auto written = table.Bytes();
    EXPECT_EQ(Bytes(written.begin(), written.end()), expected);
    EXPECT_TRUE(table.Add(99, 0, error));  // track numbers are one BCD byte
    EXPECT_FALSE(table.Add(100, 0, error));
    EXPECT_EQ(table.Count(), 3);

    // 509 entries fill the record exactly; the next is refused and writes nothing.
    EntriesTable full(table.Bytes());  // continues a table read back
    for (size_t k = 3; k < entries_layout::kMaxEntries; ++k) ASSERT_TRUE(full.Add(2, uint32_t(k), error)) << k;
    const auto before = full.Bytes();
    EXPECT_FALSE(full.Add(2, 9999, error) || error.find("509") == std::string::npos) << error;
    EXPECT_EQ(full.Bytes(), before);
    EXPECT_EQ(std::tuple(before[10], before[11], before[2044]), std::tuple(0x01, 0xFD, 0x02));
}

TEST(EntriesTable, TrackStartsAndEntryPointsBeyondTheTableAreNamedBeforeWriting) {
    // Two tracks; the second has play lists starting it part way in. The
    // table holds kMaxEntries: the tracks' starts plus the entry points.
    using entries_layout::kMaxEntries;
    struct Case {
        size_t points;  // entry points of the second track
        bool fits;
    };
    for (const Case c : {Case{kMaxEntries - 2, true}, Case{kMaxEntries - 1, false}}) {
        TrackList tracks;
        PbcScript pbc;
        TrackEntry first = MakeTrack("AVSEQ01", 0, 1);
        first.line = 3;
        TrackEntry second = MakeTrack("AVSEQ02", 0, 1);
        second.line = 4;
        for (size_t k = 0; k < c.points; ++k) {
            PlayListNode list;
            list.id = "P" + std::to_string(k);
            list.psdOffset = int32_t(16 * k);
            list.line = int(10 + k);
            pbc.playLists.push_back(list);
            // Given in reverse time order: the table takes them in time order.
            second.entryPoints.insert(second.entryPoints.begin(),
                                      EntryPoint{int32_t(100 * (c.points - k) + 50), uint32_t(list.psdOffset)});
        }
        tracks.Insert(first);
        tracks.Insert(second);
        LogList log;
        std::vector<Diagnostic> told;
        BuildContext ctx;
        ctx.log = &log;
        ctx.diagnostics = [&](const Diagnostic& d) { told.push_back(d); };
        EXPECT_EQ(CheckEntriesCapacity(ctx, tracks, pbc), c.fits) << c.points;
        if (c.fits) {
            EXPECT_EQ(log.Count(), 0);
            continue;
        }
        // Entry 510 is the last entry point in time: the play list given first.
        EXPECT_EQ(log.Last(), Format("Error: play list P0, which starts track AVSEQ02 at %zu.50 seconds, would take "
                                     "entry %zu of ENTRIES, which holds at most %zu (one per track start and one "
                                     "per entry point)",
                                     c.points, kMaxEntries + 1, kMaxEntries));
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].line, 10);
    }
    // A track whose start is the entry one beyond.
    TrackList full;
    TrackEntry first = MakeTrack("AVSEQ01", 0, 1);
    for (size_t k = 1; k < kMaxEntries; ++k) first.entryPoints.push_back(EntryPoint{int32_t(k), 0});
    full.Insert(first);
    TrackEntry last = MakeTrack("AVSEQ02", 0, 1);
    last.line = 9;
    full.Insert(last);
    LogList log;
    BuildContext ctx;
    ctx.log = &log;
    EXPECT_FALSE(CheckEntriesCapacity(ctx, full, PbcScript{}));
    EXPECT_EQ(log.Last().rfind("Error: track AVSEQ02 would take entry 510 of ENTRIES", 0), 0u) << log.Last();
}

TEST(InfoRecords, DecodersRefuseDamagedRecords) {
    InfoFileRecord record;
    record.SetPalTrack(103);
    record.SetPalTrack(104);  // past the field: ignored
    record.segmentCount = 3;
    auto bytes = record.Encode();
    EXPECT_EQ(std::tuple(bytes[42], bytes[43]), std::tuple(0x80, 0x00));
    std::string error;
    EXPECT_FALSE(InfoFileRecord::Decode(std::span(bytes.data(), 2047), &error) || error.find("2047") == std::string::npos);
    bytes[54] = 0x07;  // 0x07D0 = 2000 segments: more than the record holds
    bytes[55] = 0xD0;
    EXPECT_FALSE(InfoFileRecord::Decode(bytes, &error) || error.find("2000") == std::string::npos) << error;

    std::array<uint8_t, 2048> noise;
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 37 + 11);
    noise[10] = 0x01;
    noise[11] = 0xFD;  // 509: garbage decodes without reading past the record
    const auto entries = EntriesRecord::Decode(noise, &error);
    EXPECT_TRUE(entries && entries->entries.size() == 509u);
    noise[10] = 0x02;  // 0x02FD entries cannot fit
    EXPECT_FALSE(EntriesRecord::Decode(noise, &error) || error.find("509") == std::string::npos) << error;
    EXPECT_FALSE(EntriesRecord::Decode(std::span(noise.data(), 100), &error));
    EXPECT_NE(error.find("100 bytes"), std::string::npos) << error;
}

// Filled records read back field for field and write back byte for byte.
TEST(InfoRecords, RoundTrips) {
    InfoFileRecord info;
    info.SetSystemId("SUPERVCD");
    info.SetAlbum("ALBUM");
    std::tie(info.version, info.profileTag, info.volume, info.volumeCount) = std::tuple(1, 0, 2, 3);
    info.SetPalTrack(0);
    info.SetPalTrack(9);
    std::tie(info.psdSize, info.offsetMultiplier, info.lotEntryCount) = std::tuple(0x1234u, 8, 7);
    info.firstSegmentAddress = {0x00, 0x04, 0x00};
    info.segmentCount = 3;
    info.segmentContent = {0x21, 0x41, 0x14};
    info.segmentFlags = kSegmentFlagOgt;
    const std::vector<uint8_t> infoBytes = info.Encode();
    EXPECT_EQ(Bytes(infoBytes.begin(), infoBytes.begin() + 12), Text(std::string("SUPERVCD\x01\0" "AL", 12)));
    EXPECT_EQ(Bytes(infoBytes.begin() + 26, infoBytes.begin() + 32), (Bytes{0, 2, 0, 3, 0x01, 0x02}));
    EXPECT_EQ(Bytes(infoBytes.begin() + 44, infoBytes.begin() + 59),
              (Bytes{0, 0, 0x12, 0x34, 0x00, 0x04, 0x00, 8, 0, 7, 0, 3, 0x21, 0x41, 0x14}));
    EXPECT_EQ(infoBytes[2036], kSegmentFlagOgt);
    EXPECT_EQ(InfoFileRecord::Decode(infoBytes), info);

    EntriesRecord entries;
    std::memcpy(entries.fileId.data(), "ENTRYSVD", 8);
    entries.version = 1;
    entries.entryCount = 2;
    entries.entries = {{2, 1234, {0x00, 0x18, 0x34}}, {12, 270000, {0x60, 0x02, 0x00}}};
    const std::vector<uint8_t> entriesBytes = entries.Encode();
    EXPECT_EQ(Bytes(entriesBytes.begin(), entriesBytes.begin() + 20),
              (Bytes{'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D', 1, 0, 0, 2, 0x02, 0x00, 0x18, 0x34, 0x12, 0x60, 0x02, 0x00}));
    EXPECT_EQ(EntriesRecord::Decode(entriesBytes), entries);

    std::string error;
    const auto tracks = BuildTracksRecord(std::vector<TracksFileTrack>{{6150, 1, 0x22}, {3000, 0, 0x01}}, &error);
    ASSERT_TRUE(tracks) << error;
    const std::vector<uint8_t> tracksBytes = tracks->Encode();
    EXPECT_EQ(TracksRecord::Decode(tracksBytes), tracks);

    SearchRecord search;
    search.timeInterval = 2;
    search.pointCount = 2;
    search.points = {0, 4350};  // 00:02:00 and 01:00:00
    const std::vector<uint8_t> searchBytes = search.Encode();
    EXPECT_EQ(searchBytes, Text(std::string("SEARCHSV\x01\0\0\x02\x02\0\x02\0\x01\0\0", 19)));
    EXPECT_EQ(SearchRecord::Decode(searchBytes), search);
}

// Cumulative times (61.5 s, 91.5 s) as BCD minutes, seconds and frames (0.5 x 75 = 37), then OGT and audio.
TEST(TracksFile, CumulativeTimesAndLimits) {
    ContextFixture f(DiscKind::Svcd);
    TrackList tracks;
    tracks.Insert(MakeTrack("AVSEQ01", 6150, 1, 0x22, 0x01));
    tracks.Insert(MakeTrack("AVSEQ02", 3000, 1, 0x01, 0x00));
    ASSERT_TRUE(WriteTracksFile(f.ctx, tracks));
    Bytes expected{'T', 'R', 'A', 'C', 'K', 'S', 'V', 'D', 1, 0, 2, 0x01, 0x01, 0x37, 0x01, 0x22, 0x01, 0x31, 0x37, 0x00, 0x01};
    expected.resize(2048, 0);
    EXPECT_EQ(test::ReadBytes(f.dir / kTracksWorkFile), expected);

    std::string error;
    // 10.3 s: 22 frames (truncated); then 99.99 s = 01:39 and 74 frames.
    const TracksFileTrack parts[] = {{1030, 0, 0}, {8969, 0, 0}};
    const auto record = BuildTracksRecord(parts, &error);
    ASSERT_TRUE(record) << error;
    const std::vector<uint8_t> out = record->Encode();
    EXPECT_EQ(Bytes(out.begin() + 11, out.begin() + 19), (Bytes{0x00, 0x10, 0x22, 0, 0, 0x01, 0x39, 0x74}));
    std::vector<TracksFileTrack> many(256);
    EXPECT_FALSE(BuildTracksRecord(many, &error) || error.find("255") == std::string::npos) << error;
    many.resize(255);
    const auto full = BuildTracksRecord(many, &error);
    EXPECT_TRUE(full && full->Encode()[10] == 255);
}

TEST(SearchFile, PointCountHeaderAndZeroTable) {
    EXPECT_EQ(std::tuple(ScanPointsFor(0), ScanPointsFor(1030), ScanPointsFor(1050)), std::tuple(20u, 40u, 41u));
    ContextFixture f(DiscKind::Svcd);
    ASSERT_TRUE(WriteSearchHeader(f.ctx, 0, 1));
    EXPECT_EQ(test::ReadBytes(f.dir / kSearchWorkFile), Text(std::string("SEARCHSV\x01\0\0\0\x01", 13) + std::string(60, '\0')));
    ASSERT_TRUE(WriteSearchHeader(f.ctx, 1030, 2));  // rewritten, not appended
    const Bytes ten = test::ReadBytes(f.dir / kSearchWorkFile);
    EXPECT_EQ(std::tuple(ten.size(), ten[12]), std::tuple(13u + 3u * 40u, 2));
    f.ctx.workFolder = f.dir / "absent/";
    EXPECT_FALSE(WriteSearchHeader(f.ctx, 0, 1));
    EXPECT_EQ(f.log.Last(), "Error 10000: Can't create file " + f.ctx.workFolder + kSearchWorkFile);
}

Bytes WorkFileBytes(ScanDataState& state) {
    state.scanDataFile.Flush();
    return test::ReadBytes(state.scanDataFile.Path());
}

// The work file: header, track times, then one index per segment item as INFO is written.
TEST(ScanData, WorkFileTrackTimesIndexesAndDiscard) {
    ContextFixture f(DiscKind::SuperVcd);
    ScanDataState state;
    ASSERT_TRUE(CreateScanData(state, f.ctx));
    EXPECT_EQ(WorkFileBytes(state), Text(std::string("SCAN_VCD\x01\0\0\0\0\0\0\0", 16)));
    const uint32_t durations[] = {6150, 3000};
    std::string error;
    ASSERT_TRUE(WriteScanTrackTimes(state, durations, error)) << error;
    // P = 20 + 2 x 91.5 = 203 (CB 00), two tracks (02 00), then the cumulative times.
    EXPECT_EQ(Slice(WorkFileBytes(state), 8, 14),
              (Bytes{1, 0, 0xCB, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x01, 0x37, 0x01, 0x31, 0x37}));
    SegmentList segments;
    for (const auto& [id, count] : {std::pair{"SEG01", 2u}, {"SEG02", 1u}, {"SEG03", 3u}}) segments.Insert(MakeItem(id, count, 1, 1));
    test::WriteText(f.dir / "disc.scr", "[VCD]\r\n");
    ScriptReader reader;
    ASSERT_TRUE(reader.OpenScript(f.dir / "disc.scr"));
    InfoFilesInput input;
    input.segments = &segments;
    input.scanData = &state;
    EXPECT_EQ(WriteInfoAndEntries(reader, f.ctx, input), 0);
    EXPECT_EQ(std::tuple(state.scanPointCount, state.scanIndex), std::tuple(3u, 9u));
    EXPECT_EQ(Slice(WorkFileBytes(state), 22, 6), (Bytes{0x00, 0x00, 0x00, 0x03, 0x00, 0x06}));
    DiscardScanData(state);
    EXPECT_FALSE(state.IsOpen() || test::FileExists(f.dir / kScanDataWorkFile));
    DiscardScanData(state);  // twice is harmless

    // A work file that cannot be made is a warning, and the later stages skip it.
    f.ctx.workFolder = f.dir / "absent/";
    EXPECT_FALSE(CreateScanData(state, f.ctx));
    EXPECT_EQ(f.log.Last(), "Warning :: Can't create " + f.ctx.workFolder + kScanDataWorkFile);
    EXPECT_TRUE(WriteScanTrackTimes(state, durations, error));
    AppendScanIndex(state);
    EXPECT_EQ(state.scanPointCount, 0u);
}

TEST(TimingRecords, DecodersReadTheDiscFormsAndRefuseDamagedOnes) {
    // Scan data: two segment items plus three track points, counts big-endian.
    Bytes disc = Text("SCAN_VCD");
    for (const uint8_t x : {1, 0, 0x00, 0x05, 0x00, 0x01, 0x00, 0x02,  // points, tracks, items
                            0x00, 0x10, 0x00,                          // one track time
                            0x00, 0x00, 0x00, 0x03, 0x00, 0x06,        // indexes, end index
                            0x00, 0x06, 0x00, 0x00, 0x08, 0x00,        // items at 300, 450
                            0x00, 0x10, 0x02, 0x00, 0x10, 0x40, 0x00, 0x11, 0x03})
        disc.push_back(x);
    Bytes padded = disc;
    padded.resize(2048, 0);  // padding is not read as points
    std::string error;
    const auto decoded = ScanDataRecord::Decode(padded, ScanDataForm::Disc, &error);
    ASSERT_TRUE(decoded) << error;
    const ScanDataRecord& scan = *decoded;
    EXPECT_EQ(std::tuple(scan.trackCount, scan.segmentScanIndexes, *scan.endScanIndex, scan.segmentSectors),
              std::tuple(1, std::vector<uint16_t>{0, 3}, 6, std::vector<int64_t>{300, 450}));
    EXPECT_EQ(scan.scanPoints, (std::vector<int64_t>{602, 640, 678}));  // 00:10:02 = 752 - 150
    for (size_t cut : {size_t(10), size_t(18), size_t(22), size_t(29)})
        EXPECT_FALSE(ScanDataRecord::Decode(std::span(disc.data(), cut), ScanDataForm::Disc, &error)) << cut;
    disc[12] = 0xFF;  // 65281 tracks in a file of 40 bytes
    EXPECT_FALSE(ScanDataRecord::Decode(disc, ScanDataForm::Disc, &error) || error.find("65281") == std::string::npos) << error;
    disc[0] = 'X';
    EXPECT_FALSE(ScanDataRecord::Decode(disc, ScanDataForm::Disc, &error));
    EXPECT_NE(error.find("SCAN_VCD"), std::string::npos) << error;

    // Search: two points filled in, then more points than the bytes hold.
    SearchRecord header;
    header.timeInterval = 1;
    Bytes search = header.Encode();
    search[11] = 2;
    for (const uint8_t b : {0x00, 0x04, 0x00, 0x00, 0x04, 0x01, 0x00, 0x00, 0x00}) search.push_back(b);
    const auto points = SearchRecord::Decode(search, &error);
    ASSERT_TRUE(points) << error;
    EXPECT_EQ(points->points, (std::vector<int64_t>{150, 151}));
    search[11] = 4;
    EXPECT_FALSE(SearchRecord::Decode(search, &error) || error.find("4 scan points") == std::string::npos) << error;
    EXPECT_FALSE(SearchRecord::Decode(std::span(search.data(), 12), &error));

    std::vector<uint8_t> tracks = BuildTracksRecord(std::vector<TracksFileTrack>{{6150, 3, 0x12}})->Encode();
    EXPECT_FALSE(TracksRecord::Decode(std::span(tracks.data(), 10), &error));
    tracks[0] = 'X';
    EXPECT_FALSE(TracksRecord::Decode(tracks, &error) || error.find("TRACKSVD") == std::string::npos) << error;
}

}  // namespace
}  // namespace qorvcd
