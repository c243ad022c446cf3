// inspect's judgement of a disc's track playing times and scan points,
// against the streams its tracks hold: a disc built under --standard, then
// its TRACKS.SVD and SEARCH.DAT rewritten in place to each case.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "image/image_reader.h"
#include "imagetools/conventions.h"
#include "imagetools/inspect.h"
#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";

class DiscConventions : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveProgram("ffmpeg")) GTEST_SKIP() << "missing ffmpeg";
        // Two seconds of PAL SVCD: 50 pictures, four scan points.
        const std::string stream = test::EnsureMedia(
            "conventions-pal-svcd-2s.mpg", std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=480x576:rate=25 -f lavfi "
                                                                  "-i sine=sample_rate=44100 -t 2 -ac 2 -target pal-svcd {out}");
        const std::string packed = test::EnsureMedia(
            "conventions-pal-svcd-2s.mps", "'" + test::CliPath() + "' pack '" + stream + "' {out} --kind svcd");
        test::WriteBytes(dir_ / "A.MPS", test::ReadBytes(packed));
        test::WriteText(dir_ / "disc.txt", "[VCD]\r\nMODE = SVCD\r\n[TRACK]\r\nMPEGTRACK AVSEQ01 A.MPS PAL AUDIO 2 TIME 2\r\n");
        const test::CommandResult r = test::RunCommand("mkdir -p '" + dir_ / "w" + "' && '" + test::CliPath() +
                                                       "' build '" + dir_ / "disc.txt" + "' -o '" + dir_ / "disc.img" +
                                                       "' --standard --work-dir '" + dir_ / "w" + "'");
        ASSERT_EQ(r.exitCode, 0) << r.output;
    }

    // Overwrites the start of a control file's first sector in the image.
    void Patch(const std::string& discPath, const std::vector<uint8_t>& bytes) {
        DecodedImage image;
        std::string error;
        ASSERT_TRUE(DecodeImage(dir_ / "disc.img", image, error)) << error;
        uint32_t sector = 0;
        for (const InspectedEntry& e : image.entries)
            if (e.path == discPath) sector = e.record.extent;
        ASSERT_NE(sector, 0u) << discPath;
        ImageReader reader;
        ASSERT_TRUE(reader.Open(dir_ / "disc.img")) << reader.Error();
        const uint64_t offset = reader.Locate(sector).offset + kSubheaderSize;
        std::vector<uint8_t> disc = test::ReadBytes(dir_ / "disc.img");
        std::memcpy(disc.data() + offset, bytes.data(), bytes.size());
        test::WriteBytes(dir_ / "disc.img", disc);
    }

    // TRACKS.SVD in the standard's layout: the count, the times, one byte per track.
    void PatchTracks(uint8_t seconds, uint8_t frames) {
        std::vector<uint8_t> tracks(2048, 0);
        std::memcpy(tracks.data(), "TRACKSVD", 8);
        tracks[8] = 1;
        tracks[10] = 1;
        tracks[11] = 0x00, tracks[12] = ToBcd(seconds), tracks[13] = ToBcd(frames);
        tracks[14] = 0x0A;  // the track's description byte
        Patch("/SVCD/TRACKS.SVD", tracks);
    }

    std::map<std::string, ConventionFinding> Findings() {
        DecodedImage image;
        std::string error;
        EXPECT_TRUE(DecodeImage(dir_ / "disc.img", image, error)) << error;
        std::map<std::string, ConventionFinding> byName;
        for (ConventionFinding& f : CheckConventions(image)) byName[f.name] = f;
        return byName;
    }

    test::TempDir dir_;
};

TEST_F(DiscConventions, TrackTimesFollowOnlyInTheStandardLayoutAndToAPicture) {
    const ConventionFinding built = Findings().at("track playing times");
    EXPECT_TRUE(built.follows) << built.detail;
    PatchTracks(2, 0);
    EXPECT_TRUE(Findings().at("track playing times").follows) << Findings().at("track playing times").detail;
    PatchTracks(1, 72);  // 1.96 s: a picture short
    EXPECT_TRUE(Findings().at("track playing times").follows);
    PatchTracks(1, 70);  // 1.93 s: more than a picture short
    const ConventionFinding shortTime = Findings().at("track playing times");
    EXPECT_FALSE(shortTime.follows);
    EXPECT_NE(shortTime.detail.find("track 2: 1.93 s in TRACKS.SVD, its stream plays 2.00 s"), std::string::npos)
        << shortTime.detail;
}

TEST_F(DiscConventions, ScanPointsFollowWithAPointPerHalfSecondInsideTheTrack) {
    const ConventionFinding built = Findings().at("scan points");
    EXPECT_TRUE(built.follows) << built.detail;
    EXPECT_EQ(built.detail, "4 points, one per half second inside each track");

    // Its last point moved before the track.
    std::vector<uint8_t> search = {'S', 'E', 'A', 'R', 'C', 'H', 'S', 'V', 1, 0, 0, 4, 1};
    DecodedImage image;
    std::string error;
    ASSERT_TRUE(DecodeImage(dir_ / "disc.img", image, error));
    search.insert(search.end(), image.search->bytes.begin() + 13, image.search->bytes.begin() + 22);
    search.insert(search.end(), {0x00, 0x02, 0x00});  // sector 0
    Patch("/SVCD/SEARCH.DAT", search);
    const ConventionFinding outside = Findings().at("scan points");
    EXPECT_FALSE(outside.follows);
    EXPECT_NE(outside.detail.find("point 3, 1.5 s into track 2, leads to sector 0, outside the track"),
              std::string::npos)
        << outside.detail;

    search[11] = 3;  // one point short
    search.resize(search.size() - 3);
    Patch("/SVCD/SEARCH.DAT", search);
    EXPECT_FALSE(Findings().at("scan points").follows);
}

}  // namespace
}  // namespace qorvcd
