// Any bytes as a sector-mode track file: the probe must give a status (a
// probe error for what it cannot read) and, when it accepts the file, facts
// every later step can use without checking them again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/results.h"
#include "mpeg/mpeg_probe.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qorvcd::fuzz::ScratchFolder folder;
    const std::string path = folder / "track.mps";
    if (!folder.Ok() || !qorvcd::fuzz::WriteInput(path, data, size)) return 0;

    qorvcd::MpegStreamInfo info;
    qorvcd::ResetStreamInfo(info);
    const int32_t status = qorvcd::ProbeMpegFile(info, path, nullptr, [](const std::string&) {});
    if (status != info.status) __builtin_trap();
    if (status != qorvcd::kOk) return 0;

    // What the track list and the info files derive from an accepted probe.
    (void)qorvcd::FrameRate(info);
    const int32_t standard = qorvcd::ClassifyVideoStandard(info);
    if (standard < 0 || standard > int32_t(qorvcd::VideoStandard::Unknown)) __builtin_trap();
    (void)qorvcd::PlayingTime(info);
    for (int stream = 0; stream < 2; ++stream) {
        qorvcd::AudioStreamInfo audio;
        if (qorvcd::GetAudioStream(info, audio, stream) == qorvcd::kOk) {
            (void)qorvcd::AudioClassName(unsigned(audio.audioClass) & 0xF);
        }
    }
    qorvcd::TrackSummaryFacts facts;
    facts.videoStandard = info.videoStandard;
    facts.audioInfo = uint32_t(info.audio[1].audioClass & 0xF) << 4 | uint32_t(info.audio[0].audioClass & 0xF);
    facts.duration = uint32_t(info.duration < 0 ? 0 : info.duration);
    for (const auto kind : {qorvcd::DiscKind::Vcd30, qorvcd::DiscKind::Svcd, qorvcd::DiscKind::Cvd}) {
        if (qorvcd::DescribeTrack(kind, facts).empty()) __builtin_trap();
    }
    return 0;
}
