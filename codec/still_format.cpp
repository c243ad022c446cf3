#include "codec/still_format.h"

#include <cstdlib>

namespace qorvcd::codec {

namespace {

constexpr int kPalLines = 576;
constexpr int kNtscLines = 480;
constexpr int kHighWidth = 704;
constexpr int kVcdNormalWidth = 352;
constexpr int kSvcdNormalWidth = 480;
constexpr int kCvdWidth = 352;
constexpr int kPictureModeHigh = 3;

int64_t DistanceToNearest(int64_t height, int64_t fullLines) {
    const int64_t toHalf = std::llabs(height - fullLines / 2);
    const int64_t toFull = std::llabs(height - fullLines);
    return toHalf < toFull ? toHalf : toFull;
}

}  // namespace

VideoStandard StandardForHeight(int32_t bitmapHeight) {
    // Bottom-up and top-down bitmaps differ only in the sign of the height.
    const int64_t h = std::llabs(int64_t(bitmapHeight));
    return DistanceToNearest(h, kNtscLines) < DistanceToNearest(h, kPalLines) ? VideoStandard::Ntsc
                                                                              : VideoStandard::Pal;
}

StillFrameFormat StillFormatFor(DiscKind kind, int pictureMode, int32_t bitmapHeight) {
    StillFrameFormat f;
    f.standard = StandardForHeight(bitmapHeight);
    const int lines = f.standard == VideoStandard::Ntsc ? kNtscLines : kPalLines;
    const bool high = pictureMode == kPictureModeHigh;
    switch (kind) {
        case DiscKind::Vcd30:
            f.width = high ? kHighWidth : kVcdNormalWidth;
            f.height = high ? lines : lines / 2;
            break;
        case DiscKind::Cvd:
            f.width = kCvdWidth;
            f.height = lines;
            break;
        case DiscKind::Svcd:
        case DiscKind::SuperVcd:
            f.width = high ? kHighWidth : kSvcdNormalWidth;
            f.height = lines;
            break;
    }
    if (f.standard == VideoStandard::Ntsc) {
        f.frameRateNum = 30000;
        f.frameRateDen = 1001;
    }
    return f;
}

}  // namespace qorvcd::codec
