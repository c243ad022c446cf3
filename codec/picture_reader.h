// Pictures of any still format FFmpeg's libraries read (PNG, JPEG, BMP, GIF,
// TIFF, WebP, ...): the file's bytes are recognised by their content with
// libavformat's image demuxers and the first picture is decoded with
// libavcodec. The bytes come from the checked file layer; FFmpeg never opens
// a file itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFrame;

namespace qorvcd::codec {

// Largest picture file read whole into memory.
inline constexpr uint64_t kMaxPictureFileSize = 256ull << 20;

// One decoded picture in whatever pixel format its decoder gave.
class DecodedPicture {
public:
    DecodedPicture();
    ~DecodedPicture();
    DecodedPicture(DecodedPicture&&) noexcept;
    DecodedPicture& operator=(DecodedPicture&&) noexcept;

    // False with the decoder's reason when the bytes hold no readable picture.
    // The format is found from the bytes; `fileName`'s extension names it only
    // for formats without a signature (TGA, say). A video is refused.
    bool Decode(const std::vector<uint8_t>& bytes, std::string* error, const std::string& fileName = "");

    int Width() const;
    int Height() const;
    // Width over height of one pixel, 1 when the file does not say.
    double PixelAspect() const;
    const AVFrame* Frame() const { return frame_.get(); }

private:
    struct FrameDeleter {
        void operator()(AVFrame* frame) const;
    };
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
};

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
