// Turns any video that FFmpeg's libraries read into the MPEG program stream a
// disc kind plays: MPEG-1 or MPEG-2 at the kind's frame size and the norm's
// frame rate, MP2 audio at 44.1 kHz stereo, multiplexed in 2324-byte packs so
// that PackProgramStream can turn it into a sector-mode file.
//
// The picture keeps its display shape (sample aspect included): it is scaled
// to fit the 4:3 frame and padded with black bars, never stretched.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/disc_kind.h"
#include "mpeg/mpeg_probe.h"

namespace qorvcd::codec {

// What the libraries see in a file before anything is decoded.
struct SourceFacts {
    bool readable = false;      // the container opened and its streams were read
    std::string error;          // why not, naming the file and FFmpeg's reason
    std::string container;      // demuxer name ("mpeg" for a program stream)
    bool hasVideo = false;
    std::string videoCodec;     // "mpeg1video", "mpeg2video", "h264" ...
    int width = 0;
    int height = 0;
    double frameRate = 0;       // frames per second, 0 when unknown
    bool hasAudio = false;
    double duration = 0;        // seconds, 0 when unknown
    bool codecUnavailable = false;  // the codec module could not be loaded (error says why)
};
SourceFacts ProbeSource(const std::string& path);

// The frame a kind's video has for a norm (Pal or Ntsc).
struct DiscFrame {
    int width = 0;
    int height = 0;
    bool mpeg2 = true;
};
DiscFrame FrameOf(DiscKind kind, ::qorvcd::VideoStandard norm);

// True when the file is already a program stream of the kind's codec and of a
// frame size of its family (for `norm`, or for either norm when none is
// asked): MPEG-1 352x288 or 352x240 for Video CD 3.0; MPEG-2 480x576, 480x480,
// 352x576 or 352x480 for SVCD, CVD and SUPER-VCD; or, in the kind's MPEG
// version, a high-resolution still (one picture of 704x576 or 704x480, no
// sound). Such a file goes on the disc as it is.
bool FitsDiscKind(const SourceFacts& facts, DiscKind kind, std::optional<::qorvcd::VideoStandard> norm);
// What FFmpeg would tell of a program stream, from the disc's own probe of
// its packed units: the MPEG version of its packs, its picture size and rate,
// and its playing time as the build measures it (0 where the probe measures
// none: MPEG-1).
SourceFacts FactsOfProbedStream(const MpegStreamInfo& info);

// The norm a source's frame rate suggests: 25 and 50 (and their neighbours)
// are PAL, 23.976, 29.97, 30, 59.94 and others NTSC; unknown rates are PAL.
::qorvcd::VideoStandard NormForFrameRate(double framesPerSecond);

struct TranscodeRequest {
    std::string inputPath;
    std::string outputPath;  // the program stream written (.mpg)
    DiscKind kind = DiscKind::Svcd;
    std::optional<::qorvcd::VideoStandard> norm;  // none: from the source's frame rate
    // Called now and then with the seconds of the source done and in all
    // (total is 0 when the source does not say).
    std::function<void(double done, double total)> progress;
    // Polled once per packet; true stops the work ("cancelled").
    std::function<bool()> cancelRequested;
    // Codec threads; 0 uses every core.
    int threads = 0;
};

struct TranscodeOutcome {
    int result = 0;       // kOk, kStepFailed or kCancelled (core/results.h)
    std::string error;    // names the file and the decoder's or encoder's reason
    ::qorvcd::VideoStandard norm = ::qorvcd::VideoStandard::Unknown;  // the norm written
};

// Writes the program stream. On failure or cancel the output file may be
// left partly written: the caller writes to a temporary path it removes.
TranscodeOutcome TranscodeForDisc(const TranscodeRequest& request);

}  // namespace qorvcd::codec
