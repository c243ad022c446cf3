// Pictures of any still format FFmpeg's libraries read (PNG, JPEG, BMP, GIF,
// TIFF, WebP, ...): the file's bytes are recognised by their content with
// libavformat's image demuxers and the first picture is decoded with
// libavcodec. The bytes come from the checked file layer; FFmpeg never opens
// a file itself. Part of the codec module (codec_module.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/picture_facts.h"

struct AVFrame;

namespace qorvcd::codec {

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

}  // namespace qorvcd::codec
