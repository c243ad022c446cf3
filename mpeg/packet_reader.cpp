#include "mpeg/packet_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "mpeg/pack_header.h"
#include "platform/bytes.h"

namespace qorvcd {

namespace {

constexpr size_t kPacketLengthOffset = 4;

constexpr uint8_t kFillerByte = 0xFF;

bool IsZeroSector(const uint8_t* p, size_t size) {
    return size >= kMaxPackSize && std::all_of(p, p + kMaxPackSize, [](uint8_t b) { return b == 0; });
}

// A pack ends where the next pack or the program end code begins.
bool IsPackBoundary(const uint8_t* p) {
    return IsStartCode(p, StreamId::PackStart) || IsStartCode(p, StreamId::ProgramEnd);
}

// The stream a system-header pack is labelled with: the packet that follows
// the header when it carries a stream, else the first stream the header lists.
void ChooseSystemHeaderContent(const uint8_t* w, size_t size, size_t header, PackLayout& out) {
    const size_t headerLength = GetBe16(w + header + kPacketLengthOffset);
    const size_t listStart = header + kSystemHeaderFirstStream;
    const size_t next = header + kPacketPrefixSize + headerLength;
    if (next + kPacketPrefixSize <= size && IsStartCodePrefix(w + next)) {
        const uint8_t id = w[next + 3];
        if (IsVideoStreamId(id) || IsAudioStreamId(id) || id == uint8_t(StreamId::Private1)) {
            out.contentId = id;
            out.carriesStream = true;
            return;
        }
    }
    // An entry of the stream list is three bytes: id, then the buffer bound.
    if (headerLength + kPacketPrefixSize >= kSystemHeaderFirstStream + kStreamEntrySize && listStart < size) {
        out.contentId = w[listStart];
    }
}

// Walks the packets from `pos` to the end of the pack; what follows the last
// packet (VCD audio packs close with zero bytes) runs on to the next pack start.
PackLayout WalkPackets(const uint8_t* w, size_t size, size_t pos, PackLayout out) {
    const size_t limit = std::min(size, kMaxPackSize);
    while (pos < limit) {
        if (pos + kStartCodeSize <= size && IsPackBoundary(w + pos)) break;
        if (pos + kPacketPrefixSize <= size && IsStartCodePrefix(w + pos) &&
            (w[pos + 3] == uint8_t(StreamId::SystemHeader) || IsPacketStreamId(w[pos + 3]))) {
            pos += kPacketPrefixSize + GetBe16(w + pos + kPacketLengthOffset);
            if (pos > kMaxPackSize) {
                out.error = PackError::PackTooLong;
                return out;
            }
            continue;
        }
        while (pos < limit && !(pos + kStartCodeSize <= size && IsPackBoundary(w + pos))) ++pos;
        break;
    }
    // An end code in the last four bytes of a full pack is where the disc's
    // streams keep it: it belongs to that pack and ends the program there.
    if (pos + kStartCodeSize == kMaxPackSize && pos + kStartCodeSize <= size &&
        IsStartCode(w + pos, StreamId::ProgramEnd)) {
        pos = kMaxPackSize;
        out.endsProgram = true;
    }
    // A packet cut short by the end of the input is kept as it stands.
    out.length = std::min(pos, limit);
    return out;
}

}  // namespace

const char* PackErrorText(PackError error) {
    switch (error) {
        case PackError::None: return "";
        case PackError::NoPacketStart: return "Error 200: MPEG-II ,PS format error!";
        case PackError::UnknownPacket: return "Error 300: Unkown format of MPEG Packet!";
        case PackError::UnknownSystemHeader: return "Error 360: Unkown system head Packet!";
        case PackError::UnknownStream: return "Error 400: Unkown format of MPEG Packet!";
        case PackError::NoPackStart: return "Error 500: MPEG-II ,PS format error!";
        case PackError::PackTooLong: return "Error 600: PS Packet length > 2324!";
    }
    return "";
}

std::optional<Subheader> SubheaderForStream(uint8_t id, DiscKind kind) {
    switch (StreamId(id)) {
        case StreamId::Private1:
            return kind == DiscKind::Svcd ? kSvcdPrivate1Subheader : kPrivate1Subheader;
        case StreamId::Padding: return kPaddingSubheader;
        case StreamId::Audio0:
        case StreamId::Audio1: return kAudioSubheader;
        case StreamId::Video0:
        case StreamId::Video2: return kVideoSubheader;
        case StreamId::Video1:
            return kind == DiscKind::Cvd ? kCvdSecondVideoSubheader : kVideoSubheader;
        default: return std::nullopt;
    }
}

PackLayout MeasurePack(const uint8_t* w, size_t size) {
    PackLayout out;
    if (size >= kStartCodeSize && IsStartCode(w, StreamId::ProgramEnd)) {
        out.isEndCode = true;
        out.length = kStartCodeSize;
        return out;
    }
    if (IsZeroSector(w, size)) {
        out.isZeroSector = true;
        out.length = kMaxPackSize;
        return out;
    }
    if (size < kStartCodeSize || !IsStartCode(w, StreamId::PackStart)) {
        out.error = PackError::NoPackStart;
        return out;
    }
    const size_t header = PackHeaderLengthWithin(w, size);
    if (header + kPacketPrefixSize > size || !IsStartCodePrefix(w + header)) {
        out.error = PackError::NoPacketStart;
        return out;
    }
    const uint8_t id = w[header + 3];
    if (id == uint8_t(StreamId::SystemHeader)) {
        out.hasSystemHeader = true;
        ChooseSystemHeaderContent(w, size, header, out);
    } else if (!IsPacketStreamId(id)) {
        out.error = PackError::UnknownPacket;
        return out;
    } else {
        out.contentId = id;
        out.carriesStream = true;
    }
    return WalkPackets(w, size, header, out);
}

SectorModeWriter::SectorModeWriter(File& input, File& output, MessageHandler showMessage)
    : input_(input), output_(output), showMessage_(std::move(showMessage)) {}

bool SectorModeWriter::Fail(PackError error) {
    error_ = PackErrorText(error);
    if (showMessage_) showMessage_(error_);
    return false;
}

bool SectorModeWriter::FailIo(const File& file) {
    error_ = file.Error().empty() ? "I/O error on " + file.Path() : file.Error();
    return false;
}

bool SectorModeWriter::WritePackUnit(const uint8_t* pack, size_t length, const Subheader& subheader) {
    std::array<uint8_t, kSectorModeUnitSize> unit;
    unit.fill(kFillerByte);
    subheader.WriteTo(unit.data());
    std::memcpy(unit.data() + kSubheaderSize, pack, length);
    if (!output_.Write(unit.data(), unit.size())) return FailIo(output_);
    ++unitsWritten_;
    return true;
}

bool SectorModeWriter::ConvertToSectorMode(DiscKind kind) {
    lastVideoUnit_.reset();
    lastAudioUnit_.reset();
    unitsWritten_ = 0;
    const uint64_t length = input_.Length();
    if (!input_.Seek(0)) return FailIo(input_);

    // A sliding window over the input: each pack is read once, and the few
    // bytes looked at beyond its end are kept for the next pack.
    std::array<uint8_t, kPackWindowSize> window;
    size_t held = 0;
    uint64_t consumed = 0;
    // The end code takes the subheader of the pack before it.
    Subheader previous = kEmptyForm2Subheader;
    while (consumed < length) {
        const size_t want = size_t(std::min<uint64_t>(window.size(), length - consumed));
        if (held < want) {
            if (!input_.ReadExact(window.data() + held, want - held)) return FailIo(input_);
            held = want;
        }
        if (cancelRequested_ && cancelRequested_()) {
            error_ = "cancelled";
            return false;
        }
        const PackLayout pack = MeasurePack(window.data(), held);
        if (pack.error != PackError::None) return Fail(pack.error);

        if (pack.isZeroSector) {
            if (!WriteEmptyForm2Unit(output_)) return FailIo(output_);
            ++unitsWritten_;
        } else if (pack.isEndCode) {
            lastAudioUnit_ = output_.Position();
            return WritePackUnit(window.data(), pack.length, previous);
        } else {
            const uint8_t id = pack.contentId;
            const std::optional<Subheader> subheader = SubheaderForStream(id, kind);
            if (!subheader || (pack.hasSystemHeader && id == uint8_t(StreamId::Padding))) {
                return Fail(pack.hasSystemHeader ? PackError::UnknownSystemHeader
                                                 : PackError::UnknownStream);
            }
            if (pack.carriesStream && IsVideoStreamId(id)) lastVideoUnit_ = output_.Position();
            if (pack.carriesStream && IsAudioStreamId(id)) lastAudioUnit_ = output_.Position();
            if (!WritePackUnit(window.data(), pack.length, *subheader)) return false;
            if (pack.endsProgram) return true;
            previous = *subheader;
        }
        std::memmove(window.data(), window.data() + pack.length, held - pack.length);
        held -= pack.length;
        consumed += pack.length;
    }
    return true;
}

bool SectorModeWriter::MarkUnit(uint64_t offset) {
    constexpr size_t kFirstSubmode = 2;
    constexpr size_t kSecondSubmode = 6;
    std::array<uint8_t, kSectorModeUnitSize> unit;
    if (!output_.Seek(offset) || !output_.ReadExact(unit.data(), unit.size())) return FailIo(output_);
    unit[kFirstSubmode] |= kSubmodeEndOfRecord;
    unit[kSecondSubmode] |= kSubmodeEndOfRecord;
    if (!output_.Seek(offset) || !output_.Write(unit.data(), unit.size())) return FailIo(output_);
    return true;
}

bool SectorModeWriter::MarkLastUnits() {
    if (lastVideoUnit_ && !MarkUnit(*lastVideoUnit_)) return false;
    if (lastAudioUnit_ && !MarkUnit(*lastAudioUnit_)) return false;
    return output_.SeekToEnd() || FailIo(output_);
}

bool WriteEmptyForm2Unit(File& output) {
    std::array<uint8_t, kSectorModeUnitSize> unit{};
    kEmptyForm2Subheader.WriteTo(unit.data());
    return output.Write(unit.data(), unit.size());
}

bool PackProgramStream(const std::string& inputPath, const std::string& outputPath, DiscKind kind,
                       const MessageHandler& showMessage, std::string* error,
                       const std::function<bool()>& cancelRequested) {
    auto report = [&](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    File input;
    if (!input.Open(inputPath, FileMode::Read)) return report(input.Error());
    File output;
    if (!output.Open(outputPath, FileMode::CreateReadWrite)) return report(output.Error());

    SectorModeWriter writer(input, output, showMessage);
    writer.SetCancelPoll(cancelRequested);
    const bool converted = writer.ConvertToSectorMode(kind) && writer.MarkLastUnits();
    const bool closed = output.Close();
    if (converted && closed) return true;
    File::Remove(outputPath);
    return report(converted ? output.Error() : writer.Error());
}

}  // namespace qorvcd
