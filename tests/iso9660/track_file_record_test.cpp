// The track-file records of the track folder: the extent entered once a
// track is placed, the records refused, and where each record lies.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "iso9660/dir_tree.h"
#include "iso9660/directory_record.h"
#include "iso9660/track_file_record.h"
#include "platform/clock.h"

namespace qorvcd {
namespace {

// A track-file record as the directory writer leaves it: extent 0.
std::array<uint8_t, kTrackFileRecordSize> TrackRecord(const std::string& name) {
    DirNode node;
    node.name = name;
    node.kind = NodeKind::TrackFile;
    const std::vector<uint8_t> bytes = RecordForNode(node, RecordTimeFrom(Clock::Fixed(0))).Encode();
    std::array<uint8_t, kTrackFileRecordSize> record{};
    EXPECT_EQ(bytes.size(), record.size()) << name;
    std::memcpy(record.data(), bytes.data(), std::min(bytes.size(), record.size()));
    return record;
}

TEST(TrackFileRecord, TheExtentGoesInBothByteOrdersAndNothingElseChanges) {
    for (const char* name : {"AVSEQ01.MPG", "MUSIC12.DAT"}) {
        std::array<uint8_t, kTrackFileRecordSize> record = TrackRecord(name);
        const std::array<uint8_t, kTrackFileRecordSize> before = record;
        std::string found = "untouched";
        ASSERT_TRUE(PutTrackFileExtent(record, std::string(name, 5), 0x00012345, &found)) << name;
        EXPECT_EQ(found, "untouched");
        const std::array<uint8_t, 8> extent = {0x45, 0x23, 0x01, 0x00, 0x00, 0x01, 0x23, 0x45};
        EXPECT_EQ(0, std::memcmp(record.data() + dirrec::kExtent, extent.data(), extent.size())) << name;
        EXPECT_EQ(0, std::memcmp(record.data(), before.data(), dirrec::kExtent));
        EXPECT_EQ(0, std::memcmp(record.data() + dirrec::kDataLength, before.data() + dirrec::kDataLength,
                                 record.size() - dirrec::kDataLength));
        const std::optional<DirectoryRecord> decoded = DirectoryRecord::Decode(record);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->extent, 0x00012345u);
    }
}

// A record that is not the track's leaves the folder as it is and names what
// it holds instead.
TEST(TrackFileRecord, ARecordOfAnotherFileIsRefusedAndNamed) {
    const struct {
        std::string label;
        std::array<uint8_t, kTrackFileRecordSize> record;
        std::string found;
    } cases[] = {
        {"another prefix", TrackRecord("AVSXQ01.MPG"), "AVSXQ01.MPG;1"},
        {"the other kind's prefix", TrackRecord("MUSIC01.DAT"), "MUSIC01.DAT;1"},
        {"a shorter record", [] {
             auto r = TrackRecord("AVSEQ01.MPG");
             r[dirrec::kLength] = 58;
             return r;
         }(), "AVSEQ01.MPG;1"},
        {"an identifier shorter than the prefix", [] {
             auto r = TrackRecord("AVSEQ01.MPG");
             r[dirrec::kIdentifierLength] = 3;
             return r;
         }(), "AVS"},
        {"a length past the record", [] {
             auto r = TrackRecord("AVSEQ01.MPG");
             r[dirrec::kIdentifier + 2] = 'X';
             r[dirrec::kIdentifierLength] = 200;
             return r;
         }(), std::string("AVXEQ01.MPG;1") + std::string(4, '\0') + "\x11\x11XA\x01" + std::string(5, '\0')},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.label);
        const auto before = c.record;
        std::string found;
        EXPECT_FALSE(PutTrackFileExtent(c.record, "AVSEQ", 0x00012345, &found));
        EXPECT_EQ(found, c.found);
        EXPECT_EQ(c.record, before);
    }
}

// The first sector holds 32 records after "." and ".."; every later one 34.
TEST(TrackFileRecord, RecordsTakeTheWholeSectorsTheyFitIn) {
    const auto recordsFrom = [](size_t offset) {
        size_t count = 1;
        while ((offset = NextTrackFileRecord(offset)) != 0) ++count;
        return count;
    };
    EXPECT_EQ(NextTrackFileRecord(kFirstTrackFileRecord), 156u);
    EXPECT_EQ(recordsFrom(kFirstTrackFileRecord), 32u);
    EXPECT_EQ(NextTrackFileRecord(96 + 31 * 60), 0u);  // 32 bytes left
    EXPECT_EQ(recordsFrom(0), 34u);
    EXPECT_EQ(NextTrackFileRecord(33 * 60), 0u);  // 8 bytes left
}

}  // namespace
}  // namespace qorvcd
