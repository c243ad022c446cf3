// Real bitmaps made with ffmpeg (cached), and ffprobe's view of the MPEG
// streams the codec and the pipeline produce.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qorvcd::test {

// A test-pattern bitmap of `width` x `height` in `pixelFormat` (bgr24, pal8 ...).
std::string TestBitmap(int width, int height, const std::string& pixelFormat = "bgr24");

// The program stream inside a sector-mode file: every unit's pack area
// (bytes 8 to 2331) in order, as a disc reader sees the Form 2 sectors.
std::vector<uint8_t> PackAreasOf(const std::vector<uint8_t>& sectorFile);

struct ProbedVideo {
    std::string codec;  // "mpeg1video" or "mpeg2video"
    int width = 0;
    int height = 0;
    int frames = 0;
    std::string raw;    // ffprobe's whole output, for failure messages
};
// What ffprobe finds in the first video stream of an MPEG file.
ProbedVideo ProbeVideo(const std::string& path);

// The first picture of an image or MPEG file as RGB24 bytes, decoded by
// ffmpeg (empty when it cannot). `scratch` is a file the call may overwrite.
std::vector<uint8_t> DecodeToRgb(const std::string& path, const std::string& scratch);

// Mean absolute difference of two equally sized byte pictures (255 when the
// sizes differ).
double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

}  // namespace qorvcd::test
