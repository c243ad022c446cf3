#include <gtest/gtest.h>

#include "infofiles/entries_record.h"
#include "tests/infofiles/info_test_support.h"

namespace qorvcd {
namespace {

using test::Slice;
using Bytes = std::vector<uint8_t>;

const char kSvdId[8] = {'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D'};

TEST(EntriesTable, BcdTrackDiscAddressAndLimits) {
    EntriesTable table(EncodeEntriesHeader(kSvdId, 1));
    std::string error;
    ASSERT_TRUE(table.Add(2, 1234, error)) << error;    // address 1384 = 00:18:34
    ASSERT_TRUE(table.Add(12, 270000, error)) << error;  // 270150 = 60:02:00
    EXPECT_EQ(table.LastPlayItem(), 101u);
    const auto bytes = table.Bytes();
    const Bytes all(bytes.begin(), bytes.end());
    EXPECT_EQ(Slice(all, 0, 20), (Bytes{'E', 'N', 'T', 'R', 'Y', 'S', 'V', 'D', 0x01, 0x00, 0x00, 0x02,
                                        0x02, 0x00, 0x18, 0x34, 0x12, 0x60, 0x02, 0x00}));
    EXPECT_EQ(Slice(all, 20, 2028), Bytes(2028, 0));

    // 509 entries fill the record exactly; the next is refused and writes nothing.
    EntriesTable full(EncodeEntriesHeader(kSvdId, 1));
    for (size_t k = 0; k < entries_layout::kMaxEntries; ++k) ASSERT_TRUE(full.Add(2, uint32_t(k), error)) << k;
    const auto before = full.Bytes();
    EXPECT_FALSE(full.Add(2, 9999, error));
    EXPECT_NE(error.find("509"), std::string::npos) << error;
    EXPECT_EQ(full.Bytes(), before);
    EXPECT_EQ(Bytes(before.begin() + 10, before.begin() + 12), (Bytes{0x01, 0xFD}));
    EXPECT_EQ(before[2044], 0x02);
    // Track numbers are one BCD byte.
    EXPECT_TRUE(table.Add(99, 0, error));
    EXPECT_FALSE(table.Add(100, 0, error));
    EXPECT_EQ(table.Count(), 3);
}

TEST(EntriesRecord, ContinuedTableDecodesAndDamagedOnesAreRefused) {
    EntriesTable first(EncodeEntriesHeader(kSvdId, 2));
    std::string error;
    first.Add(2, 1234, error);
    EntriesTable second(first.Bytes());  // continues a table read back
    EXPECT_EQ(second.Count(), 1);
    second.Add(3, 9000, error);
    const auto bytes = second.Bytes();
    EntriesRecord record;
    ASSERT_TRUE(DecodeEntries(bytes, record, error)) << error;
    EXPECT_EQ(std::string(record.fileId.begin(), record.fileId.end()), "ENTRYSVD");
    EXPECT_EQ(record.version, 2);
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(record.entries[0].sector, 1234);
    EXPECT_EQ(record.entries[1].trackNumber, 3);
    EXPECT_EQ(record.entries[1].sector, 9000);

    EXPECT_FALSE(DecodeEntries(std::span(bytes.data(), 100), record, error));
    auto bad = bytes;
    bad[10] = 0x02;  // 0x0202 entries cannot fit
    EXPECT_FALSE(DecodeEntries(bad, record, error));
    EXPECT_NE(error.find("509"), std::string::npos) << error;
    // Garbage with a count that fits decodes without reading past the record.
    std::array<uint8_t, 2048> noise;
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 37 + 11);
    noise[10] = 0x01;
    noise[11] = 0xFD;
    EXPECT_TRUE(DecodeEntries(noise, record, error));
    EXPECT_EQ(record.entries.size(), 509u);
}

}  // namespace
}  // namespace qorvcd
