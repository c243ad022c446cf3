// Real program streams made with ffmpeg (cached between runs), and small
// hand-made packs for the cases real encoders never produce.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session/disc_kind.h"

namespace qorvcd::test {

// ffmpeg streams of a few seconds: VCD (MPEG-1) and SVCD (MPEG-2) targets.
std::string PalVcdStream();
std::string NtscVcdStream();
// A VCD stream with a low audio rate, which ffmpeg fills with all-zero sectors.
std::string ZeroSectorVcdStream();
std::string PalSvcdStereoStream();
std::string NtscSvcdStream();
// Two mono audio streams (0xC0 and 0xC1).
std::string PalSvcdTwoAudioStream();

// The stream packed into a sector-mode file inside `folder`; fails the test
// when packing fails.
std::string PackInto(const std::string& folder, const std::string& stream, DiscKind kind);

// A program stream built by hand, pack by pack.
class StreamBuilder {
public:
    // An MPEG-1 pack header (12 bytes) or an MPEG-2 one with `stuffing` bytes.
    StreamBuilder& Mpeg1PackHeader(uint32_t scr = 0);
    StreamBuilder& Mpeg2PackHeader(uint32_t scr = 0, int stuffing = 0);
    // A system header listing the given stream ids.
    StreamBuilder& SystemHeader(const std::vector<uint8_t>& ids);
    // A packet of `id` whose whole length is `totalSize` (start and length field included).
    StreamBuilder& Packet(uint8_t id, size_t totalSize, uint8_t fill = 0x55);
    // An MPEG-1 audio packet: PTS, then the four-byte frame header, then fill.
    StreamBuilder& Mpeg1AudioPacket(const uint8_t header[4], size_t totalSize, size_t skew = 0);
    StreamBuilder& Bytes(const std::vector<uint8_t>& bytes);
    StreamBuilder& Zeros(size_t count);
    StreamBuilder& EndCode();
    // Pads the current pack with zero bytes up to `packSize` from its header.
    StreamBuilder& PadPackTo(size_t packSize);

    const std::vector<uint8_t>& Data() const { return data_; }
    size_t Size() const { return data_.size(); }

private:
    std::vector<uint8_t> data_;
    size_t packStart_ = 0;
};

// Bytes 8 to 2331 of every 2336-byte unit, in order.
std::vector<uint8_t> PackAreasOf(const std::vector<uint8_t>& sectorFile);

}  // namespace qorvcd::test
