// The encoder and the multiplexer of the still-picture pipeline, called as
// outside tools are: with an argument vector of strings, answering with an
// integer that is 0 on success. What is not in the argument vectors (the disc
// the still is for, its resolution) is the codec's settings, fixed when the
// codec is made, in the way a tool reads its parameter file.
#pragma once

#include <optional>
#include <string>

#include "codec/still_format.h"
#include "core/disc_kind.h"
#include "core/results.h"

namespace qorvcd::codec {

struct StillCodecSettings {
    DiscKind kind = DiscKind::Svcd;
    int pictureMode = 2;  // 2 normal resolution, 3 high resolution
    // The still's video standard; when none is given, a standard-size bitmap's
    // comes from its height and any other picture's from StandardOfPicture.
    std::optional<VideoStandard> standard = std::nullopt;
};

class StillCodec {
public:
    explicit StillCodec(StillCodecSettings settings) : settings_(settings) {}

    // argv: "mpeg2encode", picture path, elementary-stream path, and "1" for an
    // MPEG-1 picture or "0" for MPEG-2. Writes the elementary stream. The
    // picture is a BMP or any still picture FFmpeg reads.
    int EncodeMain(int argc, char* argv[]);
    // argv: "mux.exe", "-o", program-stream path, MPEG-1 elementary-stream
    // path, start time in seconds ("0.00"). The trailing integers are the
    // picture mode (2 or 3: the still's stream id) and a reserved 0.
    int MuxMpg1(int argc, char* argv[], int pictureMode, int reserved);
    // The same for an MPEG-2 stream, with an optional sixth string: "1" puts
    // a padding-only pack in front of the stream (a CVD still's first sector
    // is replaced by a blank unit), "0" or none does not. Two reserved integers.
    int Mux(int argc, char* argv[], int pictureMode, int reserved1, int reserved2);

    // Why the last call failed (empty after a success).
    const std::string& LastError() const { return lastError_; }

private:
    int Failed(CodecResult result, const std::string& reason);
    int MuxStream(int argc, char* argv[], int pictureMode, bool mpeg1);

    StillCodecSettings settings_;
    std::string lastError_;
};

}  // namespace qorvcd::codec
