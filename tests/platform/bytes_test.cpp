#include <gtest/gtest.h>

#include <vector>

#include "platform/bytes.h"

namespace qorvcd {
namespace {

TEST(Bytes, EndianWritersMatchLiteralBytes) {
    uint8_t b[8] = {};
    PutBe16(b, 0x1234);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 2), (std::vector<uint8_t>{0x12, 0x34}));
    PutBe32(b, 0x01020304);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    PutLe32(b, 0x01020304);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(GetLe32(b), 0x01020304u);
    EXPECT_EQ(GetBe16((const uint8_t*)"\xAB\xCD"), 0xABCD);
}

TEST(Bytes, BothByteOrderFieldsAreLittleThenBig) {
    uint8_t b[8] = {};
    PutBoth32(b, 20);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 8), (std::vector<uint8_t>{20, 0, 0, 0, 0, 0, 0, 20}));
    PutBoth16(b, 0x0800);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{0x00, 0x08, 0x08, 0x00}));
}

TEST(Bytes, BcdAndDiscAddresses) {
    EXPECT_EQ(ToBcd(37), 0x37);
    EXPECT_EQ(FromBcd(0x59), 59u);
    uint8_t msf[3];
    PutMsfBcd(msf, 150);  // 00:04:00
    EXPECT_EQ(std::vector<uint8_t>(msf, msf + 3), (std::vector<uint8_t>{0x00, 0x04, 0x00}));
    PutMsfBcd(msf, 300);  // 00:06:00
    EXPECT_EQ(std::vector<uint8_t>(msf, msf + 3), (std::vector<uint8_t>{0x00, 0x06, 0x00}));
    PutMsfBcd(msf, 4500 * 2 + 75 * 3 + 7 - 150);  // 02:03:07
    EXPECT_EQ(std::vector<uint8_t>(msf, msf + 3), (std::vector<uint8_t>{0x02, 0x03, 0x07}));
    EXPECT_EQ(MsfBcdToSector(msf), 4500 * 2 + 75 * 3 + 7 - 150);
}

TEST(Bytes, PaddedFieldsNeverOverrun) {
    uint8_t b[6];
    std::memset(b, 0xEE, sizeof b);
    PutPadded(b, 4, "ABCDEFG");
    EXPECT_EQ(std::string((char*)b, 4), "ABCD");
    EXPECT_EQ(b[4], 0xEE);
    PutPadded(b, 4, "A");
    EXPECT_EQ(std::string((char*)b, 4), "A   ");
}

}  // namespace
}  // namespace qorvcd
