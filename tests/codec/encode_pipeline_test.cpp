#include <gtest/gtest.h>

#include <algorithm>

#include "codec/bitmap_header.h"
#include "codec/still_codec.h"
#include "content/segment_items.h"
#include "mpeg/encode_pipeline.h"
#include "platform/bytes.h"
#include "platform/paths.h"
#include "tests/codec/codec_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

constexpr size_t kUnit = 2336;

// The host's progress window: records the message line and presses Cancel
// at the chosen poll (1 = the poll after pass 1, and so on).
class ScriptedSink : public ProgressSink {
public:
    int cancelAtPoll = 0;
    int polls = 0;
    std::vector<std::string> messages;

    void SetMessage(const std::string& text) override { messages.push_back(text); }
    bool PumpPendingMessages() override { return ++polls == cancelAtPoll; }
};

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        workFolder = dir / "work/";
        ASSERT_TRUE(MakeDirectory(workFolder));
        ctx.log = &log;
        ctx.showMessage = [this](const std::string& text) { shown.push_back(text); };
        ctx.progress = &progress;
        ctx.workFolder = workFolder;
        progress.Open();
    }

    int Run(DiscKind kind, const std::string& bitmap, int mode) {
        ctx.kind = kind;
        return EncodeStillPicture(ctx, bitmap, target, mode);
    }

    bool LogHas(const std::string& text) const {
        for (const std::string& line : log.Lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    // Nothing of a run may stay in the work folder, success or not.
    void ExpectWorkFolderEmpty() const {
        for (const FoundEntry& e : FindFiles(workFolder, "*"))
            if (e.name != "." && e.name != "..") ADD_FAILURE() << "left in the work folder: " << e.name;
    }

    test::TempDir dir;
    std::string workFolder;
    std::string target = dir / "ITEM.MPS";
    LogList log;
    std::vector<std::string> shown;
    ScriptedSink sink;
    ProgressWindow progress{&sink};
    BuildContext ctx;
};

std::vector<uint8_t> SubheaderOf(const std::vector<uint8_t>& file, size_t unit) {
    return {file.begin() + ptrdiff_t(unit * kUnit), file.begin() + ptrdiff_t(unit * kUnit + 8)};
}

TEST_F(PipelineTest, BitmapsBecomeSectorModeStillsOfTheDiscsSize) {
    const std::vector<uint8_t> video = {1, 1, 0x62, 0x0F, 1, 1, 0x62, 0x0F};
    const std::vector<uint8_t> cvdStill = {1, 2, 0x62, 0x1F, 1, 2, 0x62, 0x1F};
    const struct { DiscKind kind; int bitmapWidth; int bitmapHeight; const char* codecName; int width; bool blankFirst; } cases[] = {
        {DiscKind::Vcd30, 352, 288, "mpeg1video", 352, false},
        {DiscKind::Vcd30, 704, 480, "mpeg1video", 704, false},
        {DiscKind::Svcd, 480, 576, "mpeg2video", 480, false},
        {DiscKind::Svcd, 704, 576, "mpeg2video", 704, false},
        {DiscKind::SuperVcd, 352, 576, "mpeg2video", 704, false},
        {DiscKind::Cvd, 704, 576, "mpeg2video", 352, true},  // a CVD still begins with a blank unit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(int(c.kind)) + " " + std::to_string(c.bitmapWidth));
        log.Reset();
        ASSERT_EQ(Run(c.kind, test::TestBitmap(c.bitmapWidth, c.bitmapHeight), PictureModeFor(c.kind, c.bitmapWidth)), 0)
            << log.Last();
        const std::vector<uint8_t> file = test::ReadBytes(target);
        ASSERT_GE(file.size(), 3 * kUnit);
        EXPECT_EQ(file.size() % kUnit, 0u);
        const size_t first = c.blankFirst ? 1 : 0;
        if (c.blankFirst) {
            EXPECT_EQ(SubheaderOf(file, 0), (std::vector<uint8_t>{1, 0, 0x60, 0, 1, 0, 0x60, 0}));
            EXPECT_TRUE(std::all_of(file.begin() + 8, file.begin() + ptrdiff_t(kUnit), [](uint8_t b) { return b == 0; }));
        }
        // The system-header unit and the picture's units are video units.
        EXPECT_EQ(SubheaderOf(file, first), c.blankFirst ? cvdStill : video);
        EXPECT_EQ(SubheaderOf(file, first + 1), c.blankFirst ? cvdStill : video);
        const std::string packs = dir / "packs.mpg";
        test::WriteBytes(packs, test::PackAreasOf(file));
        const test::ProbedVideo v = test::ProbeVideo(packs);
        EXPECT_EQ(v.codec, c.codecName) << v.raw;
        EXPECT_EQ(v.width, c.width) << v.raw;
        EXPECT_EQ(v.height, c.bitmapHeight) << v.raw;
        EXPECT_EQ(v.frames, 1) << v.raw;
        ExpectWorkFolderEmpty();
        EXPECT_TRUE(shown.empty()) << shown.front();
    }
}

// Rows of a bottom-up 24-bit bitmap reversed and its height made negative:
// the same picture stored top-down.
std::vector<uint8_t> TopDownCopy(const std::vector<uint8_t>& bitmap) {
    codec::BitmapHeader h;
    EXPECT_TRUE(codec::ParseBitmapHeader(bitmap.data(), bitmap.size(), h, nullptr));
    std::vector<uint8_t> copy = bitmap;
    const size_t row = (size_t(h.width) * 3 + 3) / 4 * 4;
    for (int32_t y = 0; y < h.height; ++y)
        std::copy_n(bitmap.begin() + ptrdiff_t(h.dataOffset + size_t(y) * row), row,
                    copy.begin() + ptrdiff_t(h.dataOffset + size_t(h.height - 1 - y) * row));
    PutLe32(copy.data() + 22, uint32_t(-h.height));
    return copy;
}

TEST_F(PipelineTest, StillShowsTheBitmapsPicture) {
    // No scaling at 352 x 288 on a Video CD: the decoded still must match
    // the bitmap closely, the right way up and with its colours in place.
    const std::string bitmap = test::TestBitmap(352, 288);
    const std::string topDown = dir / "TOPDOWN.BMP";
    test::WriteBytes(topDown, TopDownCopy(test::ReadBytes(bitmap)));
    const std::vector<uint8_t> reference = test::DecodeToRgb(bitmap, dir / "ref.rgb");
    ASSERT_EQ(reference.size(), 352u * 288u * 3u);
    EXPECT_EQ(test::DecodeToRgb(topDown, dir / "flip.rgb"), reference);

    for (const std::string& source : {bitmap, topDown}) {
        ASSERT_EQ(Run(DiscKind::Vcd30, source, 2), 0) << log.Last();
        const std::string packs = dir / "packs.mpg";
        test::WriteBytes(packs, test::PackAreasOf(test::ReadBytes(target)));
        const std::vector<uint8_t> still = test::DecodeToRgb(packs, dir / "still.rgb");
        EXPECT_LT(test::MeanDifference(still, reference), 8.0) << source;
        // A picture upside down or with red and blue swapped is far off.
        std::vector<uint8_t> swapped = reference;
        for (size_t i = 0; i + 2 < swapped.size(); i += 3) std::swap(swapped[i], swapped[i + 2]);
        EXPECT_GT(test::MeanDifference(still, swapped), 20.0) << source;
        std::vector<uint8_t> flipped(reference.size());
        const size_t row = 352 * 3;
        for (size_t y = 0; y < 288; ++y)
            std::copy_n(reference.begin() + ptrdiff_t(y * row), row, flipped.begin() + ptrdiff_t((287 - y) * row));
        EXPECT_GT(test::MeanDifference(still, flipped), 20.0) << source;
    }
}

TEST_F(PipelineTest, LogsEachPassAndShowsTheAction) {
    const std::string bitmap = test::TestBitmap(352, 288);
    ASSERT_EQ(Run(DiscKind::Vcd30, bitmap, 2), 0) << log.Last();
    const std::vector<std::string> expected = {
        "Encoding " + bitmap + ", Normal",
        "Passing 1, encoding...",
        "Passing 2, muxing...",
        "Passing 3, coverting to sector mode...",
    };
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(log.Selected(), log.Count() - 1);
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Encoding " + bitmap + ", Normal"});

    ASSERT_EQ(Run(DiscKind::Vcd30, bitmap, 3), 0) << log.Last();
    EXPECT_TRUE(LogHas("Encoding " + bitmap + ", High"));
}

TEST_F(PipelineTest, FailuresLogTheirPassAndLeaveNothing) {
    std::vector<uint8_t> bytes = test::ReadBytes(test::TestBitmap(480, 576));
    const std::string broken = dir / "BROKEN.BMP";
    test::WriteBytes(broken, std::vector<uint8_t>(bytes.begin(), bytes.end() - 5000));
    EXPECT_EQ(Run(DiscKind::Svcd, broken, 2), -1);
    EXPECT_TRUE(LogHas("Can't encode " + broken)) << log.Last();
    EXPECT_FALSE(LogHas("Passing 2"));
    EXPECT_EQ(Run(DiscKind::Svcd, dir / "MISSING.BMP", 2), -1);
    const std::string overlong = dir / (std::string(250, 'B') + ".BMP");
    test::WriteBytes(overlong, bytes);
    EXPECT_EQ(Run(DiscKind::Svcd, overlong, 2), -1);
    EXPECT_TRUE(LogHas("longer than 255 characters")) << log.Last();
    EXPECT_FALSE(test::FileExists(target));
    ExpectWorkFolderEmpty();

    // A folder where the program stream should be created: the multiplexer's
    // own result comes back.
    const std::string bitmap = dir / "STILL.BMP";
    test::WriteBytes(bitmap, bytes);
    ASSERT_TRUE(MakeDirectory(workFolder + "STILL.PS"));
    EXPECT_EQ(Run(DiscKind::Svcd, bitmap, 2), int(codec::CodecResult::OutputFailure));
    EXPECT_TRUE(LogHas("Can't multiplex")) << log.Last();
    EXPECT_FALSE(PathExists(workFolder + "STILL.VBS"));
    EXPECT_FALSE(test::FileExists(target));
    ASSERT_TRUE(RemoveTree(workFolder + "STILL.PS"));

    target = dir / "TARGET.MPS";
    ASSERT_TRUE(MakeDirectory(target));
    EXPECT_EQ(Run(DiscKind::Svcd, bitmap, 2), -1);
    EXPECT_TRUE(LogHas("Can't convert")) << log.Last();
    ExpectWorkFolderEmpty();
}

TEST_F(PipelineTest, CancelBetweenPassesStopsAndLeavesNothing) {
    const std::string bitmap = test::TestBitmap(352, 288);
    for (int poll = 1; poll <= 3; ++poll) {
        SCOPED_TRACE(poll);
        log.Reset();
        sink.polls = 0;
        sink.cancelAtPoll = poll;
        EXPECT_EQ(Run(DiscKind::Vcd30, bitmap, 2), -1);
        EXPECT_EQ(sink.polls, poll);
        EXPECT_EQ(LogHas("Passing 2"), poll >= 2);
        EXPECT_EQ(LogHas("Passing 3"), poll >= 3);
        EXPECT_FALSE(test::FileExists(target));
        ExpectWorkFolderEmpty();
    }
    // A Cancel honoured once does not stop the next still.
    log.Reset();
    EXPECT_EQ(Run(DiscKind::Vcd30, bitmap, 2), 0) << log.Last();
}

}  // namespace
}  // namespace qorvcd
