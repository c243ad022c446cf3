// Turns a bitmap's bytes into one intra-coded MPEG-1 or MPEG-2 picture: the
// bitmap is decoded, scaled to the still's frame and encoded at the finest
// quantiser whose picture still fits the decoder buffer its sequence header
// declares. The stream ends with a sequence end code so a player shows the
// picture as soon as it is decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/still_format.h"

namespace qorvcd::codec {

enum class StillVideoSyntax { Mpeg1, Mpeg2 };  // ISO/IEC 11172-2, 13818-2

// Bytes a picture may take: the MPEG-1 normal still keeps to the Video CD
// decoder buffer (20 x 16 kbit); larger stills and MPEG-2 ones to 224 KiB.
size_t StillPictureBudget(StillVideoSyntax syntax, const StillFrameFormat& format);

// `bitmap` is the whole BMP file, already checked by ParseBitmapHeader.
bool EncodeBitmapStill(const std::vector<uint8_t>& bitmap, const StillFrameFormat& format,
                       StillVideoSyntax syntax, std::vector<uint8_t>& stream, std::string* error);

}  // namespace qorvcd::codec
