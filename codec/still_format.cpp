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
constexpr int kPictureModeNormal = 2;
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
    return StillFormatFor(kind, pictureMode, StandardForHeight(bitmapHeight));
}

StillFrameFormat StillFormatFor(DiscKind kind, int pictureMode, VideoStandard standard) {
    StillFrameFormat f;
    f.standard = standard;
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

bool IsStandardFrameSize(int width, int height) {
    if (!StandardOfFrameHeight(height)) return false;
    const bool fullHeight = height == kPalLines || height == kNtscLines;
    if (width == kVcdNormalWidth) return true;  // 352: Video CD, CVD and half-height frames
    return fullHeight && (width == kSvcdNormalWidth || width == kHighWidth);
}

std::optional<VideoStandard> StandardOfFrameHeight(int height) {
    if (height == kPalLines || height == kPalLines / 2) return VideoStandard::Pal;
    if (height == kNtscLines || height == kNtscLines / 2) return VideoStandard::Ntsc;
    return std::nullopt;
}

VideoStandard StandardOfPicture(int height) { return StandardOfFrameHeight(height).value_or(VideoStandard::Pal); }

int PictureModeForSize(DiscKind kind, int width, int height) {
    if (kind == DiscKind::Cvd) return kPictureModeNormal;
    if (IsStandardFrameSize(width, height)) {
        const int normalWidth = kind == DiscKind::Vcd30 ? kVcdNormalWidth : kSvcdNormalWidth;
        return width == normalWidth ? kPictureModeNormal : kPictureModeHigh;
    }
    return width >= kHighWidth || height >= kPalLines ? kPictureModeHigh : kPictureModeNormal;
}

}  // namespace qorvcd::codec
