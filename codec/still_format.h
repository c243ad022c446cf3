// The frame a still picture is encoded at: its size follows the disc kind and
// the picture mode, its video standard (PAL or NTSC) the bitmap's own height.
#pragma once

#include <cstdint>

#include "core/disc_kind.h"

namespace qorvcd::codec {

enum class VideoStandard {
    Pal,   // 25 frames/s, 288 or 576 lines
    Ntsc,  // 30000/1001 frames/s, 240 or 480 lines
};

struct StillFrameFormat {
    int width = 0;
    int height = 0;
    VideoStandard standard = VideoStandard::Pal;
    int frameRateNum = 25;
    int frameRateDen = 1;
};

// NTSC when the height is nearer an NTSC frame height (240, 480) than a PAL
// one (288, 576); PAL when it is as near to both.
VideoStandard StandardForHeight(int32_t bitmapHeight);

// Still sizes: Video CD 352 x 288/240 normal, 704 x 576/480 high; SVCD and
// SUPER-VCD 480 x 576/480 normal, 704 x 576/480 high; CVD 352 x 576/480 in
// either mode.
StillFrameFormat StillFormatFor(DiscKind kind, int pictureMode, int32_t bitmapHeight);

}  // namespace qorvcd::codec
