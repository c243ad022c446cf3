// Any bytes as a multiplexed program stream: measuring each pack must stay
// inside its window, and a conversion into sector-mode units must either
// succeed with whole units or fail and leave no output file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/disc_kind.h"
#include "core/sector_unit.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/packet_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Walks the bytes pack by pack as the converter does, each pack measured in
// a window of its own (an exact-size copy, so a read past it is caught).
void MeasureEveryPack(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size) {
        const size_t windowSize = std::min(qorvcd::kPackWindowSize, size - at);
        std::vector<uint8_t> window(data + at, data + at + windowSize);
        const qorvcd::PackLayout pack = qorvcd::MeasurePack(window.data(), window.size());
        if (pack.length > qorvcd::kMaxPackSize) __builtin_trap();
        if (pack.error != qorvcd::PackError::None || pack.length == 0 || pack.isEndCode) return;
        at += pack.length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MeasureEveryPack(data, size);

    qorvcd::fuzz::ScratchFolder folder;
    const std::string input = folder / "clip.mpg";
    const std::string output = folder / "clip.mps";
    if (!folder.Ok() || !qorvcd::fuzz::WriteInput(input, data, size)) return 0;

    // The kind changes the subheaders chosen; pick one from the input so the
    // corpus covers all of them.
    const auto kind = qorvcd::DiscKind(size % 4);
    std::string error;
    const bool packed = qorvcd::PackProgramStream(input, output, kind, [](const std::string&) {}, &error);
    std::error_code ec;
    const bool outputExists = std::filesystem::exists(output, ec);
    if (!packed) {
        if (outputExists) __builtin_trap();  // a failed conversion leaves nothing
        return 0;
    }
    if (!outputExists) __builtin_trap();
    const auto length = std::filesystem::file_size(output, ec);
    if (ec || length % qorvcd::kSectorModeUnitSize != 0) __builtin_trap();

    // The converted file goes on to the probe, as in a build.
    qorvcd::MpegStreamInfo info;
    qorvcd::ResetStreamInfo(info);
    (void)qorvcd::ProbeMpegFile(info, output, nullptr, [](const std::string&) {});
    return 0;
}
