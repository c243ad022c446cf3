// Bitmaps through the three passes into sector-mode stills, checked by ffmpeg.
#include <gtest/gtest.h>

#include "codec/encode_pipeline.h"
#include "codec/still_codec.h"
#include "content/segment_items.h"
#include "platform/bytes.h"
#include "platform/paths.h"
#include "tests/codec/codec_media.h"
#include "tests/support/scripted_progress.h"

namespace qorvcd {
namespace {

constexpr size_t kUnit = 2336;


class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MakeDirectory(workFolder));
        std::tie(ctx.log, ctx.progress, ctx.workFolder) = std::tuple(&log, &progress, workFolder);
        progress.Open();
    }
    // Runs the pipeline; nothing of a run may stay in the work folder, success or not.
    int Run(DiscKind kind, const std::string& bitmap, int mode, const std::string& keep = "") {
        ctx.kind = kind;
        const int result = EncodeStillPicture(ctx, bitmap, target, mode);
        for (const FoundEntry& e : FindFiles(workFolder, "*"))
            if (e.name != "." && e.name != ".." && e.name != keep) ADD_FAILURE() << "left in the work folder: " << e.name;
        return result;
    }
    bool LogHas(const std::string& text) const {
        return std::any_of(log.Lines().begin(), log.Lines().end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }

    test::TempDir dir;
    std::string workFolder = dir / "work/", target = dir / "ITEM.MPS";
    LogList log;
    // Records the message line and presses Cancel at the chosen poll (1 = after pass 1).
    int cancelAtPoll = 0;
    test::ScriptedProgress progress{[this](int look) { return look == cancelAtPoll; }};
    BuildContext ctx;
};

TEST_F(PipelineTest, BitmapsBecomeSectorModeStillsOfTheDiscsSizeAndLogEachPass) {
    const std::vector<uint8_t> blank = {1, 0, 0x60, 0, 1, 0, 0x60, 0}, video = {1, 1, 0x62, 0x0F, 1, 1, 0x62, 0x0F},
                               cvdStill = {1, 2, 0x62, 0x1F, 1, 2, 0x62, 0x1F};
    const struct { DiscKind kind; int width; int height; const char* probed; } cases[] = {
        {DiscKind::Vcd30, 352, 480, "mpeg1video,352,240,30000/1001,1"},  // a full-height NTSC bitmap
        {DiscKind::SuperVcd, 352, 576, "mpeg2video,704,576,25/1,1"},
        {DiscKind::Cvd, 704, 480, "mpeg2video,352,480,30000/1001,1"},  // a CVD still begins with a blank unit
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Run(c.kind, test::TestBitmap(c.width, c.height), PictureModeFor(c.kind, c.width)), 0) << log.Last();
        const std::vector<uint8_t> file = test::ReadBytes(target);
        ASSERT_TRUE(file.size() >= 3 * kUnit && file.size() % kUnit == 0) << file.size();
        const auto subheader = [&](size_t unit) { return std::vector<uint8_t>(&file[unit * kUnit], &file[unit * kUnit + 8]); };
        // The system-header unit and the picture's first unit are video units.
        const bool cvd = c.kind == DiscKind::Cvd;
        EXPECT_EQ(subheader(0), cvd ? blank : video);
        EXPECT_EQ(subheader(1), cvd ? cvdStill : video);
        EXPECT_TRUE(!cvd || std::count(file.begin() + 8, file.begin() + ptrdiff_t(kUnit), 0) == ptrdiff_t(kUnit - 8));
        EXPECT_EQ(test::ProbeVideo(test::WritePackAreas(target, dir / "packs.mpg")), c.probed);
    }
    log.Reset();
    const std::string bitmap = test::TestBitmap(352, 288);
    ASSERT_EQ(Run(DiscKind::Vcd30, bitmap, 2), 0) << log.Last();
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Encoding " + bitmap + ", Normal", "Passing 1, encoding...",
                                                     "Passing 2, muxing...", "Passing 3, coverting to sector mode..."}));
    EXPECT_EQ(progress.messages.back(), "Encoding " + bitmap + ", Normal");
    EXPECT_TRUE(Run(DiscKind::Vcd30, bitmap, 3) == 0 && LogHas("Encoding " + bitmap + ", High")) << log.Last();
}

TEST_F(PipelineTest, StillShowsTheBitmapsPictureEvenFromATopDownBitmap) {
    // No scaling at 352 x 288 on a Video CD: the decoded still must match the bitmap closely.
    const std::string bitmap = test::TestBitmap(352, 288);
    const std::vector<uint8_t> original = test::ReadBytes(bitmap), reference = test::DecodeToRgb(bitmap, dir / "ref.rgb");
    ASSERT_EQ(reference.size(), 352u * 288u * 3u);
    std::vector<uint8_t> topDown = original, flipped(reference.size()), swapped = reference;
    const size_t row = 352 * 3, offset = original.size() - reference.size();  // rows need no padding
    for (size_t y = 0; y < 288; ++y) {
        std::copy_n(&original[offset + y * row], row, &topDown[offset + (287 - y) * row]);
        std::copy_n(&reference[y * row], row, &flipped[(287 - y) * row]);
    }
    PutLe32(topDown.data() + 22, uint32_t(-288));
    test::WriteBytes(dir / "TOPDOWN.BMP", topDown);
    for (size_t i = 0; i + 2 < swapped.size(); i += 3) std::swap(swapped[i], swapped[i + 2]);
    for (const std::string& source : {bitmap, dir / "TOPDOWN.BMP"}) {
        ASSERT_EQ(Run(DiscKind::Vcd30, source, 2), 0) << log.Last();
        const std::vector<uint8_t> still =
            test::DecodeToRgb(test::WritePackAreas(target, dir / "packs.mpg"), dir / "still.rgb");
        EXPECT_LT(test::MeanDifference(still, reference), 8.0) << source;
        // Upside down, or red and blue swapped, is far off.
        EXPECT_GT(std::min(test::MeanDifference(still, swapped), test::MeanDifference(still, flipped)), 20.0) << source;
    }
}

TEST_F(PipelineTest, FailuresAndCancelLogTheirPassAndLeaveNothing) {
    const std::vector<uint8_t> bytes = test::ReadBytes(test::TestBitmap(352, 288));
    const std::string broken = dir / "BROKEN.BMP", overlong = dir / (std::string(250, 'B') + ".BMP"), good = dir / "STILL.BMP";
    test::WriteBytes(broken, std::vector<uint8_t>(bytes.begin(), bytes.end() - 5000));
    for (const std::string& path : {overlong, good}) test::WriteBytes(path, bytes);
    const std::pair<std::string, const char*> failures[] = {
        {broken, "Can't encode "}, {dir / "MISSING.BMP", "Can't encode "}, {overlong, "longer than 255 characters"}};
    for (const auto& [bitmap, logged] : failures) {
        EXPECT_EQ(Run(DiscKind::Svcd, bitmap, 2), -1);
        EXPECT_TRUE(LogHas(logged) && !LogHas("Passing 2") && !test::FileExists(target)) << log.Last();
    }
    // A folder where the program stream should be created: the multiplexer's own result comes back.
    ASSERT_TRUE(MakeDirectory(workFolder + "STILL.PS"));
    EXPECT_EQ(Run(DiscKind::Svcd, good, 2, "STILL.PS"), int(codec::CodecResult::OutputFailure));
    EXPECT_TRUE(LogHas("Can't multiplex")) << log.Last();
    ASSERT_TRUE(RemoveTree(workFolder + "STILL.PS") && MakeDirectory(target));
    EXPECT_TRUE(Run(DiscKind::Svcd, good, 2) == -1 && LogHas("Can't convert")) << log.Last();
    ASSERT_TRUE(RemoveTree(target));
    for (int poll = 1; poll <= 3; ++poll) {
        log.Reset();
        std::tie(progress.looks, cancelAtPoll) = std::tuple(0, poll);
        EXPECT_TRUE(Run(DiscKind::Vcd30, good, 2) == -1 && progress.looks == poll) << poll;
        EXPECT_TRUE(LogHas("Passing 2") == (poll >= 2) && LogHas("Passing 3") == (poll >= 3)) << poll;
        EXPECT_FALSE(test::FileExists(target)) << poll;
    }
    EXPECT_EQ(Run(DiscKind::Vcd30, good, 2), 0) << log.Last();  // a Cancel honoured once does not stop the next
}

}  // namespace
}  // namespace qorvcd
