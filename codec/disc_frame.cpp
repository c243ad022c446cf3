#include <algorithm>
#include <cmath>

#include "codec/transcode.h"

namespace qorvcd::codec {

DiscFrame FrameOf(DiscKind kind, ::qorvcd::VideoStandard norm) {
    const bool pal = norm != ::qorvcd::VideoStandard::Ntsc;
    switch (kind) {
        case DiscKind::Vcd30: return {352, pal ? 288 : 240, false};
        case DiscKind::Cvd: return {352, pal ? 576 : 480, true};
        case DiscKind::Svcd:
        case DiscKind::SuperVcd: break;
    }
    return {480, pal ? 576 : 480, true};
}

namespace {

// A still of high resolution (704 pixels wide, 576 lines PAL or 480 NTSC) is
// a segment every kind plays: one picture, no sound. Shrinking it to the
// motion size would lose half its detail.
bool IsHighResolutionStill(const SourceFacts& facts, std::optional<::qorvcd::VideoStandard> norm) {
    constexpr int kWidth = 704;
    constexpr double kOnePictureAtMost = 0.1;  // seconds: a picture at any disc rate, with rounding
    if (facts.hasAudio || facts.width != kWidth || facts.duration <= 0 || facts.duration > kOnePictureAtMost)
        return false;
    const bool pal = facts.height == 576, ntsc = facts.height == 480;
    if (!norm) return pal || ntsc;
    return *norm == ::qorvcd::VideoStandard::Pal ? pal : ntsc;
}

}  // namespace

bool FitsDiscKind(const SourceFacts& facts, DiscKind kind, std::optional<::qorvcd::VideoStandard> norm) {
    if (!facts.readable || !facts.hasVideo || facts.container != "mpeg") return false;
    const bool mpeg2 = kind != DiscKind::Vcd30;
    if (facts.videoCodec != (mpeg2 ? "mpeg2video" : "mpeg1video")) return false;
    if (IsHighResolutionStill(facts, norm)) return true;
    // The MPEG-2 kinds share their streams: an SVCD-sized stream has always
    // gone onto a CVD as it is, and a CVD-sized one onto an SVCD.
    const DiscKind sizes[] = {kind, mpeg2 ? (kind == DiscKind::Cvd ? DiscKind::Svcd : DiscKind::Cvd) : kind};
    for (DiscKind sized : sizes) {
        for (::qorvcd::VideoStandard candidate : {::qorvcd::VideoStandard::Pal, ::qorvcd::VideoStandard::Ntsc}) {
            if (norm && *norm != candidate) continue;
            const DiscFrame frame = FrameOf(sized, candidate);
            if (facts.width == frame.width && facts.height == frame.height) return true;
        }
    }
    return false;
}

SourceFacts FactsOfProbedStream(const MpegStreamInfo& info) {
    SourceFacts facts;
    facts.readable = true;
    facts.container = "mpeg";
    facts.hasVideo = info.width > 0 && info.height > 0;
    facts.videoCodec = info.isMpeg2 ? "mpeg2video" : "mpeg1video";
    facts.width = info.width;
    facts.height = info.height;
    facts.frameRate = FrameRate(info);
    facts.hasAudio = info.audio1StreamId != 0 || info.audio2StreamId != 0;
    facts.duration = std::max(PlayingTime(info), 0) / 100.0;
    return facts;
}

::qorvcd::VideoStandard NormForFrameRate(double fps) {
    if (fps <= 0) return ::qorvcd::VideoStandard::Pal;
    for (double pal : {12.5, 25.0, 50.0, 100.0}) {
        if (std::fabs(fps - pal) < pal * 0.02) return ::qorvcd::VideoStandard::Pal;
    }
    return ::qorvcd::VideoStandard::Ntsc;
}

}  // namespace qorvcd::codec
