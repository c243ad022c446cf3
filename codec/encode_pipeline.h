// The still-picture pipeline: a bitmap becomes an MPEG still ready for the
// segment area in three passes, each handing a work file to the next:
//   1. the encoder turns the bitmap into a video elementary stream (B.VBS),
//   2. the multiplexer wraps it into a program stream (B.PS),
//   3. the packet reader packs the program stream into the sector-mode target.
// The work files live in the build's work folder and each is deleted once the
// next pass has used it. A Cancel is honoured between passes.
#pragma once

#include <optional>
#include <string>

#include "codec/still_format.h"
#include "core/build_context.h"
#include "core/results.h"

namespace qorvcd {

// Picture modes the caller chooses from the bitmap's width and the disc kind.
inline constexpr int kPictureModeNormal = 2;  // normal-resolution still
inline constexpr int kPictureModeHigh = 3;    // high-resolution still

// Converts `bitmapPath` into the sector-mode file `targetPath` for ctx.kind.
// Returns kOk on success; kStillFailedOrCancelled when the encoder or the
// sector-mode pass failed or the user cancelled; the multiplexer's own
// non-zero result (a codec::CodecResult) when it failed.
// On any failure the reason is logged and neither the target nor a work file
// is left behind.
// `bitmapPath` may name any still picture FFmpeg reads; `standard` is the
// still's video standard, chosen by the picture itself when absent.
int EncodeStillPicture(const BuildContext& ctx, const std::string& bitmapPath,
                       const std::string& targetPath, int pictureMode,
                       std::optional<codec::VideoStandard> standard = std::nullopt);

}  // namespace qorvcd
