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

bool FitsDiscKind(const SourceFacts& facts, DiscKind kind, std::optional<::qorvcd::VideoStandard> norm) {
    if (!facts.readable || !facts.hasVideo || facts.container != "mpeg") return false;
    const bool mpeg2 = kind != DiscKind::Vcd30;
    if (facts.videoCodec != (mpeg2 ? "mpeg2video" : "mpeg1video")) return false;
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

::qorvcd::VideoStandard NormForFrameRate(double fps) {
    if (fps <= 0) return ::qorvcd::VideoStandard::Pal;
    for (double pal : {12.5, 25.0, 50.0, 100.0}) {
        if (std::fabs(fps - pal) < pal * 0.02) return ::qorvcd::VideoStandard::Pal;
    }
    return ::qorvcd::VideoStandard::Ntsc;
}

}  // namespace qorvcd::codec
