// Turns a picture into one intra-coded MPEG-1 or MPEG-2 picture: the picture
// is decoded, brought to the still's frame and encoded at the finest
// quantiser whose picture still fits the decoder buffer its sequence header
// declares. The stream ends with a sequence end code so a player shows the
// picture as soon as it is decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/picture_reader.h"
#include "codec/still_format.h"

namespace qorvcd::codec {

// Bytes a picture may take: the MPEG-1 normal still keeps to the Video CD
// decoder buffer (20 x 16 kbit); larger stills and MPEG-2 ones to 224 KiB.
size_t StillPictureBudget(StillVideoSyntax syntax, const StillFrameFormat& format);

// `bitmap` is the whole BMP file, already checked by ParseBitmapHeader.
bool EncodeBitmapStill(const std::vector<uint8_t>& bitmap, const StillFrameFormat& format,
                       StillVideoSyntax syntax, std::vector<uint8_t>& stream, std::string* error);

// Any decoded picture. One of a standard frame size fills the 4:3 frame and is
// scaled to it as a bitmap is; any other keeps its shape (its pixels taken as
// square unless the file gives their aspect): it is scaled to fit the frame
// and centred on black, with bars above and below or left and right.
bool EncodePictureStill(const DecodedPicture& picture, const StillFrameFormat& format, StillVideoSyntax syntax,
                        std::vector<uint8_t>& stream, std::string* error);

// Where a picture of this size and pixel aspect lies in the still's frame when
// fitted: even offsets and sizes, the rest of the frame is black.
struct FittedArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};
FittedArea FitPicture(int width, int height, double pixelAspect, const StillFrameFormat& format);

}  // namespace qorvcd::codec
