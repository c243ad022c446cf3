// A program stream packed as it is read: its index reads as the file `pack`
// writes, the copy gets the same units, and a stream that changes, breaks or
// is cancelled says so.
#include <gtest/gtest.h>

#include "mpeg/packed_stream.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using test::StreamBuilder;

struct Case {
    std::string name;
    std::vector<uint8_t> stream;
    DiscKind kind;
};

std::vector<uint8_t> PackedFile(const test::TempDir& dir, const Case& c) {
    std::string error;
    EXPECT_TRUE(PackProgramStream(dir / "in.mpg", dir / "out.mps", c.kind, {}, &error)) << c.name << ": " << error;
    return test::ReadBytes(dir / "out.mps");
}

std::vector<Case> Cases() {
    std::vector<Case> cases = {
        {"end code", StreamBuilder().Mpeg1PackHeader().Packet(0xC0, 400).Mpeg1PackHeader().Packet(0xE0, 800)
                         .EndCode().Bytes({0x42}).Data(), DiscKind::Vcd30},
        {"trailing zeros", StreamBuilder().Mpeg1PackHeader().Packet(0xC0, 2292).Zeros(20).Mpeg1PackHeader()
                               .Packet(0xE0, 2000).PadPackTo(2324).Data(), DiscKind::Vcd30},
        {"empty", {}, DiscKind::Svcd},
    };
    if (test::HaveProgram("ffmpeg")) {
        cases.push_back({"vcd", test::ReadBytes(test::PalVcdStream()), DiscKind::Vcd30});
        cases.push_back({"zero sectors", test::ReadBytes(test::ZeroSectorVcdStream()), DiscKind::Vcd30});
        cases.push_back({"svcd", test::ReadBytes(test::PalSvcdStereoStream()), DiscKind::Svcd});
        cases.push_back({"two audio cvd", test::ReadBytes(test::PalSvcdTwoAudioStream()), DiscKind::Cvd});
    }
    return cases;
}

TEST(PackedStream, TheIndexReadsAsThePackedFileAndTheCopyGivesItsUnits) {
    for (const Case& c : Cases()) {
        test::TempDir dir;
        test::WriteBytes(dir / "in.mpg", c.stream);
        const std::vector<uint8_t> packed = PackedFile(dir, c);

        PackedStreamIndex index;
        std::string error;
        ASSERT_EQ(index.Build(dir / "in.mpg", c.kind, {}, {}, &error), PackedStreamIndex::Outcome::Indexed)
            << c.name << ": " << error;
        EXPECT_EQ(index.Facts().SectorModeBytes(), packed.size()) << c.name;
        // Read in pieces that straddle the units, and past the end.
        std::vector<uint8_t> read(packed.size() + 100, 0xAA);
        size_t got = 0;
        for (uint64_t at = 0; at < read.size(); at += 1000) {
            got += index.ReadAt(at, read.data() + at, std::min<size_t>(1000, read.size() - at));
        }
        EXPECT_EQ(got, packed.size()) << c.name;
        read.resize(packed.size());
        EXPECT_TRUE(read == packed) << c.name << ": the index reads otherwise than the packed file";

        File input;
        ASSERT_TRUE(input.Open(dir / "in.mpg", FileMode::Read));
        PackedUnitInput copy(input, index.Facts());
        std::vector<uint8_t> units(packed.size());
        for (size_t at = 0; at < units.size(); at += kSectorModeUnitSize) {
            ASSERT_EQ(copy.Position(), at) << c.name;
            ASSERT_TRUE(copy.Next(units.data() + at)) << c.name << ": " << copy.Error();
        }
        EXPECT_TRUE(units == packed) << c.name << ": the copy gives other units than the packed file";
    }
}

TEST(PackedStream, TheProbeSeesThroughTheIndexWhatItSeesInThePackedFile) {
    if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
    for (const Case& c : Cases()) {
        if (c.stream.size() < 100000) continue;
        test::TempDir dir;
        test::WriteBytes(dir / "in.mpg", c.stream);
        PackedFile(dir, c);
        MpegStreamInfo fromFile, fromIndex;
        ResetStreamInfo(fromFile);
        ResetStreamInfo(fromIndex);
        PackedStreamIndex index;
        std::string error;
        ASSERT_EQ(index.Build(dir / "in.mpg", c.kind, {}, {}, &error), PackedStreamIndex::Outcome::Indexed) << error;
        EXPECT_EQ(ProbeMpegFile(fromFile, dir / "out.mps", nullptr, {}), kOk) << c.name;
        EXPECT_EQ(ProbeMpegSource(fromIndex, index, dir / "in.mpg", nullptr, {}), kOk) << c.name;
        EXPECT_EQ(std::tuple(fromIndex.isMpeg2, fromIndex.width, fromIndex.height, fromIndex.duration,
                             fromIndex.sequenceHeader, fromIndex.audio1StreamId, fromIndex.audio2StreamId,
                             fromIndex.audio[0].bitRate, fromIndex.audio[1].audioClass),
                  std::tuple(fromFile.isMpeg2, fromFile.width, fromFile.height, fromFile.duration,
                             fromFile.sequenceHeader, fromFile.audio1StreamId, fromFile.audio2StreamId,
                             fromFile.audio[0].bitRate, fromFile.audio[1].audioClass))
            << c.name;
    }
}

TEST(PackedStream, AFormatErrorACancelOrAChangedStreamFails) {
    test::TempDir dir;
    const auto good = StreamBuilder().Mpeg2PackHeader().Packet(0xE0, 2000).PadPackTo(2324).Mpeg2PackHeader()
                          .Packet(0xC0, 1000).PadPackTo(2324).Mpeg2PackHeader().Packet(0xE0, 500).Data();
    test::WriteBytes(dir / "in.mpg", good);
    PackedStreamIndex index;
    std::string error;
    std::vector<std::string> shown;
    const MessageHandler show = [&](const std::string& text) { shown.push_back(text); };

    int polls = 0;
    uint64_t lastDone = 0;
    const auto cancelAtSecond = [&](uint64_t done, uint64_t total) {
        EXPECT_EQ(total, good.size());
        lastDone = done;
        return ++polls == 2;
    };
    EXPECT_EQ(index.Build(dir / "in.mpg", DiscKind::Svcd, show, cancelAtSecond, &error),
              PackedStreamIndex::Outcome::Cancelled);
    EXPECT_EQ(lastDone, 2324u) << "the second poll comes after the first pack";
    EXPECT_EQ(error, "cancelled");
    ASSERT_EQ(index.Build(dir / "in.mpg", DiscKind::Svcd, show, {}, &error), PackedStreamIndex::Outcome::Indexed)
        << error;
    EXPECT_EQ(index.Facts().units, 3u);
    EXPECT_EQ(index.Facts().lastVideoUnit, std::optional<uint64_t>(2));
    EXPECT_EQ(index.Facts().lastAudioUnit, std::optional<uint64_t>(1));

    // The stream loses its last pack after it was indexed: the copy runs out.
    test::WriteBytes(dir / "in.mpg", std::vector<uint8_t>(good.begin(), good.begin() + 2 * 2324));
    File input;
    ASSERT_TRUE(input.Open(dir / "in.mpg", FileMode::Read));
    PackedUnitInput copy(input, index.Facts());
    std::vector<uint8_t> unit(kSectorModeUnitSize);
    EXPECT_TRUE(copy.Next(unit.data()) && copy.Next(unit.data()));
    EXPECT_FALSE(copy.Next(unit.data()));
    EXPECT_NE(copy.Error().find("no longer packs into the 3 units"), std::string::npos) << copy.Error();

    // A file that cannot be read is no format error.
    EXPECT_EQ(index.Build(dir / "none.mpg", DiscKind::Svcd, show, {}, &error), PackedStreamIndex::Outcome::ReadError);
    EXPECT_NE(error.find("none.mpg"), std::string::npos) << error;
    // No pack start where a pack must begin: the packer's message, once.
    test::WriteBytes(dir / "bad.mpg", std::vector<uint8_t>(3000, 0x47));
    EXPECT_EQ(index.Build(dir / "bad.mpg", DiscKind::Svcd, show, {}, &error), PackedStreamIndex::Outcome::FormatError);
    EXPECT_EQ(error, PackErrorText(PackError::NoPackStart));
    EXPECT_EQ(shown, std::vector<std::string>{PackErrorText(PackError::NoPackStart)});
}

}  // namespace
}  // namespace qorvcd
