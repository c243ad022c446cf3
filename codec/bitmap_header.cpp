#include "codec/bitmap_header.h"

#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd::codec {

namespace {

// File header.
constexpr size_t kSignatureOffset = 0;     // "BM"
constexpr size_t kDataOffsetOffset = 10;   // start of the pixel rows
// Information header, from the start of the file.
constexpr size_t kInfoSizeOffset = 14;
constexpr size_t kWidthOffset = 18;
constexpr size_t kCoreHeightOffset = 20;   // 16-bit fields in the OS/2 header
constexpr size_t kCorePlanesOffset = 22;
constexpr size_t kCoreBitsOffset = 24;
constexpr size_t kInfoHeightOffset = 22;   // 32-bit fields in the Windows header
constexpr size_t kInfoPlanesOffset = 26;
constexpr size_t kInfoBitsOffset = 28;
constexpr size_t kInfoCompressionOffset = 30;

bool Refuse(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

bool IsKnownDepth(uint16_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

void ReadCoreHeader(const uint8_t* data, BitmapHeader& out, uint16_t& planes) {
    out.width = GetLe16(data + kWidthOffset);
    out.height = GetLe16(data + kCoreHeightOffset);
    planes = GetLe16(data + kCorePlanesOffset);
    out.bitsPerPixel = GetLe16(data + kCoreBitsOffset);
    out.compression = uint32_t(BitmapCompression::Rgb);
}

void ReadInfoHeader(const uint8_t* data, BitmapHeader& out, uint16_t& planes) {
    out.width = int32_t(GetLe32(data + kWidthOffset));
    const int32_t height = int32_t(GetLe32(data + kInfoHeightOffset));
    out.topDown = height < 0;
    // INT32_MIN has no positive counterpart: leave it negative to be refused.
    out.height = (height < 0 && height != INT32_MIN) ? -height : height;
    planes = GetLe16(data + kInfoPlanesOffset);
    out.bitsPerPixel = GetLe16(data + kInfoBitsOffset);
    out.compression = GetLe32(data + kInfoCompressionOffset);
}

}  // namespace

bool ParseBitmapHeader(const uint8_t* data, size_t size, BitmapHeader& out, std::string* error) {
    out = BitmapHeader{};
    if (size < kBitmapFileHeaderSize + kBitmapCoreHeaderSize)
        return Refuse(error, Format("bitmap of %zu bytes is shorter than its headers", size));
    if (data[kSignatureOffset] != 'B' || data[kSignatureOffset + 1] != 'M')
        return Refuse(error, "no \"BM\" signature");
    const uint32_t infoSize = GetLe32(data + kInfoSizeOffset);
    if (infoSize != kBitmapCoreHeaderSize && infoSize < kBitmapInfoHeaderSize)
        return Refuse(error, Format("unknown information header size %u", infoSize));
    if (infoSize > size - kBitmapFileHeaderSize)
        return Refuse(error, Format("information header of %u bytes runs past the end of the file", infoSize));

    uint16_t planes = 0;
    if (infoSize == kBitmapCoreHeaderSize) ReadCoreHeader(data, out, planes);
    else ReadInfoHeader(data, out, planes);

    if (out.width <= 0 || out.height <= 0 || out.width > kMaxBitmapSide || out.height > kMaxBitmapSide)
        return Refuse(error, Format("picture size %d x %d is outside 1 to %d pixels", out.width, out.height,
                                    kMaxBitmapSide));
    if (planes != 1) return Refuse(error, Format("%u colour planes (1 expected)", planes));
    if (!IsKnownDepth(out.bitsPerPixel))
        return Refuse(error, Format("unsupported depth of %u bits per pixel", out.bitsPerPixel));
    if (out.compression > uint32_t(BitmapCompression::Bitfields))
        return Refuse(error, Format("unsupported compression %u", out.compression));

    out.dataOffset = GetLe32(data + kDataOffsetOffset);
    if (out.dataOffset < kBitmapFileHeaderSize + infoSize || out.dataOffset >= size)
        return Refuse(error, Format("pixel data offset %u is outside the file", out.dataOffset));

    const bool packed = out.compression == uint32_t(BitmapCompression::Rle8) ||
                        out.compression == uint32_t(BitmapCompression::Rle4);
    if (!packed) {
        // Rows are padded to 4 bytes; every row must be in the file.
        const uint64_t rowBytes = (uint64_t(out.width) * out.bitsPerPixel + 31) / 32 * 4;
        const uint64_t needed = rowBytes * uint64_t(out.height);
        if (needed > size - out.dataOffset)
            return Refuse(error, Format("pixel data is truncated: %llu bytes expected, %llu present",
                                        (unsigned long long)needed,
                                        (unsigned long long)(size - out.dataOffset)));
    }
    return true;
}

}  // namespace qorvcd::codec
