#include "tests/codec/codec_media.h"

#include <sstream>

#include "tests/support/test_support.h"

namespace qorvcd::test {

namespace {
constexpr size_t kUnit = 2336;
constexpr size_t kSubheader = 8;
constexpr size_t kPackArea = 2324;
}  // namespace

std::string TestBitmap(int width, int height, const std::string& pixelFormat) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    return EnsureMedia("still-" + size + "-" + pixelFormat + ".bmp",
                       "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" + size +
                           " -frames:v 1 -pix_fmt " + pixelFormat + " -c:v bmp -f image2 -update 1 {out}");
}

std::vector<uint8_t> PackAreasOf(const std::vector<uint8_t>& sectorFile) {
    std::vector<uint8_t> out;
    for (size_t at = 0; at + kUnit <= sectorFile.size(); at += kUnit)
        out.insert(out.end(), sectorFile.begin() + ptrdiff_t(at + kSubheader),
                   sectorFile.begin() + ptrdiff_t(at + kSubheader + kPackArea));
    return out;
}

ProbedVideo ProbeVideo(const std::string& path) {
    ProbedVideo v;
    const CommandResult r = RunCommand(
        "ffprobe -v error -select_streams v:0 -count_frames "
        "-show_entries stream=codec_name,width,height,nb_read_frames -of default=nw=1 '" + path + "'");
    v.raw = r.output;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "codec_name") v.codec = value;
        else if (key == "width") v.width = std::atoi(value.c_str());
        else if (key == "height") v.height = std::atoi(value.c_str());
        else if (key == "nb_read_frames") v.frames = std::atoi(value.c_str());
    }
    return v;
}

std::vector<uint8_t> DecodeToRgb(const std::string& path, const std::string& scratch) {
    const CommandResult r = RunCommand("ffmpeg -nostdin -v error -y -i '" + path +
                                       "' -frames:v 1 -f rawvideo -pix_fmt rgb24 '" + scratch + "'");
    if (r.exitCode != 0) return {};
    return ReadBytes(scratch);
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 255.0;
    uint64_t sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += uint64_t(a[i] > b[i] ? a[i] - b[i] : b[i] - a[i]);
    return double(sum) / double(a.size());
}

}  // namespace qorvcd::test
