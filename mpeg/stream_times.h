// The times of a track file's video stream: its exact playing time from the
// first and last presentation time stamps, and the place of every picture in
// presentation order. A disc that follows the Video CD 2.0 / SVCD standards
// states each track's playing time to the frame and has a scan point every
// half second, each on a picture a player can start from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mpeg/mpeg_probe.h"

namespace qorvcd {

// One video packet inside a pack.
struct VideoPacket {
    const uint8_t* payload = nullptr;  // the elementary-stream bytes it carries
    size_t size = 0;
    int64_t presentationTime = -1;  // its PTS, -1 when its header has none
};

// The video packets of the pack at `pack` (`size` bytes from its start code),
// in order; a packet cut off by the end of the bytes gives what is there.
std::vector<VideoPacket> VideoPacketsOfPack(const uint8_t* pack, size_t size);

// 90 kHz ticks of one picture at `frameRate`; 0 when the rate is unknown.
double TicksPerPicture(double frameRate);

struct StreamTimes {
    uint64_t firstTimestamp = 0;  // presentation time of the first picture shown
    uint64_t lastTimestamp = 0;   // presentation time of the last picture shown
    double ticksPerPicture = 0;

    // From the first picture shown to the end of the last one, 90 kHz ticks.
    uint64_t PlayingTicks() const;
    // The same in hundredths of a second, rounded up: a track's scan points
    // (one per half second short of its end) counted from it are all there.
    uint32_t PlayingHundredths() const;
};

// Reads the times of the first and the last picture shown from a sector-mode
// track file (2336-byte units, a pack in each): from its first pictures and
// its last group of pictures only, so a long track is not read whole. A
// picture whose packet carries no time stamp is timed from one that does in
// its group, by its temporal reference. Nothing, with `why` set, when the
// file cannot be read or its video packets carry no time stamps.
std::optional<StreamTimes> MeasureStreamTimes(const std::string& path, double frameRate, std::string* why);
// The same over a sector-mode file read from elsewhere (a program stream
// packed as it is read).
std::optional<StreamTimes> MeasureSourceTimes(SectorModeSource& source, double frameRate, std::string* why);

// Reads the pack of unit `index` into `area` (zero-filled, kMaxPackSize
// bytes) and sets `got`; false on a read error.
using PackSource = std::function<bool(uint64_t index, uint8_t* area, size_t& got)>;
// The same over `units` packs from any source (a track on a disc image, say).
// A `frameRate` of 0 takes the rate of the stream's first sequence header.
std::optional<StreamTimes> MeasurePackTimes(const PackSource& source, uint64_t units, double frameRate,
                                            std::string* why);

// Follows the pictures of a video elementary stream (ISO/IEC 11172-2,
// 13818-2) fed in pieces, and gives each its index in presentation order:
// the pictures of the earlier groups of pictures plus its temporal reference.
class PictureClock {
public:
    struct Picture {
        uint64_t displayIndex = 0;  // 0 for the first picture shown
        uint8_t codingType = 0;     // a PictureCodingType value
        // Stream offset (bytes fed before) where a player can start on it:
        // the sequence or group header right in front of it, else its own
        // start code.
        uint64_t accessOffset = 0;
        uint64_t startOffset = 0;  // of its own start code
        uint64_t group = 0;        // group headers fed before it
    };

    // Feeds the next bytes; appends the pictures whose headers end in them.
    void Feed(const uint8_t* bytes, size_t size, std::vector<Picture>& out);
    // Bytes fed so far.
    uint64_t Offset() const { return offset_; }
    // The frame-rate code of the first sequence header fed; 0 before one.
    uint8_t FrameRateCode() const { return frameRateCode_; }

private:
    uint32_t prefix_ = 0xFFFFFF;  // the last three bytes fed
    int pending_ = 0;             // picture header bytes still to come
    uint8_t header_[2] = {};      // temporal reference and coding type
    int sequencePending_ = 0;     // sequence header bytes up to its frame-rate code
    uint8_t frameRateCode_ = 0;
    uint64_t pictureStart_ = 0;
    std::optional<uint64_t> accessStart_;  // a header since the last picture
    uint64_t picturesSeen_ = 0;
    uint64_t groupBase_ = 0;  // pictures before the current group
    uint64_t groups_ = 0;
    uint64_t offset_ = 0;
};

}  // namespace qorvcd
