// Streams made by other encoders for the conformance discs: mjpegtools'
// mpeg2enc and mplex (Video CD, SVCD, and their stills of normal and high
// resolution) and FFmpeg's disc targets, PAL and NTSC, a few seconds each,
// cached in the build's media folder.
#pragma once

#include <ostream>
#include <string>

namespace qorvcd::test {

enum class Norm { Pal, Ntsc };

struct DiscCase {
    const char* name;
    bool vcd30;  // Video CD 3.0 (MPEG-1), else SVCD
    Norm norm;
};
inline void PrintTo(const DiscCase& c, std::ostream* os) { *os << c.name; }

// mpeg2enc -f 1 (Video CD) or -f 4 (SVCD) with mp2enc's sound, mplexed.
std::string MjpegMotion(const DiscCase& disc, int seconds);
// mpeg2enc -f 6 (Video CD) or -f 7 (SVCD) still, mplexed alone.
std::string MjpegStill(const DiscCase& disc, bool highResolution);
// ffmpeg -target pal-vcd, ntsc-svcd ...
std::string FfmpegTarget(const DiscCase& disc, int seconds);
// The stream as a sector-mode file (`qorvcd pack`).
std::string Packed(const DiscCase& disc, const std::string& stream);

// Frames per second of the disc's norm.
double FramesPerSecond(Norm norm);
// Pictures of a stream's video, counted by ffprobe.
int CountPictures(const std::string& stream);

}  // namespace qorvcd::test
