#include <gtest/gtest.h>

#include "codec/bitmap_header.h"
#include "platform/bytes.h"
#include "tests/codec/codec_media.h"
#include "tests/support/test_support.h"

namespace qorvcd::codec {
namespace {

std::vector<uint8_t> RealBitmap(const std::string& pixelFormat = "bgr24") {
    return test::ReadBytes(test::TestBitmap(352, 288, pixelFormat));
}

bool Parses(const std::vector<uint8_t>& bytes, BitmapHeader& header, std::string& error) {
    return ParseBitmapHeader(bytes.data(), bytes.size(), header, &error);
}

TEST(BitmapHeader, ReadsRealBitmaps) {
    BitmapHeader h;
    std::string error;
    ASSERT_TRUE(Parses(RealBitmap(), h, error)) << error;
    EXPECT_EQ(h.width, 352);
    EXPECT_EQ(h.height, 288);
    EXPECT_EQ(h.bitsPerPixel, 24);
    EXPECT_FALSE(h.topDown);

    ASSERT_TRUE(Parses(RealBitmap("pal8"), h, error)) << error;
    EXPECT_EQ(h.bitsPerPixel, 8);
    // The palette sits between the headers and the pixels.
    EXPECT_GT(h.dataOffset, kBitmapFileHeaderSize + kBitmapInfoHeaderSize);
}

TEST(BitmapHeader, TopDownHeightIsReadAsPositive) {
    std::vector<uint8_t> bytes = RealBitmap();
    PutLe32(bytes.data() + 22, uint32_t(-288));
    BitmapHeader h;
    std::string error;
    ASSERT_TRUE(Parses(bytes, h, error)) << error;
    EXPECT_EQ(h.height, 288);
    EXPECT_TRUE(h.topDown);
}

TEST(BitmapHeader, RefusesDamagedHeaders) {
    const std::vector<uint8_t> good = RealBitmap();
    struct Damage {
        const char* what;
        void (*apply)(std::vector<uint8_t>&);
        const char* expected;  // part of the reason
    };
    const Damage damages[] = {
        {"signature", [](std::vector<uint8_t>& b) { b[0] = 'P'; }, "BM"},
        {"header size", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 14, 20); }, "header size"},
        {"zero width", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 0); }, "picture size"},
        {"huge width", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 0x7FFFFFFF); }, "picture size"},
        {"most negative height", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 22, 0x80000000u); },
         "picture size"},
        {"planes", [](std::vector<uint8_t>& b) { PutLe16(b.data() + 26, 3); }, "planes"},
        {"depth", [](std::vector<uint8_t>& b) { PutLe16(b.data() + 28, 7); }, "depth"},
        {"compression", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 30, 4); }, "compression"},
        {"offset past end", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 10, uint32_t(b.size())); },
         "offset"},
        {"offset inside headers", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 10, 20); }, "offset"},
        {"truncated rows", [](std::vector<uint8_t>& b) { b.resize(b.size() - 100); }, "truncated"},
        {"width larger than the rows", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 4000); },
         "truncated"},
        {"headers only", [](std::vector<uint8_t>& b) { b.resize(20); }, "shorter"},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> bytes = good;
        d.apply(bytes);
        BitmapHeader h;
        std::string error;
        EXPECT_FALSE(Parses(bytes, h, error)) << d.what;
        EXPECT_NE(error.find(d.expected), std::string::npos) << d.what << ": " << error;
    }
}

TEST(BitmapHeader, InformationHeaderMayNotRunPastTheFile) {
    std::vector<uint8_t> bytes(60, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLe32(bytes.data() + 14, 124);  // a version 5 header in a 60-byte file
    BitmapHeader h;
    std::string error;
    EXPECT_FALSE(Parses(bytes, h, error));
    EXPECT_NE(error.find("runs past"), std::string::npos) << error;
}

}  // namespace
}  // namespace qorvcd::codec
