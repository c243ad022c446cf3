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

TEST(BitmapHeader, ReadsRealBitmapsAndTopDownOnes) {
    BitmapHeader h;
    std::string error;
    std::vector<uint8_t> bytes = RealBitmap();
    ASSERT_TRUE(ParseBitmapHeader(bytes.data(), bytes.size(), h, &error)) << error;
    EXPECT_EQ(h.width, 352);
    EXPECT_EQ(h.height, 288);
    EXPECT_EQ(h.bitsPerPixel, 24);
    EXPECT_FALSE(h.topDown);
    PutLe32(bytes.data() + 22, uint32_t(-288));
    ASSERT_TRUE(ParseBitmapHeader(bytes.data(), bytes.size(), h, &error)) << error;
    EXPECT_EQ(h.height, 288);
    EXPECT_TRUE(h.topDown);

    bytes = RealBitmap("pal8");
    ASSERT_TRUE(ParseBitmapHeader(bytes.data(), bytes.size(), h, &error)) << error;
    EXPECT_EQ(h.bitsPerPixel, 8);
    EXPECT_GT(h.dataOffset, kBitmapFileHeaderSize + kBitmapInfoHeaderSize);  // the palette lies between
}

TEST(BitmapHeader, RefusesDamagedHeaders) {
    const std::vector<uint8_t> good = RealBitmap();
    const struct {
        const char* what;
        void (*apply)(std::vector<uint8_t>&);
        const char* expected;  // part of the reason
    } damages[] = {
        {"signature", [](std::vector<uint8_t>& b) { b[0] = 'P'; }, "BM"},
        {"header size", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 14, 20); }, "header size"},
        {"zero width", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 0); }, "picture size"},
        {"huge width", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 0x7FFFFFFF); }, "picture size"},
        {"most negative height", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 22, 0x80000000u); }, "picture size"},
        {"planes", [](std::vector<uint8_t>& b) { PutLe16(b.data() + 26, 3); }, "planes"},
        {"depth", [](std::vector<uint8_t>& b) { PutLe16(b.data() + 28, 7); }, "depth"},
        {"compression", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 30, 4); }, "compression"},
        {"offset past end", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 10, uint32_t(b.size())); }, "offset"},
        {"offset inside headers", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 10, 20); }, "offset"},
        {"truncated rows", [](std::vector<uint8_t>& b) { b.resize(b.size() - 100); }, "truncated"},
        {"width larger than the rows", [](std::vector<uint8_t>& b) { PutLe32(b.data() + 18, 4000); }, "truncated"},
        {"headers only", [](std::vector<uint8_t>& b) { b.resize(20); }, "shorter"},
        {"version 5 header in 60 bytes",
         [](std::vector<uint8_t>& b) {
             b.resize(60);
             PutLe32(b.data() + 14, 124);
         },
         "runs past"},
    };
    for (const auto& d : damages) {
        std::vector<uint8_t> bytes = good;
        d.apply(bytes);
        BitmapHeader h;
        std::string error;
        EXPECT_FALSE(ParseBitmapHeader(bytes.data(), bytes.size(), h, &error)) << d.what;
        EXPECT_NE(error.find(d.expected), std::string::npos) << d.what << ": " << error;
    }
}

}  // namespace
}  // namespace qorvcd::codec
