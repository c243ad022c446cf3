// The video of a plain MPEG program stream (an .mpg file as an encoder writes
// it, before it is packed into sector-mode units), read from its own headers:
// enough to tell that a file already fits a disc kind and goes onto the disc
// as it is, without loading the codec module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qorvcd {

struct ProgramStreamVideo {
    bool mpeg2 = false;  // a sequence extension follows the sequence header
    int width = 0;
    int height = 0;
};

// How far into a file the first sequence header is looked for.
inline constexpr size_t kProgramStreamProbeWindow = 1 << 20;

// The first video stream's sequence header, found by walking the packs and
// packets at the start of `bytes`. None when the bytes do not begin with a
// pack header, when anything on the way is not a well-formed pack, system
// header or packet, or when no whole sequence header (and the start code
// after it) lies within them: the caller then asks the codec module.
std::optional<ProgramStreamVideo> ReadProgramStreamVideo(const uint8_t* bytes, size_t size);

// The same for the first kProgramStreamProbeWindow bytes of a file; none also
// when it cannot be read.
std::optional<ProgramStreamVideo> ProbeProgramStreamVideo(const std::string& path);

}  // namespace qorvcd
