// Real program streams made with ffmpeg (cached) and hand-made packs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/disc_kind.h"

namespace qorvcd::test {

// Three-second ffmpeg streams for the VCD (MPEG-1) and SVCD (MPEG-2) targets.
std::string PalVcdStream();
std::string ZeroSectorVcdStream();  // low audio rate: ffmpeg adds all-zero sectors
std::string PalSvcdStereoStream();
std::string NtscSvcdStream();
std::string PalSvcdTwoAudioStream();  // two mono audio streams (0xC0, 0xC1)

// The stream packed into a sector-mode file inside `folder` (fails the test on error).
std::string PackInto(const std::string& folder, const std::string& stream, DiscKind kind);

// A program stream built pack by pack; Packet's size includes its start code.
class StreamBuilder {
public:
    StreamBuilder& Mpeg1PackHeader(uint32_t scr = 0);
    StreamBuilder& Mpeg2PackHeader(uint32_t scr = 0, int stuffing = 0);
    StreamBuilder& SystemHeader(const std::vector<uint8_t>& ids);
    StreamBuilder& Packet(uint8_t id, size_t totalSize, uint8_t fill = 0x55);
    StreamBuilder& Bytes(const std::vector<uint8_t>& bytes);
    StreamBuilder& Zeros(size_t count) { return Bytes(std::vector<uint8_t>(count, 0)); }
    StreamBuilder& EndCode() { return Bytes({0x00, 0x00, 0x01, 0xB9}); }
    StreamBuilder& PadPackTo(size_t packSize);  // zeros up to `packSize` from the pack start
    const std::vector<uint8_t>& Data() const { return data_; }
    size_t Size() const { return data_.size(); }

private:
    std::vector<uint8_t> data_;
    size_t packStart_ = 0;
};

// Bytes 8 to 2331 of every 2336-byte unit, in order.
std::vector<uint8_t> PackAreasOf(const std::vector<uint8_t>& sectorFile);

}  // namespace qorvcd::test
