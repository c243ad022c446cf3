// Real bitmaps made with ffmpeg (cached), and ffmpeg's view of our MPEG streams.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace qorvcd::test {

inline std::string TestBitmap(int width, int height, const std::string& pixelFormat = "bgr24") {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    return EnsureMedia("still-" + size + "-" + pixelFormat + ".bmp",
                       "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" + size +
                           " -frames:v 1 -pix_fmt " + pixelFormat + " -c:v bmp -f image2 -update 1 {out}");
}

// A picture made with ffmpeg: `codec` is png, mjpeg, bmp ...; `filters` draw on a white
// frame of the size (an empty string leaves ffmpeg's test pattern).
inline std::string TestPicture(const std::string& name, int width, int height, const std::string& codec,
                               const std::string& filters = "") {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string source = filters.empty() ? "testsrc=size=" + size : "color=c=white:size=" + size;
    return EnsureMedia(name, "ffmpeg -nostdin -v error -y -f lavfi -i " + source +
                                 (filters.empty() ? "" : " -vf \"format=rgb24," + filters + "\"") +
                                 " -frames:v 1 -c:v " + codec + " -q:v 2 -f image2 -update 1 {out}");
}

// A red disc of radius r centred in a white picture of this size.
inline std::string CirclePicture(const std::string& name, int width, int height, int radius, const std::string& codec) {
    const std::string inside = "lt(hypot(X-" + std::to_string(width / 2) + "\\,Y-" + std::to_string(height / 2) +
                               ")\\," + std::to_string(radius) + ")";
    return TestPicture(name, width, height, codec,
                       "geq=r=255:g=if(" + inside + "\\,0\\,255):b=if(" + inside + "\\,0\\,255)");
}

// Writes the program stream inside a sector-mode file (every unit's pack area, as a
// disc reader sees the Form 2 sectors) to `out`, and returns `out`.
inline std::string WritePackAreas(const std::string& sectorFile, const std::string& out) {
    const std::vector<uint8_t> in = ReadBytes(sectorFile);
    std::vector<uint8_t> packs;
    for (size_t at = 0; at + 2336 <= in.size(); at += 2336) packs.insert(packs.end(), &in[at + 8], &in[at + 8 + 2324]);
    WriteBytes(out, packs);
    return out;
}

// "codec,width,height,rate,frames" of the first video stream, as ffprobe counts them.
inline std::string ProbeVideo(const std::string& path) {
    std::string out = RunCommand("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                                 "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 '" + path + "'").output;
    while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
    return out;
}

// The first picture of an image or MPEG file as RGB24 bytes (empty when ffmpeg cannot decode it).
inline std::vector<uint8_t> DecodeToRgb(const std::string& path, const std::string& scratch) {
    const std::string command = "ffmpeg -nostdin -v error -y -i '" + path + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 '";
    return RunCommand(command + scratch + "'").exitCode == 0 ? ReadBytes(scratch) : std::vector<uint8_t>{};
}

inline double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 255.0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / double(a.size());
}

}  // namespace qorvcd::test
