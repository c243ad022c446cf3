// What a picture file is, before it is encoded: its bytes read whole through
// the checked file layer, a bitmap measured by its own headers and any other
// picture by the codec module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qorvcd::codec {

// Largest picture file read whole into memory.
inline constexpr uint64_t kMaxPictureFileSize = 256ull << 20;

// True when the bytes begin with a Windows bitmap's "BM" signature.
bool HasBitmapSignature(const std::vector<uint8_t>& bytes);

// Reads a whole picture file of at most kMaxPictureFileSize bytes.
bool ReadPictureFile(const std::string& path, std::vector<uint8_t>& bytes, std::string* error);

// What a caller needs to choose a still's resolution and path.
struct PictureFacts {
    int width = 0;
    int height = 0;
    bool bitmap = false;          // a BMP whose headers the still encoder accepts
    bool standardBitmap = false;  // such a BMP of a standard frame size
};

// Learns the size of the picture in `path`: a BMP from its headers, any other
// picture by decoding it. False with the reason (the file's, the decoder's).
bool ReadPictureFacts(const std::string& path, PictureFacts& facts, std::string* error);

}  // namespace qorvcd::codec
