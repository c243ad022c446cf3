// The SEGMENT block: numbering, sizes, codes, SPICONTX.SVD and bitmaps.
#include "content/segment_items.h"

#include <filesystem>

#include "content/spicontx.h"
#include "content_fixture.h"

namespace qorvcd::test {
namespace {

constexpr uint64_t kUnit = 2336;
using Bytes = std::vector<uint8_t>;

struct SegmentRun {
    SegmentList segments;
    int result = 0;
    bool Read(ContentFixture& f, const std::string& block) {
        f.OpenScript("[PBC]\n" + block);
        return ReadSegmentItems(f.reader, f.ctx, segments, result);
    }
};

void SparseFile(const std::string& path, uint64_t size) {
    WriteBytes(path, {});
    std::filesystem::resize_file(path, size);
}

TEST(SegmentItems, NumberedInIdOrderBySegments) {
    ContentFixture f(DiscKind::Vcd30);
    SparseFile(f.dir / "two.mps", kUnit * 151);
    SparseFile(f.dir / "one.mps", kUnit * 150);
    SparseFile(f.dir / "three.mps", kUnit * 301);
    SegmentRun run;
    ASSERT_TRUE(run.Read(f, "SEGMENT\nSEG02 = two.mps\nSEG03=three.mps\nSEG01 = one.mps\nENDSEGMENT\n"))
        << f.AllOutput();
    const auto& items = run.segments.Items();
    ASSERT_EQ(items.size(), 3u);
    const std::tuple<const char*, uint32_t, uint32_t> expected[] = {
        {"SEG01", 1, 1000}, {"SEG02", 2, 1001}, {"SEG03", 3, 1003}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i].id, std::get<0>(expected[i]));
        EXPECT_EQ(items[i].segmentCount, std::get<1>(expected[i]));
        EXPECT_EQ(items[i].number, std::get<2>(expected[i]));
    }
    EXPECT_EQ(items[0].origin, SegmentOrigin::AuthorFile);
    EXPECT_EQ(items[0].fileName, f.dir / "one.mps");
    EXPECT_FALSE(FileExists(f.ctx.workFolder + "SPICONTX.SVD"));  // none on a Video CD

    // 998 segments fit (the last item is number 1997); one more is refused.
    for (uint64_t extra : {0, 1}) {
        ContentFixture g(DiscKind::Vcd30);
        SparseFile(g.dir / "a.mps", kUnit * 150 * 997);
        SparseFile(g.dir / "b.mps", kUnit * 150 * (1 + extra));
        SegmentRun big;
        EXPECT_EQ(big.Read(g, "SEGMENT\nSEG01 = a.mps\nSEG02 = b.mps\nENDSEGMENT\n"), extra == 0) << g.AllOutput();
        if (extra == 0) {
            EXPECT_EQ(big.segments.Items()[1].number, 1997u);
        } else {
            EXPECT_TRUE(g.Logged("Error ::In SEGMENT over 1998 section!!")) << g.AllOutput();
            EXPECT_EQ(big.result, 2000);
        }
    }
}

TEST(SegmentItems, SpicontxHoldsOnePairPerSegment) {
    ContentFixture f(DiscKind::Svcd);
    WriteBytes(f.dir / "a.mps", Bytes(kUnit * 151, 0x11));
    WriteBytes(f.dir / "b.mps", Bytes(kUnit * 10, 0x11));
    SegmentRun run;
    ASSERT_TRUE(run.Read(f, "SEGMENT\nSEG01 = a.mps AUDIO 1 VIDEO 4 OGT 2\nSEG02 = b.mps AUDIO 3 VIDEO 1\n"
                            "ENDSEGMENT\nPLAYLIST\n"))
        << f.AllOutput();
    EXPECT_EQ(run.segments.Items()[1].ogtCode, 0);
    const auto bytes = ReadBytes(f.ctx.workFolder + "SPICONTX.SVD");
    ASSERT_EQ(bytes.size(), 4096u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 18),
              (Bytes{'S', 'P', 'I', 'C', 'O', 'N', 'S', 'V', 1, 0, 0x02, 0x01, 0x02, 0x01, 0x00, 0x03, 0, 0}));
    EXPECT_TRUE(std::all_of(bytes.begin() + 18, bytes.end(), [](uint8_t b) { return b == 0; }));
    SpicontxContents decoded;
    std::string error;
    ASSERT_TRUE(DecodeSpicontx(bytes.data(), bytes.size(), decoded, error)) << error;
    ASSERT_EQ(decoded.pairs.size(), 3u);
    EXPECT_EQ(decoded.pairs[2].audio, 3);

    // Without a SEGMENT block the file is the empty one.
    ContentFixture g(DiscKind::SuperVcd);
    SegmentRun none;
    ASSERT_TRUE(none.Read(g, "PLAYLIST P1 PLAY SEG01 ENDPLAYLIST\n"));
    const SpicontxImage empty = EmptySpicontx();
    EXPECT_EQ(ReadBytes(g.ctx.workFolder + "SPICONTX.SVD"), Bytes(empty.begin(), empty.end()));
    EXPECT_EQ(Bytes(empty.begin(), empty.begin() + 11), (Bytes{'S', 'P', 'I', 'C', 'O', 'N', 'S', 'V', 1, 0, 0}));

    // CVD segments carry no audio code and no SPICONTX.SVD.
    ContentFixture c(DiscKind::Cvd);
    WriteBytes(c.dir / "a.mps", Bytes(kUnit, 0x11));
    SegmentRun cvd;
    ASSERT_TRUE(cvd.Read(c, "SEGMENT\nSEG01 = a.mps AUDIO 3 VIDEO 2\nENDSEGMENT\n"));
    EXPECT_EQ(cvd.segments.Items()[0].audioCode, 0);
    EXPECT_EQ(cvd.segments.Items()[0].videoCode, 2);
    EXPECT_FALSE(FileExists(c.ctx.workFolder + "SPICONTX.SVD"));
}

TEST(SegmentItems, ErrorsFailTheStepAndLeaveSpicontxEmpty) {
    struct Case {
        const char* entry;
        std::string message;
        bool boxed;  // else a log line
    };
    const Case cases[] = {
        {"ITEM01 = a.mps AUDIO 0 VIDEO 1", "ID_Name= ITEM01", false},
        {"SEG01 = a.mps AUDIO 0 VIDEO 1\n[TRACK]", "ID_Name= [TRACK]", false},
        {"SEG01 a.mps AUDIO 0 VIDEO 1", "Not found '=' sign", false},
        {"SEG01 = none.mps AUDIO 0 VIDEO 1", "Can't open file NONE.MPS", false},
        {"SEG01 = none.bmp AUDIO 0 VIDEO 1", "Can't open file NONE.BMP", false},
        {"SEG01 = fake.bmp AUDIO 0 VIDEO 1", "File FAKE.BMP is not a BMP file", false},
        {"SEG01 = a.mps VIDEO 1", "Missing AUDIO, VIDEO", false},
        {"SEG01 = a.mps AUDIO 0 OGT 1", "Missing VIDEO", true},
        {"SEG000001 = a.mps AUDIO 0 VIDEO 1", "Error: Segment item ID SEG000001 is too long, at most 7 characters",
         false},
        {"SEG01 = odd.mps AUDIO 0 VIDEO 1", "length error " + std::to_string(kUnit + 1), false},
        {"SEG01 = empty.mps AUDIO 0 VIDEO 1", "length error 0", false},
    };
    for (const Case& c : cases) {
        ContentFixture f(DiscKind::Svcd);
        WriteBytes(f.dir / "a.mps", Bytes(kUnit, 0x11));
        WriteBytes(f.dir / "odd.mps", Bytes(kUnit + 1, 0x11));
        WriteBytes(f.dir / "empty.mps", {});
        WriteBytes(f.dir / "fake.bmp", Bytes(100, 'X'));
        SegmentRun run;
        EXPECT_FALSE(run.Read(f, std::string("SEGMENT\n") + c.entry + "\nENDSEGMENT\n")) << c.entry;
        EXPECT_EQ(run.result, 2000) << c.entry;
        EXPECT_TRUE(c.boxed ? f.Shown(c.message) : f.LoggedContaining(c.message)) << c.entry << "\n"
                                                                                 << f.AllOutput();
        EXPECT_TRUE(ReadBytes(f.ctx.workFolder + "SPICONTX.SVD").empty()) << c.entry;
    }
    ContentFixture f(DiscKind::Vcd30);
    WriteBytes(f.dir / "odd.mps", Bytes(kUnit * 150 + 1, 0));
    SegmentRun run;
    EXPECT_FALSE(run.Read(f, "SEGMENT\nSEG01 = odd.mps\nENDSEGMENT\n"));
    EXPECT_TRUE(f.Logged("File " + f.dir / "odd.mps" + " length error " + std::to_string(kUnit * 150 + 1)))
        << f.AllOutput();
}

TEST(SegmentItems, BitmapsBecomeConvertedStillsRemovedAtClearing) {
    ContentFixture f(DiscKind::Svcd);
    const std::string bitmap = EnsureMedia(
        "content_480x576.bmp",
        "ffmpeg -y -loglevel error -f lavfi -i testsrc=size=480x576 -frames:v 1 -c:v bmp -f image2 {out}");
    MakeDirectory(f.dir / "one");
    MakeDirectory(f.dir / "two");
    std::filesystem::copy_file(bitmap, f.dir / "one/pic.bmp");
    std::filesystem::copy_file(bitmap, f.dir / "two/PIC.BMP");
    SegmentRun run;
    ASSERT_TRUE(run.Read(f, "SEGMENT\nSEG01 = one\\pic.bmp AUDIO 0 VIDEO 1\nSEG02 = two/pic.bmp AUDIO 0 VIDEO 1\n"
                            "ENDSEGMENT\n"))
        << f.AllOutput();
    const auto& items = run.segments.Items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_NE(items[0].fileName, items[1].fileName);  // same base name, two converted files
    for (const SegmentItem& item : items) {
        EXPECT_EQ(item.origin, SegmentOrigin::Converted);
        EXPECT_EQ(item.fileName.rfind(f.ctx.workFolder, 0), 0u) << item.fileName;
        const auto bytes = ReadBytes(item.fileName);
        EXPECT_FALSE(bytes.empty());
        EXPECT_EQ(bytes.size() % kUnit, 0u);
        EXPECT_EQ(item.segmentCount, 1u);
    }
    const std::string first = items[0].fileName;
    run.segments.Clear();
    EXPECT_FALSE(FileExists(first));
}

}  // namespace
}  // namespace qorvcd::test
