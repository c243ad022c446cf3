// The scan information of a real SVCD stream (ffmpeg's placeholders) filled
// in as its units are copied: every block names the I-pictures around it,
// and nothing but the blocks' positions changes.
#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "assembly/scan_offsets_p.h"
#include "core/progress.h"
#include "core/sector_unit.h"
#include "mpeg/scan_information.h"
#include "platform/file.h"
#include "tests/mpeg/mpeg_media.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

using namespace test;

ScanOffsetFiller::UnitReader ReadFrom(File& file) {
    return [&file](uint8_t* unit) { return file.ReadExact(unit, kSectorModeUnitSize); };
}

// Fourteen seconds in GOPs of twelve pictures with B-pictures: I-pictures
// every half second, more than one scan jump apart from end to end.
std::string LongSvcdStream() {
    return EnsureMedia("scan-pal-svcd-14s.mpg",
                       "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=480x576:rate=25 -f lavfi -i "
                       "sine=frequency=440 -t 14 -target pal-svcd -g 12 -bf 2 {out}");
}

std::vector<std::array<uint8_t, kSectorModeUnitSize>> Units(const std::vector<uint8_t>& file) {
    std::vector<std::array<uint8_t, kSectorModeUnitSize>> units(file.size() / kSectorModeUnitSize);
    for (size_t n = 0; n < units.size(); ++n) {
        std::copy_n(file.begin() + n * kSectorModeUnitSize, kSectorModeUnitSize, units[n].begin());
    }
    return units;
}

ScanInformationScanner Scan(const std::vector<std::array<uint8_t, kSectorModeUnitSize>>& units) {
    ScanInformationScanner scanner;
    for (size_t n = 0; n < units.size(); ++n) scanner.FeedPack(uint32_t(n), units[n].data() + kSubheaderSize, kMaxPackSize);
    return scanner;
}

class CancelAtOnce : public Progress {
public:
    bool Open() override { return true; }
    void DestroyWindow() override {}
    int SetProgress(int) override { return 0; }
    bool TakeCancelRequest() override { return true; }
    void SetMessage(const std::string&) override {}
};

TEST(ScanOffsetFiller, EveryBlockOfARealStreamNamesTheIPicturesAroundIt) {
    TempDir dir;
    const std::string path = PackInto(dir.Path(), LongSvcdStream(), DiscKind::Svcd);
    const std::vector<uint8_t> original = ReadBytes(path);
    auto units = Units(original);
    const ScanInformationScanner before = Scan(units);
    const std::vector<IntraPicturePlace>& pictures = before.IntraPictures();
    ASSERT_GT(pictures.size(), 20u);
    ASSERT_GT(before.Blocks().size(), pictures.size());  // ffmpeg writes one per picture

    File file;
    ASSERT_TRUE(file.Open(path, FileMode::Read));
    ScanOffsetFiller filler;
    bool cancelled = true;
    ASSERT_TRUE(filler.Prepare(ReadFrom(file), file.Length() / kSectorModeUnitSize, nullptr, cancelled));
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(filler.BlockCount(), before.Blocks().size());
    for (size_t n = 0; n < units.size(); ++n) filler.Apply(n * kSectorModeUnitSize, units[n].data());

    // Only the blocks' payload bytes may differ from the stream.
    std::set<uint64_t> payload;
    for (const ScanBlockPlace& block : before.Blocks()) {
        for (const auto& b : block.bytes) payload.insert(b.unit * kSectorModeUnitSize + kSubheaderSize + b.offset);
    }
    size_t changed = 0;
    for (size_t n = 0; n < units.size(); ++n) {
        for (size_t i = 0; i < kSectorModeUnitSize; ++i) {
            if (units[n][i] == original[n * kSectorModeUnitSize + i]) continue;
            ++changed;
            ASSERT_TRUE(payload.count(n * kSectorModeUnitSize + i)) << "unit " << n << " byte " << i;
        }
    }
    EXPECT_GT(changed, 0u);

    const ScanInformationScanner after = Scan(units);
    ASSERT_EQ(after.Blocks().size(), before.Blocks().size());
    std::set<uint32_t> intraUnits;
    for (const IntraPicturePlace& p : pictures) intraUnits.insert(p.unit);
    auto secondsOf = [&](uint32_t unit) {
        for (const IntraPicturePlace& p : pictures) if (p.unit == unit) return p.seconds;
        return -1.0;
    };
    for (const ScanBlockPlace& block : after.Blocks()) {
        const std::optional<ScanOffsets> offsets = DecodeScanOffsets(block.payload.data());
        ASSERT_TRUE(offsets) << "block at unit " << block.unit;
        const auto below = intraUnits.lower_bound(block.unit);
        const auto above = intraUnits.upper_bound(block.unit);
        // The neighbours: the last I-picture before the block's unit, the first after.
        if (below == intraUnits.begin()) EXPECT_FALSE(offsets->previous);
        else EXPECT_EQ(offsets->previous, *std::prev(below));
        if (above == intraUnits.end()) EXPECT_FALSE(offsets->next);
        else EXPECT_EQ(offsets->next, *above);
        // The jumps: an I-picture (or the block's own unit) less than 10 s away,
        // with none further within reach.
        ASSERT_TRUE(offsets->backward && offsets->forward);
        for (const uint32_t jump : {*offsets->backward, *offsets->forward}) {
            if (jump == block.unit) continue;
            ASSERT_TRUE(intraUnits.count(jump)) << "jump to unit " << jump;
            EXPECT_LT(std::abs(secondsOf(jump) - block.seconds), kScanJumpSeconds);
        }
        for (const IntraPicturePlace& p : pictures) {
            if (p.unit < *offsets->backward || (p.unit > *offsets->forward && p.unit > block.unit)) {
                EXPECT_GE(std::abs(p.seconds - block.seconds), kScanJumpSeconds) << "block at unit " << block.unit;
            }
        }
    }
    // From the start, the forward jump reaches past the first scan jump's half.
    EXPECT_GT(*DecodeScanOffsets(after.Blocks().front().payload.data())->forward, pictures[10].unit);
}

TEST(ScanOffsetFiller, ACancelDuringThePreScanIsReported) {
    TempDir dir;
    const std::string path = PackInto(dir.Path(), LongSvcdStream(), DiscKind::Svcd);
    File file;
    ASSERT_TRUE(file.Open(path, FileMode::Read));
    CancelAtOnce progress;
    ScanOffsetFiller filler;
    bool cancelled = false;
    EXPECT_FALSE(filler.Prepare(ReadFrom(file), file.Length() / kSectorModeUnitSize, &progress, cancelled));
    EXPECT_TRUE(cancelled);
}

}  // namespace
}  // namespace qorvcd
