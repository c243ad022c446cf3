// The SEGMENT block: numbering, sizes, codes, SPICONTX.SVD and bitmaps.
#include "content/segment_items.h"

#include <filesystem>

#include "content/spicontx.h"
#include "content_fixture.h"

namespace qorvcd::test {
namespace {

constexpr uint64_t kUnit = 2336;

class SegmentItemsTest : public ::testing::Test {
  protected:
    static void SectorFile(ContentFixture& f, const std::string& name, uint64_t size) {
        WriteBytes(f.dir / name, std::vector<uint8_t>(size, 0x11));
    }
    bool Read(ContentFixture& f, const std::string& script) {
        f.OpenScript(script);
        return ReadSegmentItems(f.reader, f.ctx, segments, result);
    }
    SegmentList segments;
    int result = 0;
};

TEST_F(SegmentItemsTest, ItemsAreNumberedInIdOrderBySegments) {
    ContentFixture f(DiscKind::Vcd30);
    SectorFile(f, "two.mps", kUnit * 151);
    SectorFile(f, "one.mps", kUnit * 150);
    SectorFile(f, "three.mps", kUnit * 301);
    ASSERT_TRUE(Read(f,
                     "[PBC]\nSEGMENT\nSEG02 = two.mps\nSEG03=three.mps\nSEG01 = one.mps\n"
                     "ENDSEGMENT\n"))
        << f.AllOutput();
    const auto& items = segments.Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].id, "SEG01");
    EXPECT_EQ(items[0].segmentCount, 1u);
    EXPECT_EQ(items[0].number, 1000u);
    EXPECT_EQ(items[1].id, "SEG02");
    EXPECT_EQ(items[1].segmentCount, 2u);
    EXPECT_EQ(items[1].number, 1001u);
    EXPECT_EQ(items[2].segmentCount, 3u);
    EXPECT_EQ(items[2].number, 1003u);
    EXPECT_EQ(items[0].origin, SegmentOrigin::AuthorFile);
    EXPECT_EQ(items[0].fileName, f.dir / "one.mps");
    // No SPICONTX.SVD on a Video CD.
    EXPECT_FALSE(FileExists(f.ctx.workFolder + "SPICONTX.SVD"));
}

TEST_F(SegmentItemsTest, SizesMustBeWholeSectors) {
    for (uint64_t size : {kUnit * 150 + 1, uint64_t(0)}) {
        ContentFixture f(DiscKind::Vcd30);
        SectorFile(f, "odd.mps", size);
        result = 0;
        segments.Clear();
        EXPECT_FALSE(Read(f, "[PBC]\nSEGMENT\nSEG01 = odd.mps\nENDSEGMENT\n"));
        EXPECT_EQ(result, 2000);
        EXPECT_TRUE(f.Logged("File " + f.dir / "odd.mps" + " length error " + std::to_string(size)))
            << f.AllOutput();
    }
}

TEST_F(SegmentItemsTest, SpicontxHoldsOnePairPerSegment) {
    ContentFixture f(DiscKind::Svcd);
    SectorFile(f, "a.mps", kUnit * 151);
    SectorFile(f, "b.mps", kUnit * 10);
    ASSERT_TRUE(Read(f,
                     "[PBC]\nSEGMENT\n"
                     "SEG01 = a.mps AUDIO 1 VIDEO 4 OGT 2\n"
                     "SEG02 = b.mps AUDIO 3 VIDEO 1\n"
                     "ENDSEGMENT\nPLAYLIST\n"))
        << f.AllOutput();
    EXPECT_EQ(segments.Items()[0].videoCode, 4);
    EXPECT_EQ(segments.Items()[1].ogtCode, 0);
    const auto bytes = ReadBytes(f.ctx.workFolder + "SPICONTX.SVD");
    ASSERT_EQ(bytes.size(), 4096u);
    const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 18);
    EXPECT_EQ(head, (std::vector<uint8_t>{'S', 'P', 'I', 'C', 'O', 'N', 'S', 'V', 1, 0, 0x02, 0x01,
                                          0x02, 0x01, 0x00, 0x03, 0, 0}));
    EXPECT_TRUE(std::all_of(bytes.begin() + 18, bytes.end(), [](uint8_t b) { return b == 0; }));

    SpicontxContents decoded;
    std::string error;
    ASSERT_TRUE(DecodeSpicontx(bytes.data(), bytes.size(), decoded, error)) << error;
    EXPECT_EQ(decoded.version, 1);
    ASSERT_EQ(decoded.pairs.size(), 3u);
    EXPECT_EQ(decoded.pairs[2].audio, 3);
}

TEST_F(SegmentItemsTest, NoSegmentBlockLeavesAnEmptySpicontx) {
    ContentFixture f(DiscKind::SuperVcd);
    ASSERT_TRUE(Read(f, "[PBC]\nPLAYLIST P1 PLAY SEG01 ENDPLAYLIST\n"));
    EXPECT_EQ(segments.Count(), 0u);
    const auto bytes = ReadBytes(f.ctx.workFolder + "SPICONTX.SVD");
    const SpicontxImage empty = EmptySpicontx();
    EXPECT_EQ(bytes, std::vector<uint8_t>(empty.begin(), empty.end()));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 11),
              (std::vector<uint8_t>{'S', 'P', 'I', 'C', 'O', 'N', 'S', 'V', 1, 0, 0}));
}

TEST_F(SegmentItemsTest, CvdSegmentsCarryNoAudioCode) {
    ContentFixture f(DiscKind::Cvd);
    SectorFile(f, "a.mps", kUnit);
    ASSERT_TRUE(Read(f, "[PBC]\nSEGMENT\nSEG01 = a.mps AUDIO 3 VIDEO 2\nENDSEGMENT\n"));
    EXPECT_EQ(segments.Items()[0].audioCode, 0);
    EXPECT_EQ(segments.Items()[0].videoCode, 2);
    EXPECT_FALSE(FileExists(f.ctx.workFolder + "SPICONTX.SVD"));
}

TEST_F(SegmentItemsTest, ErrorsFailTheStepAndLeaveSpicontxEmpty) {
    struct Case {
        const char* name;
        const char* entry;
        const char* logLine;  // or a message box when boxed
        bool boxed;
    };
    const Case cases[] = {
        {"id", "ITEM01 = a.mps AUDIO 0 VIDEO 1", "ID_Name= ITEM01", false},
        {"no end", "SEG01 = a.mps AUDIO 0 VIDEO 1\n[TRACK]", "ID_Name= [TRACK]", false},
        {"equals", "SEG01 a.mps AUDIO 0 VIDEO 1", "Not found '=' sign", false},
        {"open", "SEG01 = none.mps AUDIO 0 VIDEO 1", "Can't open file NONE.MPS", false},
        {"bmp open", "SEG01 = none.bmp AUDIO 0 VIDEO 1", "Can't open file NONE.BMP", false},
        {"not bmp", "SEG01 = fake.bmp AUDIO 0 VIDEO 1", "File FAKE.BMP is not a BMP file", false},
        {"audio", "SEG01 = a.mps VIDEO 1", "Missing AUDIO, VIDEO", false},
        {"video", "SEG01 = a.mps AUDIO 0 OGT 1", "Missing VIDEO", true},
        {"long id", "SEG000001 = a.mps AUDIO 0 VIDEO 1",
         "Error: Segment item ID SEG000001 is too long, at most 7 characters", false},
    };
    for (const Case& c : cases) {
        ContentFixture f(DiscKind::Svcd);
        SectorFile(f, "a.mps", kUnit);
        WriteBytes(f.dir / "fake.bmp", std::vector<uint8_t>(100, 'X'));
        segments.Clear();
        result = 0;
        EXPECT_FALSE(Read(f, std::string("[PBC]\nSEGMENT\n") + c.entry + "\nENDSEGMENT\n"))
            << c.name;
        EXPECT_EQ(result, 2000) << c.name;
        EXPECT_TRUE(c.boxed ? f.Shown(c.logLine) : f.Logged(c.logLine)) << c.name << "\n"
                                                                        << f.AllOutput();
        EXPECT_TRUE(ReadBytes(f.ctx.workFolder + "SPICONTX.SVD").empty()) << c.name;
    }
}

TEST_F(SegmentItemsTest, MoreThan998SegmentsAreRefused) {
    // Sparse files: only their sizes matter here.
    auto sparse = [](const std::string& path, uint64_t size) {
        WriteBytes(path, {});
        std::filesystem::resize_file(path, size);
    };
    const std::string script =
        "[PBC]\nSEGMENT\nSEG01 = a.mps\nSEG02 = b.mps\nSEG03 = c.mps\nENDSEGMENT\n";
    for (uint64_t lastSegments : {0, 1}) {
        ContentFixture f(DiscKind::Vcd30);
        sparse(f.dir / "a.mps", kUnit * 150 * 997);
        sparse(f.dir / "b.mps", kUnit * 150);
        sparse(f.dir / "c.mps", kUnit * 150 * lastSegments);
        segments.Clear();
        result = 0;
        if (lastSegments == 0) {
            // 998 segments in all: the last item is number 1997.
            ASSERT_TRUE(Read(f, "[PBC]\nSEGMENT\nSEG01 = a.mps\nSEG02 = b.mps\nENDSEGMENT\n"))
                << f.AllOutput();
            EXPECT_EQ(segments.Items()[1].number, 1997u);
        } else {
            EXPECT_FALSE(Read(f, script));
            EXPECT_TRUE(f.Logged("Error ::In SEGMENT over 1998 section!!")) << f.AllOutput();
            EXPECT_EQ(result, 2000);
        }
    }
}

TEST_F(SegmentItemsTest, BitmapsBecomeConvertedStillsRemovedAtClearing) {
    ContentFixture f(DiscKind::Svcd);
    const std::string bitmap =
        EnsureMedia("content_480x576.bmp",
                    "ffmpeg -y -loglevel error -f lavfi -i testsrc=size=480x576 -frames:v 1 -c:v "
                    "bmp -f image2 {out}");
    MakeDirectory(f.dir / "one");
    MakeDirectory(f.dir / "two");
    std::filesystem::copy_file(bitmap, f.dir / "one/pic.bmp");
    std::filesystem::copy_file(bitmap, f.dir / "two/PIC.BMP");
    ASSERT_TRUE(Read(f,
                     "[PBC]\nSEGMENT\n"
                     "SEG01 = one\\pic.bmp AUDIO 0 VIDEO 1\n"
                     "SEG02 = two/pic.bmp AUDIO 0 VIDEO 1\n"
                     "ENDSEGMENT\n"))
        << f.AllOutput();
    const auto& items = segments.Items();
    ASSERT_EQ(items.size(), 2u);
    // Same base name, different folders: two converted files.
    EXPECT_NE(items[0].fileName, items[1].fileName);
    for (const SegmentItem& item : items) {
        EXPECT_EQ(item.origin, SegmentOrigin::Converted);
        EXPECT_EQ(item.fileName.rfind(f.ctx.workFolder, 0), 0u) << item.fileName;
        const auto bytes = ReadBytes(item.fileName);
        EXPECT_FALSE(bytes.empty());
        EXPECT_EQ(bytes.size() % kUnit, 0u);
        EXPECT_EQ(item.segmentCount, 1u);
    }
    const std::string first = items[0].fileName;
    segments.Clear();
    EXPECT_FALSE(FileExists(first));
}

}  // namespace
}  // namespace qorvcd::test
