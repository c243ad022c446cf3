// A standard SVCD (`build --standard`) read by VCDImager's tools: vcd-info
// finds the ENTRIES signature, the \MPEG2 folder and TRACKS.SVD as the
// standard has them and says nothing about them; vcdxrip rips every track
// back byte for byte except the scan information, which then names the
// I-pictures around each block. The inspector agrees; a default build keeps
// this format's own forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>

#include "core/sector_unit.h"
#include "mpeg/scan_information.h"
#include "tests/e2e/e2e_support.h"

namespace qorvcd::test {
namespace {

// The scan information of a program stream of 2324-byte packs (a source
// stream or a ripped track), pack n being unit n.
ScanInformationScanner ScanPacks(const std::vector<uint8_t>& stream) {
    ScanInformationScanner scanner;
    for (size_t n = 0; n * kMaxPackSize < stream.size(); ++n) {
        const size_t size = std::min(kMaxPackSize, stream.size() - n * kMaxPackSize);
        scanner.FeedPack(uint32_t(n), stream.data() + n * kMaxPackSize, size);
    }
    return scanner;
}

std::map<std::string, bool> ConventionsOf(const FlatImage& flat) {
    std::map<std::string, bool> out;
    for (size_t i = 0; i < ListSize(flat, "conventions.checks"); ++i) {
        const std::string key = "conventions.checks." + std::to_string(i) + ".";
        out[flat.at(key + "name")] = flat.at(key + "follows") == "true";
    }
    return out;
}

class StandardSvcd : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string tool = MissingTool({"ffmpeg", "ffprobe", "vcd-info", "vcdxrip"}); !tool.empty()) {
            GTEST_SKIP() << "missing " << tool;
        }
        sources = CopyKindMedia(kind, dir.Path());
        WriteScript(dir / "disc.txt", WholeDiscScript(kind));
    }
    const KindCase& kind = AllKinds()[1];
    TempDir dir;
    std::vector<std::string> sources;
};

TEST_F(StandardSvcd, VcdInfoReadsTheStandardFormsAndVcdxripRipsTheSourceBack) {
    const CommandResult build = BuildDisc(kind, dir / "disc.txt", dir / "disc.img", dir.Path(), "--bin-cue --standard");
    ASSERT_EQ(build.exitCode, 0) << build.output;
    const std::string info = Output("vcd-info --no-ext-psd -c " + Quote(dir / "disc.cue") + " 2>&1");
    EXPECT_EQ(Matches(info, kReaderComplaint).size(), 0u) << info;
    EXPECT_EQ(ReaderWarnings(info), std::set<std::string>{}) << info;
    EXPECT_EQ(Matches(info, R"(ID: `ENTRYVCD')").size(), 1u) << info;
    EXPECT_EQ(Matches(info, R"(^ /MPEG2/:)").size(), 1u) << info;
    EXPECT_EQ(Matches(info, R"(MPEGAV)").size(), 0u) << info;

    // TRACKS.SVD: each track's own time and a PAL motion stream, nothing reserved.
    const auto tracks = Matches(info, R"(track\[(\d+)\]: (\d+):(\d+):(\d+), audio: ([^,]+), video: ([^,]+),)");
    ASSERT_EQ(tracks.size(), sources.size()) << info;
    for (size_t i = 0; i < tracks.size(); ++i) {
        const double seconds = std::stoi(tracks[i][1]) * 60 + std::stoi(tracks[i][2]) + std::stoi(tracks[i][3]) / 75.0;
        const double source = std::atof(
            Output("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quote(sources[i])).c_str());
        EXPECT_NEAR(seconds, source, 1.0) << i;
        EXPECT_EQ(tracks[i][4], "1 stream") << i;
        EXPECT_EQ(tracks[i][5], "PAL stream") << i;
    }
    EXPECT_EQ(Matches(info, R"(video: reserved)").size(), 0u) << info;

    // The rip: the source's bytes, the scan information's positions aside.
    Output("mkdir " + Quote(dir / "rip") + " && cd " + Quote(dir / "rip") + " && vcdxrip -c " + Quote(dir / "disc.cue") +
           " >/dev/null 2>&1; true");
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::vector<uint8_t> source = ReadBytes(sources[i]);
        const std::vector<uint8_t> ripped = ReadBytes(dir / ("rip/avseq0" + std::to_string(i + 1) + ".mpg"));
        ASSERT_EQ(ripped.size(), source.size()) << i;
        const ScanInformationScanner before = ScanPacks(source), after = ScanPacks(ripped);
        ASSERT_GT(before.Blocks().size(), 0u) << i;
        std::set<size_t> payload;
        for (const ScanBlockPlace& block : before.Blocks()) {
            for (const auto& b : block.bytes) payload.insert(b.unit * kMaxPackSize + b.offset);
        }
        size_t differing = 0;
        for (size_t at = 0; at < source.size(); ++at) {
            if (source[at] == ripped[at]) continue;
            ++differing;
            ASSERT_TRUE(payload.count(at)) << "track " << i << " byte " << at;
        }
        EXPECT_GT(differing, 0u) << i;
        ASSERT_EQ(after.Blocks().size(), before.Blocks().size());
        std::set<uint32_t> intra;
        for (const IntraPicturePlace& p : after.IntraPictures()) intra.insert(p.unit);
        for (const ScanBlockPlace& block : after.Blocks()) {
            const std::optional<ScanOffsets> offsets = DecodeScanOffsets(block.payload.data());
            ASSERT_TRUE(offsets) << i;
            const auto above = intra.upper_bound(block.unit);
            EXPECT_EQ(offsets->next, above == intra.end() ? std::nullopt : std::optional<uint32_t>(*above));
            if (offsets->previous) {
                EXPECT_TRUE(intra.count(*offsets->previous) && *offsets->previous < block.unit);
            }
        }
    }

    const auto followed = ConventionsOf(InspectFlat(dir / "disc.img"));
    for (const char* name : {"ENTRIES signature", "track folder", "TRACKS.SVD layout", "scan offsets"}) {
        ASSERT_TRUE(followed.count(name)) << name;
        EXPECT_TRUE(followed.at(name)) << name;
    }
}

TEST_F(StandardSvcd, ADefaultBuildKeepsThisFormatsOwnForms) {
    const CommandResult build = BuildDisc(kind, dir / "disc.txt", dir / "disc.img", dir.Path(), "--bin-cue");
    ASSERT_EQ(build.exitCode, 0) << build.output;
    const std::string info = Output("vcd-info --no-ext-psd -c " + Quote(dir / "disc.cue") + " 2>&1");
    EXPECT_EQ(Matches(info, R"(ID: `ENTRYSVD')").size(), 1u) << info;
    EXPECT_EQ(Matches(info, R"(^ /MPEGAV/:)").size(), 1u) << info;
    const auto followed = ConventionsOf(InspectFlat(dir / "disc.img"));
    for (const char* name : {"ENTRIES signature", "track folder", "TRACKS.SVD layout", "scan offsets"}) {
        ASSERT_TRUE(followed.count(name)) << name;
        EXPECT_FALSE(followed.at(name)) << name;
    }
}

}  // namespace
}  // namespace qorvcd::test
