#include "codec/still_mux.h"

#include <algorithm>

namespace qorvcd::codec {

namespace {

constexpr size_t kSequenceHeaderFixedSize = 12;   // start code to load_intra flag
constexpr size_t kQuantiserMatrixSize = 64;
constexpr uint8_t kLoadIntraMatrixBit = 0x02;     // in the header's byte 11
constexpr uint8_t kLoadNonIntraMatrixBit = 0x01;  // in the byte that ends the flags

constexpr uint32_t kSectorsPerSecondSingleSpeed = 75;
constexpr uint32_t kMuxRateUnitBytes = 50;
// The decoder gets one frame time after the last byte arrived before the
// picture is shown.
constexpr uint64_t kDecodeMarginTicks = 3600;
// Decoder buffer bounds the disc players provide, in KiB.
constexpr uint32_t kMpeg1VideoBufferKiB = 46;
constexpr uint32_t kMpeg2VideoBufferKiB = 230;

bool HasStartCode(const std::vector<uint8_t>& s, size_t at, VideoStartCode code) {
    return at + kStartCodeSize <= s.size() && IsStartCodePrefix(s.data() + at) && s[at + 3] == uint8_t(code);
}

size_t FirstPesCapacity(const StillMuxSettings& s) {
    return kDiscPackSize - PackHeaderSize(s.syntax) - PesHeaderSize(s.syntax, true, 0);
}

size_t FollowingPesCapacity(const StillMuxSettings& s) {
    return kDiscPackSize - PackHeaderSize(s.syntax) - PesHeaderSize(s.syntax, false, 0);
}

// Packs before the picture: the reserved one, if asked for, and the
// system-header pack.
size_t LeadingPacks(const StillMuxSettings& s) { return s.reserveFirstSector ? 2 : 1; }

// Packs that carry the picture. The last of them also ends with the program
// end code, so it holds kProgramEndSize bytes less of the picture.
size_t PicturePackCount(size_t streamSize, const StillMuxSettings& s) {
    const size_t first = FirstPesCapacity(s);
    const size_t needed = streamSize + kProgramEndSize;
    if (needed <= first) return 1;
    const size_t following = FollowingPesCapacity(s);
    return 1 + (needed - first + following - 1) / following;
}

uint32_t BufferBoundFor(size_t streamSize, PackSyntax syntax) {
    const uint32_t needed = uint32_t((streamSize + 1023) / 1024);
    const uint32_t standard = syntax == PackSyntax::Mpeg1 ? kMpeg1VideoBufferKiB : kMpeg2VideoBufferKiB;
    return std::max(needed, standard);
}

void WritePaddingPack(std::vector<uint8_t>& out, const StillMuxSettings& s, uint64_t scr) {
    WritePackHeader(out, s.syntax, scr, s.muxRate);
    WritePaddingPacket(out, kDiscPackSize - PackHeaderSize(s.syntax));
}

void WriteSystemHeaderPack(std::vector<uint8_t>& out, const StillMuxSettings& s, uint64_t scr, uint32_t bound) {
    WritePackHeader(out, s.syntax, scr, s.muxRate);
    WriteVideoSystemHeader(out, s.syntax, s.muxRate, s.streamId, bound);
    WritePaddingPacket(out, kDiscPackSize - PackHeaderSize(s.syntax) - kOneStreamSystemHeaderSize);
}

}  // namespace

VideoStreamKind DetectVideoStream(const std::vector<uint8_t>& stream) {
    if (!HasStartCode(stream, 0, VideoStartCode::SequenceHeader) || stream.size() < kSequenceHeaderFixedSize)
        return VideoStreamKind::NotVideo;
    // The load flags sit at the end of the fixed part; a loaded matrix shifts
    // the next flag by 64 bytes.
    size_t flagsByte = kSequenceHeaderFixedSize - 1;
    if (stream[flagsByte] & kLoadIntraMatrixBit) flagsByte += kQuantiserMatrixSize;
    if (flagsByte >= stream.size()) return VideoStreamKind::NotVideo;
    size_t end = flagsByte + 1;
    if (stream[flagsByte] & kLoadNonIntraMatrixBit) end += kQuantiserMatrixSize;
    return HasStartCode(stream, end, VideoStartCode::Extension) ? VideoStreamKind::Mpeg2 : VideoStreamKind::Mpeg1;
}

StillMuxSettings DiscMuxSettings(PackSyntax syntax, bool doubleSpeed) {
    StillMuxSettings s;
    s.syntax = syntax;
    const uint32_t sectorsPerSecond = kSectorsPerSecondSingleSpeed * (doubleSpeed ? 2 : 1);
    s.muxRate = uint32_t(kRawSectorSize) * sectorsPerSecond / kMuxRateUnitBytes;
    s.ticksPerPack = kMpegClockHz / sectorsPerSecond;
    return s;
}

size_t CountStillPacks(size_t streamSize, const StillMuxSettings& s) {
    return LeadingPacks(s) + PicturePackCount(streamSize, s);
}

std::vector<uint8_t> MultiplexStill(const std::vector<uint8_t>& stream, const StillMuxSettings& s) {
    const size_t packCount = CountStillPacks(stream.size(), s);
    const uint32_t bound = BufferBoundFor(stream.size(), s.syntax);
    const uint64_t pts = s.startScr + uint64_t(packCount) * s.ticksPerPack + kDecodeMarginTicks;

    std::vector<uint8_t> out;
    out.reserve(packCount * kDiscPackSize);
    size_t packIndex = 0;
    auto scrOfNextPack = [&] { return s.startScr + uint64_t(packIndex++) * s.ticksPerPack; };
    if (s.reserveFirstSector) WritePaddingPack(out, s, scrOfNextPack());
    WriteSystemHeaderPack(out, s, scrOfNextPack(), bound);

    size_t offset = 0;
    while (packIndex < packCount) {
        const bool first = offset == 0;
        const bool last = packIndex + 1 == packCount;
        WritePackHeader(out, s.syntax, scrOfNextPack(), s.muxRate);
        // The program end code takes the last bytes of the last pack, so that
        // every sector of the stream begins with a pack header.
        const size_t room = kDiscPackSize - PackHeaderSize(s.syntax) - PesHeaderSize(s.syntax, first, 0) -
                            (last ? kProgramEndSize : 0);
        // A pack before the last always leaves the last pack some picture.
        const size_t left = stream.size() - offset;
        const size_t payload = last ? left : std::min(room, left - 1);
        const size_t gap = room - payload;
        // A gap too small for a padding packet is closed with PES stuffing.
        const size_t stuffing = gap < kPacketPrefixSize ? gap : 0;

        PesHeaderFields pes;
        pes.streamId = s.streamId;
        pes.payloadSize = payload;
        pes.stuffing = stuffing;
        pes.carriesPts = first;
        pes.pts = pts;
        pes.bufferBoundKiB = bound;
        WritePesHeader(out, s.syntax, pes);
        out.insert(out.end(), stream.begin() + ptrdiff_t(offset), stream.begin() + ptrdiff_t(offset + payload));
        if (gap >= kPacketPrefixSize) WritePaddingPacket(out, gap);
        offset += payload;
    }
    WriteProgramEnd(out);
    return out;
}

}  // namespace qorvcd::codec
