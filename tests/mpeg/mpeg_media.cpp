#include "tests/mpeg/mpeg_media.h"

#include <gtest/gtest.h>

#include "core/sector_unit.h"
#include "mpeg/packet_reader.h"
#include "tests/support/test_support.h"

namespace qorvcd::test {
namespace {

// Three seconds of test picture and tone. Noise keeps SVCD streams near the
// disc's data rate, as real ones run.
std::string MakeStream(const std::string& name, const std::string& target, const std::string& extra = "") {
    const std::string video = target == "pal-vcd"     ? "size=352x288:rate=25"
                              : target == "ntsc-svcd" ? "size=480x480:rate=30000/1001,noise=alls=20:allf=t+u"
                                                      : "size=480x576:rate=25,noise=alls=20:allf=t+u";
    return EnsureMedia(name, "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i 'testsrc=" + video +
                                 "' -f lavfi -i sine=frequency=440:sample_rate=44100 -t 3 " + extra + " -target " +
                                 target + " {out}");
}

}  // namespace

std::string PalVcdStream() { return MakeStream("mpeg-pal-vcd.mpg", "pal-vcd"); }
std::string ZeroSectorVcdStream() { return MakeStream("mpeg-zero-vcd.mpg", "pal-vcd", "-b:a 64k"); }
std::string PalSvcdStereoStream() { return MakeStream("mpeg-pal-svcd.mpg", "pal-svcd", "-ac 2"); }
std::string NtscSvcdStream() { return MakeStream("mpeg-ntsc-svcd.mpg", "ntsc-svcd", "-ac 2"); }
std::string PalSvcdTwoAudioStream() { return MakeStream("mpeg-pal-svcd-2a.mpg", "pal-svcd", "-map 0:v -map 1:a -map 1:a -ac 1"); }

std::string PackInto(const std::string& folder, const std::string& stream, DiscKind kind) {
    const std::string out = folder + "packed-" + std::to_string(int(kind)) + ".mps";
    std::string error;
    EXPECT_TRUE(PackProgramStream(stream, out, kind, {}, &error)) << stream << ": " << error;
    return out;
}

StreamBuilder& StreamBuilder::Mpeg1PackHeader(uint32_t scr) {
    packStart_ = data_.size();  // '0010', SCR and mux rate with their marker bits
    return Bytes({0x00, 0x00, 0x01, 0xBA, uint8_t(0x21 | ((scr >> 29) & 0x0E)), uint8_t(scr >> 22),
                  uint8_t(((scr >> 14) & 0xFE) | 1), uint8_t(scr >> 7), uint8_t((scr << 1) | 1), 0x80, 0x1B, 0x91});
}

StreamBuilder& StreamBuilder::Mpeg2PackHeader(uint32_t scr, int stuffing) {
    packStart_ = data_.size();
    Bytes({0x00, 0x00, 0x01, 0xBA, uint8_t(0x44 | ((scr >> 27) & 0x38) | ((scr >> 28) & 0x03)),
           uint8_t(scr >> 20), uint8_t(((scr >> 12) & 0xF8) | 0x04 | ((scr >> 13) & 0x03)), uint8_t(scr >> 5),
           uint8_t(((scr << 3) & 0xF8) | 0x04), 0x01, 0x01, 0x89, 0xC3, uint8_t(0xF8 | stuffing)});
    return Bytes(std::vector<uint8_t>(size_t(stuffing), 0xFF));
}

StreamBuilder& StreamBuilder::SystemHeader(const std::vector<uint8_t>& ids) {
    const size_t length = 6 + 3 * ids.size();
    Bytes({0x00, 0x00, 0x01, 0xBB, uint8_t(length >> 8), uint8_t(length), 0x80, 0x1B, 0x91, 0x05, 0xE1, 0xFF});
    for (uint8_t id : ids) Bytes({id, 0xE0, 0x20});
    return *this;
}

StreamBuilder& StreamBuilder::Packet(uint8_t id, size_t totalSize, uint8_t fill) {
    const size_t length = totalSize - 6;
    Bytes({0x00, 0x00, 0x01, id, uint8_t(length >> 8), uint8_t(length)});
    return Bytes(std::vector<uint8_t>(length, fill));
}

StreamBuilder& StreamBuilder::Bytes(const std::vector<uint8_t>& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
}

StreamBuilder& StreamBuilder::PadPackTo(size_t packSize) {
    const size_t used = data_.size() - packStart_;
    return used < packSize ? Zeros(packSize - used) : *this;
}

std::vector<uint8_t> PackAreasOf(const std::vector<uint8_t>& sectorFile) {
    std::vector<uint8_t> out;
    for (size_t at = 0; at + kSectorModeUnitSize <= sectorFile.size(); at += kSectorModeUnitSize)
        out.insert(out.end(), sectorFile.begin() + long(at + kSubheaderSize), sectorFile.begin() + long(at + kForm2UnitSize));
    return out;
}

}  // namespace qorvcd::test
