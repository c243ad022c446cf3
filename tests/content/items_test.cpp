// The [TRACK] section against real sector-mode streams, and the SEGMENT block:
// numbering, sizes, codes, SPICONTX.SVD and bitmaps.
#include <filesystem>

#include "content/segment_items.h"
#include "content/spicontx.h"
#include "content/track_list.h"
#include "content_fixture.h"
#include "tests/support/scripted_progress.h"

namespace qorvcd::test {
namespace {

constexpr uint64_t kUnit = 2336;
using Bytes = std::vector<uint8_t>;

struct TrackRun {
    TrackList tracks;
    int result = 0;
    bool Read(ContentFixture& f, const std::string& script) {
        f.OpenScript(script);
        result = ReadTrackList(f.reader, f.ctx, tracks);
        return result == kOk;
    }
};

TEST(TrackList, SortedByIdNumberedFromTwoAndEndedByAnyOtherWord) {
    ContentFixture f;
    f.Pack(PalSvcdStereoStream(), "a.mps");
    f.Pack(PalSvcdStereoStream(), "c.mps");
    TrackRun run;
    ASSERT_TRUE(run.Read(f, "[TRACK]\nMPEGTRACK AVSEQ03 c.mps PAL AUDIO 2 TIME 2\nMPEGTRACK AVSEQ01 a.mps PAL AUDIO 2 TIME 2\n"
                            "MPEGTRACK AVSEQ01 c.mps PAL AUDIO 2 TIME 2\nSEGMENT\nMPEGTRACK AVSEQ02 a.mps PAL AUDIO 2 TIME 2\n"))
        << f.AllOutput();
    const auto& e = run.tracks.Entries();
    ASSERT_EQ(e.size(), 3u);
    // An equal ID goes after the one already there; the upper-cased name still finds the file.
    EXPECT_EQ(e[0].id + e[0].fileName + e[1].id + e[1].fileName + e[2].id, "AVSEQ01A.MPSAVSEQ01C.MPSAVSEQ03");
    EXPECT_EQ(std::tuple(e[0].number, e[2].number, e[0].path, run.result), std::tuple(2u, 4u, f.dir / "a.mps", 0));
    EXPECT_TRUE(f.Logged("Total has 3 Video Track(s)") && f.messages.empty()) << f.AllOutput();
    // The writer later copies each file only while it still has the stamp the probe saw.
    for (const TrackEntry& t : e) {
        const auto now = IdentifyFile(t.path);
        EXPECT_TRUE(t.probedStamp && now && t.probedStamp->SameStampAs(*now)) << t.id;
    }
}

TEST(TrackList, ProbedValuesWinOverTheScriptWordsAndSideFilesOverTheProbe) {
    ContentFixture f;
    f.Pack(PalSvcdStereoStream(), "pal.mps");
    f.Pack(PalSvcdStereoStream(), "movie.mps");
    f.Pack(PalSvcdTwoAudioStream(), "two.mps");
    f.Pack(NtscSvcdStream(), "ntsc.mps");
    WriteText(f.dir / "movie.ep", "NTSC\r\nTIME 5 AUDIO 34\r\n");
    TrackRun run;
    ASSERT_TRUE(run.Read(f, "[TRACK]\nMPEGTRACK AVSEQ01 pal.mps NTSC AUDIO 99 TIME 1000\n"
                            "MPEGTRACK AVSEQ02 two.mps PAL AUDIO 0 TIME 0\nMPEGTRACK AVSEQ03 ntsc.mps PAL AUDIO 0 TIME 0\n"
                            "MPEGTRACK AVSEQ04 movie.mps PAL AUDIO 2 TIME 2\n"))
        << f.AllOutput();
    const auto& e = run.tracks.Entries();
    ASSERT_EQ(e.size(), 4u);
    const std::pair<VideoStandard, uint32_t> expected[] = {
        {VideoStandard::Pal, 0x02}, {VideoStandard::Pal, 0x11}, {VideoStandard::Ntsc, 0x02}, {VideoStandard::Ntsc, 34}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(std::tuple(e[i].videoStandard, e[i].audioInfo), std::tuple(int32_t(expected[i].first), expected[i].second));
        EXPECT_TRUE(i == 3 || (e[i].duration > 200 && e[i].duration < 400)) << e[i].duration;  // the stream's, not TIME's
    }
    EXPECT_TRUE(f.Logged("Warning::Can't open PAL.EP, disc information may be wrong")) << f.AllOutput();  // only a warning
    EXPECT_FALSE(f.Logged("MOVIE.EP"));
}

TEST(TrackList, ScriptErrorsAndTheTrackLimitStopTheList) {
    const std::tuple<DiscKind, const char*, const char*, bool, int> cases[] = {  // boxed, else logged
        {DiscKind::Vcd30, "MPEGTRACK AVSEQ01 a.mps", "100: ID_Name = AVSEQ01", true, kTrackListFailed},
        {DiscKind::Svcd, "MPEGTRACK AVS a.mps PAL AUDIO 2 TIME 2", "100: ID_Name = AVS", true, kTrackListFailed},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ01 a.mps AUDIO 2 TIME 2", "Missing PAL/NTSC", true, kTrackListFailed},
        {DiscKind::Cvd, "MPEGTRACK AVSEQ01 a.mps PAL TIME 2", "Missing AUDIO", true, kTrackListFailed},
        {DiscKind::SuperVcd, "MPEGTRACK AVSEQ01 a.mps PAL AUDIO 2\nENDFILE", "Missing TIME", true, kTrackListFailed},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ0001 a.mps PAL AUDIO 2 TIME 2", "AVSEQ0001 is too long, at most 7", false, kTrackListFailed},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ01 missing.mps PAL AUDIO 2 TIME 2",
         "Error 10002: File MISSING.MPS is not a track format", false, kNotATrack},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ01 junk.mps PAL AUDIO 2 TIME 2",
         "Error 10002: File JUNK.MPS is not a track format", false, kNotATrack},
        {DiscKind::Svcd, "MPEGTRACK AVSEQ01 plain.mpg PAL AUDIO 2 TIME 2",
         "PLAIN.MPG is a plain MPEG program stream; qorvcd pack makes", false, kNotATrack},
        {DiscKind::Svcd, "", "Track info do't found", false, kNoTrackSection},
    };
    ContentFixture packed;
    packed.Pack(PalSvcdStereoStream(), "a.mps");
    for (const auto& [kind, line, message, boxed, result] : cases) {
        ContentFixture f(kind);
        std::filesystem::copy_file(packed.dir / "a.mps", f.dir / "a.mps");
        WriteBytes(f.dir / "junk.mps", Bytes(kUnit * 3, 0x55));
        WriteBytes(f.dir / "plain.mpg", {0x00, 0x00, 0x01, 0xBA, 0x44});
        TrackRun run;
        EXPECT_FALSE(run.Read(f, *line ? std::string("[TRACK]\n") + line + "\n" : "[VCD]\nMODE=SVCD\n")) << line;
        EXPECT_TRUE(boxed ? f.Shown(message) : f.Logged(message)) << line << "\n" << f.AllOutput();
        EXPECT_EQ(std::tuple(run.result, run.tracks.Count()), std::tuple(result, 0u)) << line;
    }
    ContentFixture f;
    f.Pack(PalVcdStream(), "v.mps");
    std::string script = "[TRACK]\n";
    for (size_t i = 0; i <= kMaxVideoTracks; ++i) script += "MPEGTRACK AVSEQ" + std::to_string(i) + " v.mps PAL AUDIO 1 TIME 1\n";
    TrackRun run;
    EXPECT_FALSE(run.Read(f, script));
    EXPECT_EQ(std::tuple(run.result, run.tracks.Count()), std::tuple(kTrackListFailed, kMaxVideoTracks));
    EXPECT_TRUE(f.Logged("too many video tracks, at most 98")) << f.AllOutput();
}

TEST(TrackList, EntryPointKeysAscendAndEqualKeysKeepTheirOrder) {
    ContentFixture f;
    TrackList tracks;
    TrackEntry t;
    t.id = "AVSEQ01";
    tracks.Insert(t);
    for (const auto& [sector, key] : {std::pair{16u, 300}, {32u, 100}, {48u, 300}})
        EXPECT_TRUE(InsertEntryPoint(tracks, f.ctx, "AVSEQ01", sector, key));
    std::vector<uint32_t> sectors;
    for (const auto& point : tracks.Entries()[0].entryPoints) sectors.push_back(point.value);
    EXPECT_EQ(sectors, (std::vector<uint32_t>{32, 16, 48}));
}

struct SegmentRun {
    SegmentList segments;
    int result = 0;
    bool Read(ContentFixture& f, const std::string& block) {
        f.OpenScript("[PBC]\nSEGMENT\n" + block + "\nENDSEGMENT\nPLAYLIST\n");
        result = ReadSegmentItems(f.reader, f.ctx, segments);
        return result == kOk;
    }
};

void SparseFile(const std::string& path, uint64_t size) {
    WriteBytes(path, {});
    std::filesystem::resize_file(path, size);
}

TEST(SegmentItems, NumberedInIdOrderUpToTheLastSegment) {
    ContentFixture f(DiscKind::Vcd30);
    SparseFile(f.dir / "two.mps", kUnit * 151);
    SparseFile(f.dir / "one.mps", kUnit * 150);
    SparseFile(f.dir / "three.mps", kUnit * 301);
    SegmentRun run;
    ASSERT_TRUE(run.Read(f, "SEG02 = two.mps\nSEG03=three.mps\nSEG01 = one.mps")) << f.AllOutput();
    const auto& items = run.segments.Items();
    std::vector<std::tuple<std::string, uint32_t, uint32_t>> numbered;
    for (const SegmentItem& i : items) numbered.emplace_back(i.id, i.segmentCount, i.number);
    EXPECT_EQ(numbered, (decltype(numbered){{"SEG01", 1, 1000}, {"SEG02", 2, 1001}, {"SEG03", 3, 1003}}));
    EXPECT_EQ(std::tuple(items[0].origin, items[0].fileName), std::tuple(SegmentOrigin::AuthorFile, f.dir / "one.mps"));
    EXPECT_FALSE(FileExists(f.ctx.workFolder + "SPICONTX.SVD"));  // none on a Video CD

    // 998 segments fit (the last item is number 1997); one more is refused.
    for (uint64_t extra : {0, 1}) {
        ContentFixture g(DiscKind::Vcd30);
        SparseFile(g.dir / "a.mps", kUnit * 150 * 997);
        SparseFile(g.dir / "b.mps", kUnit * 150 * (1 + extra));
        SegmentRun big;
        EXPECT_EQ(big.Read(g, "SEG01 = a.mps\nSEG02 = b.mps"), extra == 0) << g.AllOutput();
        EXPECT_TRUE(extra ? g.Logged("Error ::In SEGMENT over 1998 section!!") && big.result == 2000
                          : big.segments.Items().at(1).number == 1997u);
    }
}

TEST(SegmentItems, SpicontxHoldsOnePairPerSegment) {
    ContentFixture f(DiscKind::Svcd);
    WriteBytes(f.dir / "a.mps", Bytes(kUnit * 151, 0x11));
    WriteBytes(f.dir / "b.mps", Bytes(kUnit * 10, 0x11));
    SegmentRun run;
    ASSERT_TRUE(run.Read(f, "SEG01 = a.mps AUDIO 1 VIDEO 4 OGT 2\nSEG02 = b.mps AUDIO 3 VIDEO 1")) << f.AllOutput();
    EXPECT_EQ(run.segments.Items()[1].ogtCode, 0);
    Bytes expected{'S', 'P', 'I', 'C', 'O', 'N', 'S', 'V', 1, 0, 0x02, 0x01, 0x02, 0x01, 0x00, 0x03};
    expected.resize(4096, 0);
    EXPECT_EQ(ReadBytes(f.ctx.workFolder + "SPICONTX.SVD"), expected);
    const auto back = SpicontxRecord::Decode(expected);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pairs, (std::vector<SpicontxPair>{{2, 1}, {2, 1}, {0, 3}}));
    EXPECT_EQ(back->Encode(), expected);
    std::string why;
    EXPECT_FALSE(SpicontxRecord::Decode(std::span(expected.data(), 4095), &why));
    EXPECT_NE(why.find("4095"), std::string::npos) << why;
    Bytes renamed = expected;
    renamed[7] = 'X';
    EXPECT_FALSE(SpicontxRecord::Decode(renamed, &why));
    EXPECT_NE(why.find("SPICONSV"), std::string::npos) << why;

    // Without a SEGMENT block the file is the empty one.
    ContentFixture g(DiscKind::SuperVcd);
    g.OpenScript("[PBC]\nPLAYLIST P1 PLAY SEG01 ENDPLAYLIST\n");
    SegmentList none;
    ASSERT_EQ(ReadSegmentItems(g.reader, g.ctx, none), kOk);
    expected.resize(10);
    expected.resize(4096, 0);
    EXPECT_EQ(ReadBytes(g.ctx.workFolder + "SPICONTX.SVD"), expected);

    // CVD segments carry no audio code and no SPICONTX.SVD.
    ContentFixture c(DiscKind::Cvd);
    WriteBytes(c.dir / "a.mps", Bytes(kUnit, 0x11));
    SegmentRun cvd;
    ASSERT_TRUE(cvd.Read(c, "SEG01 = a.mps AUDIO 3 VIDEO 2"));
    EXPECT_EQ(std::tuple(cvd.segments.Items()[0].audioCode, cvd.segments.Items()[0].videoCode), std::tuple(0, 2));
    EXPECT_FALSE(FileExists(c.ctx.workFolder + "SPICONTX.SVD"));
}

TEST(SegmentItems, ErrorsFailTheStepAndLeaveSpicontxEmpty) {
    const std::tuple<DiscKind, std::string, std::string, bool> cases[] = {  // boxed, else logged
        {DiscKind::Svcd, "ITEM01 = a.mps AUDIO 0 VIDEO 1", "ID_Name= ITEM01", false},
        {DiscKind::Svcd, "SEG01 = a.mps AUDIO 0 VIDEO 1\n[TRACK]", "ID_Name= [TRACK]", false},
        {DiscKind::Svcd, "SEG01 a.mps AUDIO 0 VIDEO 1", "Not found '=' sign", false},
        {DiscKind::Svcd, "SEG01 = none.mps AUDIO 0 VIDEO 1", "Can't open file NONE.MPS", false},
        {DiscKind::Svcd, "SEG01 = none.bmp AUDIO 0 VIDEO 1", "Can't open file NONE.BMP", false},
        {DiscKind::Svcd, "SEG01 = fake.bmp AUDIO 0 VIDEO 1", "File FAKE.BMP is not a BMP file", false},
        {DiscKind::Svcd, "SEG01 = a.mps VIDEO 1", "Missing AUDIO, VIDEO", false},
        {DiscKind::Svcd, "SEG01 = a.mps AUDIO 0 OGT 1", "Missing VIDEO", true},
        {DiscKind::Svcd, "SEG000001 = a.mps AUDIO 0 VIDEO 1",
         "Error: Segment item ID SEG000001 is too long, at most 7 characters", false},
        {DiscKind::Svcd, "SEG01 = odd.mps AUDIO 0 VIDEO 1", "length error " + std::to_string(kUnit + 1), false},
        {DiscKind::Svcd, "SEG01 = empty.mps AUDIO 0 VIDEO 1", "length error 0", false},
        {DiscKind::Vcd30, "SEG01 = long.mps", "long.mps length error " + std::to_string(kUnit * 150 + 1), false},
    };
    for (const auto& [kind, entry, message, boxed] : cases) {
        ContentFixture f(kind);
        WriteBytes(f.dir / "a.mps", Bytes(kUnit, 0x11));
        WriteBytes(f.dir / "odd.mps", Bytes(kUnit + 1, 0x11));
        WriteBytes(f.dir / "long.mps", Bytes(kUnit * 150 + 1, 0));
        WriteBytes(f.dir / "empty.mps", {});
        WriteBytes(f.dir / "fake.bmp", Bytes(100, 'X'));
        SegmentRun run;
        EXPECT_FALSE(run.Read(f, entry)) << entry;
        EXPECT_EQ(run.result, 2000) << entry;
        EXPECT_TRUE(boxed ? f.Shown(message) : f.Logged(message)) << entry << "\n" << f.AllOutput();
        EXPECT_TRUE(kind == DiscKind::Vcd30 || ReadBytes(f.ctx.workFolder + "SPICONTX.SVD").empty()) << entry;
    }
}

// A file that exists but cannot be read: the system's reason comes before the step's own line.
TEST(ContentInputs, UnreadableFilesAreReportedWithTheSystemsReason) {
    const std::pair<std::string, std::string> cases[] = {
        {"[TRACK]\nMPEGTRACK AVSEQ01 folder.mps PAL AUDIO 2 TIME 2\n", "Error 10002: File FOLDER.MPS is not a track format"},
        {"[PBC]\nSEGMENT\nSEG01 = folder.mps AUDIO 0 VIDEO 1\nENDSEGMENT\n", "Can't open file FOLDER.MPS"}};
    for (const auto& [script, stepLine] : cases) {
        ContentFixture f;
        MakeDirectory(f.dir / "folder.mps");
        f.OpenScript(script);
        TrackList tracks;
        SegmentList segments;
        const int result = script.rfind("[TRACK]", 0) == 0 ? ReadTrackList(f.reader, f.ctx, tracks)
                                                             : ReadSegmentItems(f.reader, f.ctx, segments);
        EXPECT_NE(result, kOk);
        const auto& lines = f.log.Lines();
        const auto reason = std::find(lines.begin(), lines.end(), "Error: cannot open " + f.dir / "folder.mps: Is a directory");
        EXPECT_LT(reason, std::find(lines.begin(), lines.end(), stepLine)) << f.AllOutput();
        EXPECT_NE(std::find(lines.begin(), lines.end(), stepLine), lines.end()) << f.AllOutput();
    }
}

// Only a Cancel ends the step as cancelled: a conversion that cannot write its
// work file (a full disk, a vanished folder) fails it with its reason.
TEST(SegmentItems, AFailedConversionFailsTheStepAndOnlyACancelCancelsIt) {
    const std::string bitmap = EnsureMedia(
        "content_480x576.bmp", "ffmpeg -y -loglevel error -f lavfi -i testsrc=size=480x576 -frames:v 1 -c:v bmp -f image2 {out}");
    for (const bool cancel : {false, true}) {
        ContentFixture f(DiscKind::Cvd);  // no SPICONTX.SVD: the conversion writes first
        std::filesystem::copy_file(bitmap, f.dir / "pic.bmp");
        ScriptedProgress window([cancel](int) { return cancel; });
        f.ctx.progress = &window;
        if (!cancel) f.ctx.workFolder = f.dir / "gone/";
        SegmentRun run;
        EXPECT_FALSE(run.Read(f, "SEG01 = pic.bmp AUDIO 0 VIDEO 1"));
        EXPECT_EQ(run.result, cancel ? -1 : 2000) << f.AllOutput();
        EXPECT_EQ(f.Logged("Can't convert file PIC.BMP"), !cancel) << f.AllOutput();
        EXPECT_EQ(f.Logged(f.dir / "gone/pic.VBS: No such file or directory"), !cancel) << f.AllOutput();
    }
}

// Two bitmaps of one name in two folders become two converted stills, removed at clearing.
TEST(SegmentItems, BitmapsBecomeConvertedStills) {
    ContentFixture f(DiscKind::Svcd);
    const std::string bitmap = EnsureMedia(
        "content_480x576.bmp", "ffmpeg -y -loglevel error -f lavfi -i testsrc=size=480x576 -frames:v 1 -c:v bmp -f image2 {out}");
    for (const char* to : {"one", "two"}) MakeDirectory(f.dir / to);
    std::filesystem::copy_file(bitmap, f.dir / "one/pic.bmp");
    std::filesystem::copy_file(bitmap, f.dir / "two/PIC.BMP");
    SegmentRun run;
    ASSERT_TRUE(run.Read(f, "SEG01 = one\\pic.bmp AUDIO 0 VIDEO 1\nSEG02 = two/pic.bmp AUDIO 0 VIDEO 1")) << f.AllOutput();
    const auto& items = run.segments.Items();
    ASSERT_TRUE(items.size() == 2u && items[0].fileName != items[1].fileName);
    for (const SegmentItem& item : items) {
        EXPECT_EQ(std::tuple(item.origin, item.fileName.rfind(f.ctx.workFolder, 0), item.segmentCount,
                             ReadBytes(item.fileName).size() % kUnit), std::tuple(SegmentOrigin::Converted, 0u, 1u, 0u));
    }
    const std::string first = items[0].fileName;
    run.segments.Clear();
    EXPECT_FALSE(FileExists(first));
}

}  // namespace
}  // namespace qorvcd::test
