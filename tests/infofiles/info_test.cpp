#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "infofiles/info_file_names.h"
#include "infofiles/info_files.h"
#include "infofiles/info_record.h"
#include "script/script_reader.h"
#include "tests/infofiles/info_test_support.h"

namespace qorvcd {
namespace {

using test::ContextFixture;
using test::MakeItem;
using test::MakeTrack;
using test::Slice;
using test::Text;
using Bytes = std::vector<uint8_t>;

struct InfoRun {
    int result = -99;
    Bytes info;
    Bytes entries;
};

// Writes INFO and ENTRIES for `script` through the public step, and reads
// the two work files back.
InfoRun WriteInfo(ContextFixture& f, const std::string& script, const TrackList* tracks = nullptr,
                  const SegmentList* segments = nullptr, ScanDataState* scan = nullptr) {
    const std::string scriptPath = f.dir / "disc.scr";
    test::WriteText(scriptPath, script);
    ScriptReader reader(f.ctx.showMessage);
    EXPECT_TRUE(reader.OpenScript(scriptPath));
    InfoFilesInput input;
    input.tracks = tracks;
    input.segments = segments;
    std::memcpy(input.entryId.data(), InfoFileNamesOf(f.ctx.kind).entriesId, 8);
    input.psdSize = 0x1234;
    input.lotEntryCount = 7;
    input.scanData = scan;
    InfoRun run;
    run.result = WriteInfoAndEntries(reader, f.ctx, input);
    const InfoFileNames& names = InfoFileNamesOf(f.ctx.kind);
    run.info = test::ReadBytes(f.dir / names.infoWorkFile);
    run.entries = test::ReadBytes(f.dir / names.entriesWorkFile);
    return run;
}

TEST(InfoFile, AlbumKeysAsTheyAreWritten) {
    ContextFixture f(DiscKind::Svcd);
    const InfoRun run = WriteInfo(f,
        "[VCD]\r\nMODE = SVCD\r\nALBUM = \"Summer Holidays 2024\"\r\nVERSION = 2.0\r\n"
        "VOLUME = 1\r\nANZVOL = 2\r\n[TRACK]\r\nALBUM = Ignored\r\n");
    EXPECT_EQ(run.result, 0);
    ASSERT_EQ(run.info.size(), 2048u);
    EXPECT_EQ(Slice(run.info, 0, 8), Text("SUPERVCD"));
    EXPECT_EQ(Slice(run.info, 8, 2), (Bytes{0x02, 0x00}));
    EXPECT_EQ(Slice(run.info, 10, 16), Text("Summer Holidays "));  // first 16 of 20, case kept
    EXPECT_EQ(Slice(run.info, 26, 4), (Bytes{0x00, 0x01, 0x00, 0x02}));
    // PSD size, no segments (00 00 00), offset multiplier 8, LOT count, segment count.
    EXPECT_EQ(Slice(run.info, 44, 12),
              (Bytes{0x00, 0x00, 0x12, 0x34, 0x00, 0x00, 0x00, 0x08, 0x00, 0x07, 0x00, 0x00}));
}

TEST(InfoFile, VersionProfileAndShortAlbum) {
    struct Case {
        const char* version;
        Bytes bytes;
    };
    for (const Case& c : {Case{"1", {1, 0}}, Case{"1.1", {1, 1}}, Case{"2.0", {2, 0}},
                          Case{"3.15", {3, 15}}, Case{"x", {0, 0}}}) {
        ContextFixture f(DiscKind::Vcd30);
        const InfoRun run = WriteInfo(f, std::string("[VCD]\nALBUM=Hello\nVERSION=") + c.version + "\n");
        EXPECT_EQ(run.result, 0) << c.version;
        EXPECT_EQ(Slice(run.info, 8, 2), c.bytes) << c.version;
        EXPECT_EQ(Slice(run.info, 10, 16), Text("Hello           "));
    }
    // Without the keys every field stays zero, the album included.
    ContextFixture f(DiscKind::Vcd30);
    const InfoRun run = WriteInfo(f, "[VCD]\n");
    EXPECT_EQ(Slice(run.info, 0, 8), Text("VIDEO_CD"));
    EXPECT_EQ(Slice(run.info, 8, 22), Bytes(22, 0));
}

TEST(InfoFile, SystemIdAndEntriesHeaderByKind) {
    struct Case {
        DiscKind kind;
        const char* systemId;
        const char* entriesId;
        uint8_t version;
    };
    for (const Case& c : {Case{DiscKind::Vcd30, "VIDEO_CD", "ENTRYVCD", 2},
                          Case{DiscKind::Svcd, "SUPERVCD", "ENTRYSVD", 1},
                          Case{DiscKind::Cvd, "HQ-VCD  ", "ENTRYVCD", 1},
                          Case{DiscKind::SuperVcd, "SUPERVCD", "ENTRYVCD", 1}}) {
        ContextFixture f(c.kind);
        const InfoRun run = WriteInfo(f, "[VCD]\r\n");
        EXPECT_EQ(Slice(run.info, 0, 8), Text(c.systemId));
        ASSERT_EQ(run.entries.size(), 2048u);
        Bytes expected(2048, 0);
        std::memcpy(expected.data(), c.entriesId, 8);
        expected[8] = c.version;
        EXPECT_EQ(run.entries, expected) << c.systemId;
    }
}

TEST(InfoFile, PalFlagsOneBitPerTrackInListOrder) {
    ContextFixture f(DiscKind::Svcd);
    TrackList tracks;
    for (int i = 0; i < 10; ++i) {
        const bool pal = i == 0 || i == 8;
        tracks.Insert(MakeTrack("AVSEQ0" + std::to_string(i), 100, pal ? 1 : 0));
    }
    const InfoRun run = WriteInfo(f, "[VCD]\r\n", &tracks);
    EXPECT_EQ(Slice(run.info, 30, 13), (Bytes{0x01, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // An unknown standard (2) is not PAL.
    TrackList unknown;
    unknown.Insert(MakeTrack("AVSEQ01", 100, 2));
    unknown.Insert(MakeTrack("AVSEQ02", 100, 1));
    EXPECT_EQ(Slice(WriteInfo(f, "[VCD]\r\n", &unknown).info, 30, 2), (Bytes{0x02, 0x00}));
}

TEST(InfoFile, SegmentContentBytesOnSvcd) {
    ContextFixture f(DiscKind::Svcd);
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 3, 6, 4));
    const InfoRun run = WriteInfo(f, "[VCD]\r\n", nullptr, &segments);
    EXPECT_EQ(Slice(run.info, 48, 4), (Bytes{0x00, 0x06, 0x00, 0x08}));
    EXPECT_EQ(Slice(run.info, 54, 2), (Bytes{0x00, 0x03}));
    EXPECT_EQ(Slice(run.info, 56, 4), (Bytes{0x86, 0xA6, 0xA6, 0x00}));
    EXPECT_EQ(run.info[2036], 0);
}

TEST(InfoFile, SegmentFlagsOnSvcdKindsOnly) {
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 1, 0x101, 1));  // audio code above 255
    segments.Insert(MakeItem("SEG02", 1, 1, 1, 2));   // with an OGT stream
    ContextFixture svcd(DiscKind::SuperVcd);
    const InfoRun run = WriteInfo(svcd, "[VCD]\r\n", nullptr, &segments);
    EXPECT_EQ(run.info[2036], 0x03);
    // The low byte of 0x101 is 1: content byte 1 + video 1.
    EXPECT_EQ(Slice(run.info, 56, 2), (Bytes{0x02, 0x02}));
    EXPECT_EQ(SegmentContentByte(14, 0x50), 0x12);  // 0xC2 + 0x50 wraps at 256
    EXPECT_EQ(SegmentContentByte(7, 0), 0x43);

    ContextFixture vcd(DiscKind::Vcd30);
    const InfoRun plain = WriteInfo(vcd, "[VCD]\r\n", nullptr, &segments);
    EXPECT_EQ(Slice(plain.info, 54, 5), (Bytes{0x00, 0x02, 0x14, 0x14, 0x00}));
    EXPECT_EQ(plain.info[2036], 0);
}

TEST(InfoFile, MissingSectionOrKeyWithoutEqualsFailsTheStep) {
    TrackList tracks;
    tracks.Insert(MakeTrack("AVSEQ01", 100, 1));
    {
        ContextFixture f(DiscKind::Svcd);
        const InfoRun run = WriteInfo(f, "[TRACK]\r\n", &tracks);
        EXPECT_EQ(run.result, kInfoFilesFailed);
        EXPECT_EQ(f.log.Last(), "Error 2000: VCD section doesn't be found");
        Bytes expected(2048, 0);
        std::memcpy(expected.data(), "SUPERVCD", 8);
        EXPECT_EQ(run.info, expected);  // the system ID alone
        EXPECT_EQ(run.entries.size(), 2048u);
    }
    for (const char* key : {"ALBUM", "VERSION", "VOLUME", "ANZVOL"}) {
        ContextFixture f(DiscKind::Svcd);
        const InfoRun run =
            WriteInfo(f, std::string("[VCD]\r\nVOLUME = 3\r\n") + key + " 4\r\n", &tracks);
        EXPECT_EQ(run.result, kInfoFilesFailed) << key;
        EXPECT_EQ(f.messages, (std::vector<std::string>{std::string("Find <") + key + "> error"}));
        // INFO stops there: keys read before it stay, the content is not written.
        EXPECT_EQ(Slice(run.info, 26, 2), (Bytes{0x00, 0x03}));
        EXPECT_EQ(run.info[30], 0) << key;
        EXPECT_EQ(run.info[51], 0) << key;
    }
}

TEST(InfoFile, ValuesThatDoNotFitTheirFieldAreRefused) {
    for (const char* line : {"VERSION = 256", "VERSION = 1.300", "VOLUME = 65536", "ANZVOL = -1"}) {
        ContextFixture f(DiscKind::Svcd);
        const InfoRun run = WriteInfo(f, std::string("[VCD]\r\n") + line + "\r\n");
        EXPECT_EQ(run.result, kInfoFilesFailed) << line;
        EXPECT_NE(f.log.Last().find("does not fit"), std::string::npos) << f.log.Last();
    }
    ContextFixture f(DiscKind::Svcd);
    EXPECT_EQ(WriteInfo(f, "[VCD]\r\nVERSION = 255.255\r\nVOLUME = 65535\r\n").result, 0);
}

TEST(InfoFile, TooManySegmentsAreRefused) {
    ContextFixture f(DiscKind::Svcd);
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 1000));
    segments.Insert(MakeItem("SEG02", 981));  // 1981 content bytes: one too many
    const InfoRun run = WriteInfo(f, "[VCD]\r\n", nullptr, &segments);
    EXPECT_EQ(run.result, kInfoFilesFailed);
    EXPECT_NE(f.log.Last().find("1980"), std::string::npos) << f.log.Last();
    EXPECT_EQ(run.info[2036], 0);
}

TEST(InfoFileRecord, DecodeRoundTripAndDefensiveReads) {
    InfoFileRecord record;
    record.SetSystemId("SUPERVCD");
    record.version = 1;
    record.profileTag = 1;
    record.SetAlbum("Album");
    record.volume = 1;
    record.volumeCount = 3;
    record.SetPalTrack(0);
    record.SetPalTrack(103);
    record.SetPalTrack(104);  // out of the field: ignored
    record.psdSize = 0xABCDE;
    record.firstSegmentAddress = {0x00, 0x06, 0x00};
    record.offsetMultiplier = 8;
    record.lotEntryCount = 42;
    record.segmentCount = 3;
    record.segmentContent = {0x86, 0xA6, 0xA6};
    record.segmentFlags = 2;
    const auto bytes = EncodeInfo(record);
    EXPECT_EQ(bytes[30 + 12], 0x80);
    InfoFileRecord back;
    std::string error;
    ASSERT_TRUE(DecodeInfo(bytes, back, error)) << error;
    EXPECT_EQ(EncodeInfo(back), bytes);
    EXPECT_TRUE(back.IsPalTrack(0));
    EXPECT_TRUE(back.IsPalTrack(103));
    EXPECT_FALSE(back.IsPalTrack(1));
    EXPECT_EQ(back.segmentContent, record.segmentContent);
    EXPECT_EQ(back.psdSize, 0xABCDEu);

    EXPECT_FALSE(DecodeInfo(std::span(bytes.data(), 2047), back, error));
    EXPECT_NE(error.find("2047"), std::string::npos);
    auto bad = bytes;
    bad[54] = 0x07;  // 0x07D0 = 2000 segments: more than the record holds
    bad[55] = 0xD0;
    EXPECT_FALSE(DecodeInfo(bad, back, error));
    EXPECT_NE(error.find("2000"), std::string::npos);
}

}  // namespace
}  // namespace qorvcd
