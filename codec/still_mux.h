// Multiplexes one still picture's video elementary stream into a program
// stream whose every pack is exactly one Form 2 sector's user data (2324
// bytes). As the disc standards ask, the stream's first pack holds only the
// system header (and padding); the picture follows in the next packs, the
// last filled up with a padding packet and closed by the program end code in
// its last four bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/program_stream.h"

namespace qorvcd::codec {

// What the first bytes of a video elementary stream say it is.
enum class VideoStreamKind {
    NotVideo,  // no sequence header (ISO/IEC 11172-2 / 13818-2) at the start
    Mpeg1,     // sequence header without a sequence extension
    Mpeg2,     // sequence header followed by a sequence extension
};
VideoStreamKind DetectVideoStream(const std::vector<uint8_t>& stream);

struct StillMuxSettings {
    PackSyntax syntax = PackSyntax::Mpeg2;
    uint8_t streamId = kNormalStillStreamId;
    uint64_t startScr = 0;        // 90 kHz clock of the first pack
    bool reserveFirstSector = false;  // a padding-only pack before all others
    uint32_t muxRate = 0;         // 50-byte units per second
    uint32_t ticksPerPack = 0;    // 90 kHz ticks between packs at that rate
};

// Settings of a disc at single speed (Video CD, 75 sectors a second) or at
// double speed (the MPEG-2 discs, 150 sectors a second).
StillMuxSettings DiscMuxSettings(PackSyntax syntax, bool doubleSpeed);

// Number of packs the picture's stream will take, the system-header pack and
// a reserved first one included; the picture's PTS follows the last of them.
size_t CountStillPacks(size_t streamSize, const StillMuxSettings& settings);

// The whole program stream. `stream` must not be empty.
std::vector<uint8_t> MultiplexStill(const std::vector<uint8_t>& stream, const StillMuxSettings& settings);

}  // namespace qorvcd::codec
