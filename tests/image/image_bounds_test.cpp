// Crafted images: every count, offset and sector range the reader takes from
// an image is held to the file's size and to the most sectors a disc can address, so
// a damaged field is refused at once by name instead of being followed.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>

#include "core/sector_unit.h"
#include "image/container.h"
#include "image/image_reader.h"
#include "platform/bytes.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using namespace test;

// A data track of 16 stored and 284 reserved sectors, then one video track of
// three stored units and its ten reserved sectors.
struct TwoTrackImage {
    TempDir dir;
    std::string path = dir / "disc.img";
    std::vector<uint8_t> bytes;
    ImageReader reader;  // opened on the intact image

    TwoTrackImage() {
        ImageContainer image;
        EXPECT_TRUE(image.CreateImage(path));
        EXPECT_TRUE(image.CreateTail(dir / "qortail.tmp"));
        image.SetDiscKind(DiscKind::Svcd);
        image.SetVideoTrackCount(1);
        image.BeginTail();
        image.BeginImage();
        image.SetSectorCounter(kSystemAreaSectors);
        image.CloseDataTrack(300);
        image.OpenVideoTrack();
        std::array<uint8_t, kSectorModeUnitSize> unit{};
        kVideoSubheader.WriteTo(unit.data());
        for (int i = 0; i < 3; ++i) image.AppendForm2Unit(unit.data());
        image.CloseVideoTrack(2, 3);
        image.FinishImage();
        EXPECT_TRUE(image.Ok() && image.Close()) << image.Error();
        bytes = ReadBytes(path);
        EXPECT_TRUE(reader.Open(path)) << reader.Error();
    }
    // Image offset of track `track`'s block header in the tail.
    size_t BlockAt(unsigned track) const {
        size_t at = reader.TailOffset() + TailHeader::kSize;
        for (unsigned n = 1; n < track; ++n)
            at += TrackBlockHeader::kSize + reader.Tracks()[n - 1].runs.size() * RunRecord::kSize;
        return at;
    }
    // Image offset of a field of run `run` (1 = the first) of track `track`.
    size_t RunField(unsigned track, unsigned run, size_t field) const {
        return BlockAt(track) + TrackBlockHeader::kSize + (run - 1) * RunRecord::kSize + field;
    }
    const RunRecord& Run(unsigned track, unsigned run) const {
        return reader.Tracks()[track - 1].runs[run - 1];
    }
};

TEST(ImageBounds, TheIntactImageHasTheExpectedRuns) {
    TwoTrackImage image;
    ASSERT_EQ(image.reader.Tracks().size(), 2u);
    EXPECT_TRUE(image.reader.Warnings().empty()) << image.reader.Warnings().front();
    EXPECT_FALSE(image.Run(2, 2).StoresUnits());
    EXPECT_EQ(image.reader.EndSector(), 300u + kVideoTrackGap + 3 + kVideoTrackTrailingSectors);
}

TEST(ImageBounds, DamagedFieldsAreRefusedByName) {
    TwoTrackImage image;
    const RunRecord video = image.Run(2, 2), data = image.Run(1, 2);
    // The video track's reserved run starts after its three stored units.
    const uint32_t videoFirst = image.reader.Tracks()[1].startSector + 3;
    const uint32_t fullDisc = video.start + (ImageReader::kMaxDiscSectors - videoFirst) * 2332;
    using Damage = std::function<void(std::vector<uint8_t>&)>;
    const auto put32 = [](size_t at, uint32_t value) {
        return Damage([=](auto& b) { PutLe32(&b[at], value); });
    };
    const struct {
        const char* what;
        Damage damage;
        const char* error;  // empty: the image still opens
    } cases[] = {
        {"reserved end far past the disc",
         put32(image.RunField(2, 2, RunRecord::kOffsetReservedEnd), 0xFFFFFFFF),
         "track 2, run 2: reserved end 4294967295"},
        {"reserved run filling the disc exactly",
         put32(image.RunField(2, 2, RunRecord::kOffsetReservedEnd), fullDisc), ""},
        {"reserved run one sector past it",
         put32(image.RunField(2, 2, RunRecord::kOffsetReservedEnd), fullDisc + 2332),
         "past the 450000 sectors a disc can address"},
        {"reserved end before its start",
         put32(image.RunField(1, 2, RunRecord::kOffsetReservedEnd), data.start - 2056),
         "track 1, run 2: run record: reserved end"},
        {"stored run ending past the file",
         put32(image.RunField(2, 1, RunRecord::kOffsetEnd), video.start + 1000 * 2332),
         "track 2, run 1 ends at"},
        {"run count larger than the tail",
         [&](auto& b) {
             PutLe16(&b[image.BlockAt(2) + TrackBlockHeader::kOffsetRunCount], 0x7FFF);
         },
         "tail block of track 2: run count 32767"},
        {"video track's info record inside the data track",
         put32(image.BlockAt(2) + TrackBlockHeader::kOffsetInfoBody,
               uint32_t(image.Run(1, 1).start) + 8),
         "tail block of track 2: info offset"},
        {"tail cut to its header",
         [&](auto& b) {
             b.resize(image.reader.TailOffset() + TailHeader::kSize);
             PutLe32(&b[image.reader.TailOffset() + TailHeader::kOffsetTailLength],
                     TailHeader::kSize);
         },
         "tail length 22 cannot hold the blocks of 2 tracks"},
        {"99 tracks in a tiny file",
         [](auto& b) {
             b.resize(400);
             PutLe16(&b[ImageHeader::kOffsetTrackCount], 99);
             PutLe16(&b[ImageHeader::kOffsetTrackCount2], 99);
             PutLe32(&b[ImageHeader::kOffsetDiscChunkSize], ImageHeader::kDiscChunkBase + 32 * 98);
         },
         "image header: track count 99, but a 400-byte image holds at most 3 tracks"},
    };
    const std::string crafted = image.dir / "crafted.img";
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = image.bytes;
        c.damage(bytes);
        WriteBytes(crafted, bytes);
        ImageReader reader;
        const auto started = std::chrono::steady_clock::now();
        const bool opened = reader.Open(crafted);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << c.what;
        EXPECT_EQ(opened, !*c.error) << c.what << ": " << reader.Error();
        EXPECT_NE(reader.Error().find(c.error), std::string::npos)
            << c.what << ": " << reader.Error();
        if (opened) {
            EXPECT_EQ(reader.EndSector(), ImageReader::kMaxDiscSectors) << c.what;
        }
    }
}

}  // namespace
}  // namespace qorvcd
