#include "tests/conformance/conformance_media.h"

#include <cstdlib>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_support.h"

namespace qorvcd::test {

namespace {

constexpr const char* kFfmpeg = "ffmpeg -nostdin -hide_banner -loglevel error -y ";

const char* NormTag(Norm norm) { return norm == Norm::Pal ? "pal" : "ntsc"; }
const char* Rate(Norm norm) { return norm == Norm::Pal ? "25" : "30000/1001"; }
const char* KindTag(const DiscCase& disc) { return disc.vcd30 ? "vcd" : "svcd"; }

// Picture sizes of the norms: Video CD, SVCD, high-resolution still.
const char* MotionSize(const DiscCase& disc) {
    if (disc.vcd30) return disc.norm == Norm::Pal ? "352x288" : "352x240";
    return disc.norm == Norm::Pal ? "480x576" : "480x480";
}
const char* HighResolutionSize(Norm norm) { return norm == Norm::Pal ? "704x576" : "704x480"; }

// Test pictures as a YUV4MPEG stream for mpeg2enc.
std::string Pictures(const char* size, Norm norm, const std::string& length) {
    return std::string(kFfmpeg) + "-f lavfi -i testsrc=size=" + size + ":rate=" + Rate(norm) + " " + length +
           " -pix_fmt yuv420p -f yuv4mpegpipe -";
}

// Runs `steps` in a scratch folder $d that is removed afterwards.
std::string InScratch(const std::string& steps) {
    return "d=$(mktemp -d) && (" + steps + "); r=$?; rm -rf \"$d\"; test $r = 0";
}

}  // namespace

double FramesPerSecond(Norm norm) { return norm == Norm::Pal ? 25.0 : 30000.0 / 1001.0; }

std::string MjpegMotion(const DiscCase& disc, int seconds) {
    const std::string format = disc.vcd30 ? "1" : "4";
    const std::string name = std::string("conf-mjpeg-") + KindTag(disc) + "-" + NormTag(disc.norm) + "-" +
                             std::to_string(seconds) + "s.mpg";
    const std::string norm = disc.norm == Norm::Pal ? "p" : "n";
    return EnsureMedia(
        name, InScratch(Pictures(MotionSize(disc), disc.norm, "-t " + std::to_string(seconds)) +
                        " | mpeg2enc -v 0 -f " + format + " -n " + norm + " -a 2 -o \"$d/v.mpv\" && " + kFfmpeg +
                        "-f lavfi -i sine=frequency=440:sample_rate=44100 -ac 2 -t " + std::to_string(seconds) +
                        " \"$d/a.wav\" && mp2enc -V -o \"$d/a.mp2\" < \"$d/a.wav\" && mplex -v 0 -f " + format +
                        " -o {out} \"$d/v.mpv\" \"$d/a.mp2\""));
}

std::string MjpegStill(const DiscCase& disc, bool highResolution) {
    const std::string format = disc.vcd30 ? "6" : "7";
    const char* size = highResolution ? HighResolutionSize(disc.norm) : MotionSize(disc);
    const std::string name = std::string("conf-mjpeg-still-") + KindTag(disc) + "-" + NormTag(disc.norm) +
                             (highResolution ? "-hi" : "") + ".mpg";
    const std::string norm = disc.norm == Norm::Pal ? "p" : "n";
    // A high-resolution Video CD still of 100 KB fits the buffer mplex allows
    // it (mpeg2enc makes a larger one by itself).
    const std::string target = disc.vcd30 && highResolution ? " -T 100" : "";
    return EnsureMedia(name, InScratch(Pictures(size, disc.norm, "-frames:v 1") + " | mpeg2enc -v 0 -f " + format +
                                       " -n " + norm + " -a 2" + target + " -o \"$d/v.mpv\" && mplex -v 0 -f " + format +
                                       " -o {out} \"$d/v.mpv\""));
}

std::string FfmpegTarget(const DiscCase& disc, int seconds) {
    const std::string target = std::string(NormTag(disc.norm)) + "-" + KindTag(disc);
    return EnsureMedia("conf-ffmpeg-" + target + "-" + std::to_string(seconds) + "s.mpg",
                       std::string(kFfmpeg) + "-f lavfi -i testsrc2=size=" + MotionSize(disc) + ":rate=" +
                           Rate(disc.norm) + " -f lavfi -i sine=frequency=660:sample_rate=44100 -t " +
                           std::to_string(seconds) + " -ac 2 -target " + target + " {out}");
}

std::string Packed(const DiscCase& disc, const std::string& stream) {
    const std::string base = stream.substr(stream.find_last_of('/') + 1);
    return EnsureMedia(base + ".mps", Quote(CliPath()) + " pack " + Quote(stream) + " {out} --kind " +
                                          (disc.vcd30 ? "vcd30" : "svcd"));
}

int CountPictures(const std::string& stream) {
    return std::atoi(Output("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=nb_read_frames -of csv=p=0 " + Quote(stream))
                         .c_str());
}

}  // namespace qorvcd::test
