#include "codec/program_stream.h"

#include "platform/bytes.h"

namespace qorvcd::codec {

namespace {

constexpr uint8_t kNoTimestamps = 0x0F;      // MPEG-1 packet without PTS/DTS
constexpr uint8_t kMpeg2PesFlags = 0x81;     // '10', not scrambled, original
constexpr uint8_t kDataAligned = 0x04;       // the packet starts with a picture
constexpr uint8_t kPtsFlag = 0x80;
constexpr uint8_t kMpeg1StdBufferMarker = 0x40;  // '01' of the STD buffer field
constexpr uint8_t kStreamBufferMarker = 0xC0;    // '11' of a system-header stream entry
constexpr uint8_t kBufferScaleKiB = 0x20;        // buffer bound in units of 1024 bytes
constexpr uint16_t kMaxBufferBound = 0x1FFF;     // 13-bit field
constexpr uint8_t kNoPackStuffing = 0xF8;        // reserved bits, stuffing length 0
constexpr size_t kMpeg1StdBufferSize = 2;
constexpr size_t kMpeg2PesFixedSize = 3;  // flags, flags, header data length

void PutStartCode(std::vector<uint8_t>& out, uint8_t code) {
    out.insert(out.end(), {0x00, 0x00, 0x01, code});
}

void PutBe16Back(std::vector<uint8_t>& out, uint16_t v) {
    uint8_t b[2];
    PutBe16(b, v);
    out.insert(out.end(), b, b + 2);
}

// 33-bit time stamp in the 5-byte form shared by PTS and the MPEG-1 SCR.
void PutTimestamp(std::vector<uint8_t>& out, uint8_t prefix, uint64_t t) {
    uint8_t field[kTimestampSize];
    WriteTimestamp(field, prefix, t);
    out.insert(out.end(), field, field + sizeof field);
}

// A 22-bit rate between marker bits, as the MPEG-1 pack and both system
// headers store it.
void PutMarkedRate(std::vector<uint8_t>& out, uint32_t rate) {
    out.push_back(uint8_t(0x80 | ((rate >> 15) & 0x7F)));
    out.push_back(uint8_t(rate >> 7));
    out.push_back(uint8_t(((rate << 1) & 0xFE) | 0x01));
}

void PutMpeg2Scr(std::vector<uint8_t>& out, uint64_t base) {
    uint8_t field[kMpeg2ClockReferenceSize];
    WriteMpeg2ClockReference(field, base, /*extension=*/0);
    out.insert(out.end(), field, field + sizeof field);
}

uint16_t BufferBound(uint32_t kib) { return uint16_t(kib > kMaxBufferBound ? kMaxBufferBound : kib); }

}  // namespace

void WritePackHeader(std::vector<uint8_t>& out, PackSyntax syntax, uint64_t scr, uint32_t muxRate) {
    PutStartCode(out, uint8_t(StreamId::PackStart));
    if (syntax == PackSyntax::Mpeg1) {
        PutTimestamp(out, kMpeg1PackMarker, scr);
        PutMarkedRate(out, muxRate);
        return;
    }
    PutMpeg2Scr(out, scr);
    out.push_back(uint8_t(muxRate >> 14));
    out.push_back(uint8_t(muxRate >> 6));
    out.push_back(uint8_t(((muxRate << 2) & 0xFC) | 0x03));
    out.push_back(kNoPackStuffing);
}

void WriteVideoSystemHeader(std::vector<uint8_t>& out, PackSyntax syntax, uint32_t rateBound,
                            uint8_t streamId, uint32_t bufferBoundKiB) {
    PutStartCode(out, uint8_t(StreamId::SystemHeader));
    PutBe16Back(out, uint16_t(kOneStreamSystemHeaderSize - kPacketPrefixSize));
    PutMarkedRate(out, rateBound);
    // No audio; MPEG-1 streams keep to the constrained system parameters.
    out.push_back(syntax == PackSyntax::Mpeg1 ? 0x01 : 0x00);
    // Audio and video locked to the system clock, marker, one video stream.
    out.push_back(0xE1);
    // MPEG-1: reserved byte; MPEG-2: no packet rate restriction, reserved bits.
    out.push_back(syntax == PackSyntax::Mpeg1 ? 0xFF : 0x7F);
    const uint16_t bound = BufferBound(bufferBoundKiB);
    out.push_back(streamId);
    out.push_back(uint8_t(kStreamBufferMarker | kBufferScaleKiB | (bound >> 8)));
    out.push_back(uint8_t(bound));
}

size_t PesHeaderSize(PackSyntax syntax, bool carriesPts, size_t stuffing) {
    if (syntax == PackSyntax::Mpeg1)
        return kPacketPrefixSize + stuffing + (carriesPts ? kMpeg1StdBufferSize + kTimestampSize : 1);
    return kPacketPrefixSize + kMpeg2PesFixedSize + (carriesPts ? kTimestampSize : 0) + stuffing;
}

void WritePesHeader(std::vector<uint8_t>& out, PackSyntax syntax, const PesHeaderFields& f) {
    const size_t header = PesHeaderSize(syntax, f.carriesPts, f.stuffing);
    PutStartCode(out, f.streamId);
    PutBe16Back(out, uint16_t(header - kPacketPrefixSize + f.payloadSize));
    if (syntax == PackSyntax::Mpeg1) {
        out.insert(out.end(), f.stuffing, 0xFF);
        if (!f.carriesPts) {
            out.push_back(kNoTimestamps);
            return;
        }
        const uint16_t bound = BufferBound(f.bufferBoundKiB);
        out.push_back(uint8_t(kMpeg1StdBufferMarker | kBufferScaleKiB | (bound >> 8)));
        out.push_back(uint8_t(bound));
        PutTimestamp(out, kPtsOnlyPrefix, f.pts);
        return;
    }
    out.push_back(uint8_t(kMpeg2PesFlags | (f.carriesPts ? kDataAligned : 0)));
    out.push_back(f.carriesPts ? kPtsFlag : 0x00);
    out.push_back(uint8_t((f.carriesPts ? kTimestampSize : 0) + f.stuffing));
    if (f.carriesPts) PutTimestamp(out, kPtsOnlyPrefix, f.pts);
    out.insert(out.end(), f.stuffing, 0xFF);
}

void WritePaddingPacket(std::vector<uint8_t>& out, size_t totalSize) {
    PutStartCode(out, uint8_t(StreamId::Padding));
    PutBe16Back(out, uint16_t(totalSize - kPacketPrefixSize));
    out.insert(out.end(), totalSize - kPacketPrefixSize, 0xFF);
}

void WriteProgramEnd(std::vector<uint8_t>& out) {
    PutStartCode(out, uint8_t(StreamId::ProgramEnd));
}

}  // namespace qorvcd::codec
