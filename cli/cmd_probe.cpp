// `qorvcd probe FILE`: what the MPEG probe learns of a sector-mode file, and
// the track summary line the video track writer would log for it.
#include <cstdio>

#include "cli/commands.h"
#include "mpeg/mpeg_probe.h"
#include "platform/paths.h"

namespace qorvcd::cli {

namespace {

const char* StandardName(int32_t standard) {
    switch (VideoStandard(standard)) {
        case VideoStandard::Ntsc: return "NTSC";
        case VideoStandard::Pal: return "PAL";
        default: return "unknown";
    }
}

void PrintAudio(int index, uint32_t streamId, uint32_t announced, const AudioStreamInfo& a) {
    std::printf("audio %d:     stream 0x%02X%s, layer %d, %d kbit/s, %.1f kHz, %s\n", index,
                unsigned(streamId), announced ? "" : " (not announced)", a.layer, a.bitRate,
                double(a.samplingRate), AudioClassName(unsigned(a.audioClass) & 0x0F));
}

}  // namespace

int RunProbe(const ProbeOptions& options) {
    const std::string path = ResolvePath(options.file, "./");
    const MessageHandler show = [](const std::string& text) {
        std::fprintf(stderr, "%s\n", text.c_str());
    };
    MpegStreamInfo info;
    ResetStreamInfo(info);
    const int32_t status = ProbeMpegFile(info, path, nullptr, show);
    if (status == kProbeCannotOpen) {
        std::fprintf(stderr, "qorvcd probe: cannot open %s\n", options.file.c_str());
        return 1;
    }
    if (status != kOk) {
        std::fprintf(stderr, "qorvcd probe: %s is not a sector-mode MPEG file (status %d)\n",
                     options.file.c_str(), status);
        return 1;
    }
    const int32_t standard = ClassifyVideoStandard(info);
    std::printf("file:        %s\n", options.file.c_str());
    std::printf("system:      MPEG-%d\n", info.isMpeg2 ? 2 : 1);
    std::printf("video:       stream 0x%02X%s, %dx%d, %.3f frames/s, %s\n", unsigned(info.videoStreamId),
                info.videoAnnounced ? "" : " (not announced)", info.width, info.height,
                FrameRate(info), StandardName(standard));
    PrintAudio(0, info.audio1StreamId, info.audio1Announced, info.audio[0]);
    PrintAudio(1, info.audio2StreamId, info.audio2Announced, info.audio[1]);

    TrackSummaryFacts facts;
    facts.videoStandard = standard;
    facts.audioInfo = (uint32_t(info.audio[1].audioClass & 0x0F) << 4) | uint32_t(info.audio[0].audioClass & 0x0F);
    if (info.isMpeg2) {
        facts.duration = uint32_t(PlayingTime(info));
        std::printf("duration:    %d.%02d s\n", info.duration / 100, info.duration % 100);
    }
    const DiscKind kind = info.isMpeg2 ? DiscKind::Svcd : DiscKind::Vcd30;
    std::printf("summary:     %s\n", DescribeTrack(kind, facts).c_str());
    return 0;
}

}  // namespace qorvcd::cli
