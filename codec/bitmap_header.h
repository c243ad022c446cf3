// The headers of a Windows bitmap (BMP) file, read defensively before any
// pixel is decoded: a still picture is refused with a clear reason when its
// headers are short, inconsistent or describe more pixels than the file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qorvcd::codec {

inline constexpr size_t kBitmapFileHeaderSize = 14;
inline constexpr size_t kBitmapCoreHeaderSize = 12;  // OS/2 1.x header
inline constexpr size_t kBitmapInfoHeaderSize = 40;  // and its longer versions
// Largest side accepted; a still is at most 704 pixels wide, so anything
// beyond this is a damaged header rather than a picture.
inline constexpr int32_t kMaxBitmapSide = 8192;
inline constexpr uint64_t kMaxBitmapFileSize = 256ull << 20;

// Compression codes of the information header.
enum class BitmapCompression : uint32_t {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    Bitfields = 3,
};

struct BitmapHeader {
    int32_t width = 0;
    int32_t height = 0;  // always positive; topDown tells the row order
    bool topDown = false;
    uint16_t bitsPerPixel = 0;
    uint32_t compression = 0;
    uint32_t dataOffset = 0;
};

// Reads the file header and the information header from the file's first
// bytes (`size` is the whole file's size). Returns false with the reason.
bool ParseBitmapHeader(const uint8_t* data, size_t size, BitmapHeader& out, std::string* error);

}  // namespace qorvcd::codec
