#include <gtest/gtest.h>

#include <cstring>

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

// Writes INFO and ENTRIES for `script` through the public step and reads them back.
InfoRun WriteInfo(ContextFixture& f, const std::string& script, const TrackList* tracks = nullptr,
                  const SegmentList* segments = nullptr) {
    test::WriteText(f.dir / "disc.scr", script);
    ScriptReader reader(f.ctx.showMessage);
    EXPECT_TRUE(reader.OpenScript(f.dir / "disc.scr"));
    InfoFilesInput input;
    input.tracks = tracks;
    input.segments = segments;
    std::memcpy(input.entryId.data(), InfoFileNamesOf(f.ctx.kind).entriesId, 8);
    input.psdSize = 0x1234;
    input.lotEntryCount = 7;
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
    EXPECT_EQ(Slice(run.info, 0, 30), Text(std::string("SUPERVCD\x02\x00Summer Holidays \x00\x01\x00\x02", 30)));
    // PSD size, no segments (00 00 00), offset multiplier 8, LOT count, segment count.
    EXPECT_EQ(Slice(run.info, 44, 12),
              (Bytes{0x00, 0x00, 0x12, 0x34, 0x00, 0x00, 0x00, 0x08, 0x00, 0x07, 0x00, 0x00}));
    for (const auto& [version, bytes] : {std::pair<const char*, Bytes>{"1.1", {1, 1}}, {"3.15", {3, 15}}, {"x", {0, 0}}}) {
        ContextFixture g(DiscKind::Vcd30);
        EXPECT_EQ(Slice(WriteInfo(g, std::string("[VCD]\nVERSION=") + version + "\n").info, 8, 2), bytes) << version;
    }
    ContextFixture g(DiscKind::Vcd30);
    EXPECT_EQ(Slice(WriteInfo(g, "[VCD]\n").info, 8, 22), Bytes(22, 0));  // no keys: all zero
}

TEST(InfoFile, SystemIdAndEntriesHeaderByKind) {
    const std::tuple<DiscKind, const char*, const char*, uint8_t> cases[] = {
        {DiscKind::Vcd30, "VIDEO_CD", "ENTRYVCD", 2}, {DiscKind::Svcd, "SUPERVCD", "ENTRYSVD", 1},
        {DiscKind::Cvd, "HQ-VCD  ", "ENTRYVCD", 1}, {DiscKind::SuperVcd, "SUPERVCD", "ENTRYVCD", 1}};
    for (const auto& [kind, systemId, entriesId, version] : cases) {
        ContextFixture f(kind);
        const InfoRun run = WriteInfo(f, "[VCD]\r\n");
        EXPECT_EQ(Slice(run.info, 0, 8), Text(systemId));
        Bytes expected(2048, 0);
        std::memcpy(expected.data(), entriesId, 8);
        expected[8] = version;
        EXPECT_EQ(run.entries, expected) << systemId;
    }
}

TEST(InfoFile, PalFlagsOneBitPerTrackInListOrder) {
    ContextFixture f(DiscKind::Svcd);
    TrackList tracks;
    for (int i = 0; i < 10; ++i) tracks.Insert(MakeTrack("AVSEQ0" + std::to_string(i), 100, i == 0 || i == 8));
    EXPECT_EQ(Slice(WriteInfo(f, "[VCD]\r\n", &tracks).info, 30, 13), (Bytes{0x01, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    TrackList unknown;  // standard 2 is not PAL
    unknown.Insert(MakeTrack("AVSEQ01", 100, 2));
    unknown.Insert(MakeTrack("AVSEQ02", 100, 1));
    EXPECT_EQ(Slice(WriteInfo(f, "[VCD]\r\n", &unknown).info, 30, 2), (Bytes{0x02, 0x00}));
}

TEST(InfoFile, SegmentContentAndFlags) {
    ContextFixture f(DiscKind::Svcd);
    SegmentList one;
    one.Insert(MakeItem("SEG01", 3, 6, 4));
    const InfoRun run = WriteInfo(f, "[VCD]\r\n", nullptr, &one);
    EXPECT_EQ(Slice(run.info, 48, 12), (Bytes{0x00, 0x06, 0x00, 0x08, 0x00, 0x07, 0x00, 0x03, 0x86, 0xA6, 0xA6, 0x00}));
    EXPECT_EQ(run.info[2036], 0);

    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 1, 0x101, 1));  // audio code above 255: its low byte counts
    segments.Insert(MakeItem("SEG02", 1, 1, 1, 2));   // with an OGT stream
    ContextFixture svcd(DiscKind::SuperVcd);
    const InfoRun flagged = WriteInfo(svcd, "[VCD]\r\n", nullptr, &segments);
    EXPECT_EQ(flagged.info[2036], 0x03);
    EXPECT_EQ(Slice(flagged.info, 56, 2), (Bytes{0x02, 0x02}));
    EXPECT_EQ(SegmentContentByte(14, 0x50), 0x12);  // 0xC2 + 0x50 wraps at 256
    ContextFixture vcd(DiscKind::Vcd30);
    const InfoRun plain = WriteInfo(vcd, "[VCD]\r\n", nullptr, &segments);
    EXPECT_EQ(Slice(plain.info, 54, 5), (Bytes{0x00, 0x02, 0x14, 0x14, 0x00}));
    EXPECT_EQ(plain.info[2036], 0);
}

TEST(InfoFile, FailuresStopTheStepWithTheirMessage) {
    TrackList tracks;
    tracks.Insert(MakeTrack("AVSEQ01", 100, 1));
    {
        ContextFixture f(DiscKind::Svcd);
        const InfoRun run = WriteInfo(f, "[TRACK]\r\n", &tracks);
        EXPECT_EQ(run.result, kInfoFilesFailed);
        EXPECT_EQ(f.log.Last(), "Error 2000: VCD section doesn't be found");
        EXPECT_EQ(run.info, Text("SUPERVCD" + std::string(2040, '\0')));  // the system ID alone
        EXPECT_EQ(run.entries.size(), 2048u);
    }
    for (const char* key : {"ALBUM", "VERSION", "VOLUME", "ANZVOL"}) {
        ContextFixture f(DiscKind::Svcd);
        const InfoRun run = WriteInfo(f, std::string("[VCD]\r\nVOLUME = 3\r\n") + key + " 4\r\n", &tracks);
        EXPECT_EQ(run.result, kInfoFilesFailed) << key;
        EXPECT_EQ(f.messages, std::vector<std::string>{std::string("Find <") + key + "> error"});
        EXPECT_EQ(Slice(run.info, 26, 2), (Bytes{0x00, 0x03}));  // keys read before stay
        EXPECT_EQ(run.info[30], 0) << key;
    }
    for (const char* line : {"VERSION = 256", "VERSION = 1.300", "VOLUME = 65536", "ANZVOL = -1"}) {
        ContextFixture f(DiscKind::Svcd);
        EXPECT_EQ(WriteInfo(f, std::string("[VCD]\r\n") + line + "\r\n").result, kInfoFilesFailed) << line;
        EXPECT_NE(f.log.Last().find("does not fit"), std::string::npos) << f.log.Last();
    }
    ContextFixture ok(DiscKind::Svcd);
    EXPECT_EQ(WriteInfo(ok, "[VCD]\r\nVERSION = 255.255\r\nVOLUME = 65535\r\n").result, 0);

    ContextFixture f(DiscKind::Svcd);
    SegmentList segments;
    segments.Insert(MakeItem("SEG01", 1000));
    segments.Insert(MakeItem("SEG02", 981));  // 1981 content bytes: one too many
    EXPECT_EQ(WriteInfo(f, "[VCD]\r\n", nullptr, &segments).result, kInfoFilesFailed);
    EXPECT_NE(f.log.Last().find("1980"), std::string::npos) << f.log.Last();
}

TEST(InfoFileRecord, DecodeRoundTripAndDefensiveReads) {
    InfoFileRecord record;
    record.SetSystemId("SUPERVCD");
    record.version = 1;
    record.SetAlbum("Album");
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
    EXPECT_TRUE(back.IsPalTrack(103));
    EXPECT_FALSE(back.IsPalTrack(1));

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
