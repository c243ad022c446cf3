// The frame a still picture is encoded at: its size follows the disc kind and
// the picture mode, its video standard (PAL or NTSC) the caller's choice or the
// picture's own height.
#pragma once

#include <cstdint>
#include <optional>

#include "core/disc_kind.h"

namespace qorvcd::codec {

enum class VideoStandard {
    Pal,   // 25 frames/s, 288 or 576 lines
    Ntsc,  // 30000/1001 frames/s, 240 or 480 lines
};

enum class StillVideoSyntax { Mpeg1, Mpeg2 };  // ISO/IEC 11172-2, 13818-2

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
StillFrameFormat StillFormatFor(DiscKind kind, int pictureMode, VideoStandard standard);

// True for the frame sizes of every disc kind's stills and video (352 x 288,
// 352 x 240, 480 x 576, 480 x 480, 704 x 576, 704 x 480, 352 x 576, 352 x 480):
// a picture of such a size fills a 4:3 screen and is scaled to the still's
// frame as it is. Any other picture is taken as square pixels and fitted.
bool IsStandardFrameSize(int width, int height);

// PAL for 576 or 288 lines, NTSC for 480 or 240, nothing for other heights.
std::optional<VideoStandard> StandardOfFrameHeight(int height);

// The still's standard when the caller names none: the picture's own when its
// height is exactly a standard's, else PAL.
VideoStandard StandardOfPicture(int height);

// Normal (2) or high (3) resolution for a picture of this size: a standard
// frame keeps the resolution its width stands for (352 on a Video CD, 480 on
// the SVCD kinds are normal); any other picture is high only when it is at
// least as large as the high-resolution frame in one direction. A CVD has
// normal stills only.
int PictureModeForSize(DiscKind kind, int width, int height);

}  // namespace qorvcd::codec
