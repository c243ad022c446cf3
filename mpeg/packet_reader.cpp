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

PackUnitReader::PackUnitReader(File& input, DiscKind kind, MessageHandler showMessage)
    : input_(input), kind_(kind), showMessage_(std::move(showMessage)) {}

PackUnitReader::Step PackUnitReader::Fail(PackError error) {
    error_ = PackErrorText(error);
    if (showMessage_) showMessage_(error_);
    return Step::Failed;
}

PackUnitReader::Step PackUnitReader::FailIo(const File& file) {
    error_ = file.Error().empty() ? "I/O error on " + file.Path() : file.Error();
    return Step::Failed;
}

bool PackUnitReader::Start() {
    started_ = true;
    length_ = input_.Length();
    return input_.Seek(0);
}

bool PackUnitReader::AtEnd() const { return ended_ || (started_ && consumed_ >= length_); }

void PackUnitReader::Advance(size_t bytes) {
    std::memmove(window_.data(), window_.data() + bytes, held_ - bytes);
    held_ -= bytes;
    consumed_ += bytes;
}

PackUnitReader::Step PackUnitReader::Next(uint8_t* unit) {
    if (!started_ && !Start()) return FailIo(input_);
    if (AtEnd()) return Step::End;
    const size_t want = size_t(std::min<uint64_t>(window_.size(), length_ - consumed_));
    if (held_ < want) {
        if (!input_.ReadExact(window_.data() + held_, want - held_)) return FailIo(input_);
        held_ = want;
    }
    const PackLayout pack = MeasurePack(window_.data(), held_);
    if (pack.error != PackError::None) return Fail(pack.error);

    carriesVideo_ = carriesAudio_ = false;
    packOffset_ = consumed_;
    packLength_ = pack.length;
    std::memset(unit, kFillerByte, kSectorModeUnitSize);
    if (pack.isZeroSector) {
        std::memset(unit, 0, kSectorModeUnitSize);
        kEmptyForm2Subheader.WriteTo(unit);
        packLength_ = 0;
        Advance(pack.length);
    } else if (pack.isEndCode) {
        carriesAudio_ = true;
        previous_.WriteTo(unit);
        std::memcpy(unit + kSubheaderSize, window_.data(), pack.length);
        ended_ = true;
    } else {
        const uint8_t id = pack.contentId;
        const std::optional<Subheader> subheader = SubheaderForStream(id, kind_);
        if (!subheader || (pack.hasSystemHeader && id == uint8_t(StreamId::Padding))) {
            return Fail(pack.hasSystemHeader ? PackError::UnknownSystemHeader : PackError::UnknownStream);
        }
        carriesVideo_ = pack.carriesStream && IsVideoStreamId(id);
        carriesAudio_ = pack.carriesStream && IsAudioStreamId(id);
        subheader->WriteTo(unit);
        std::memcpy(unit + kSubheaderSize, window_.data(), pack.length);
        previous_ = *subheader;
        if (pack.endsProgram) {
            ended_ = true;
        } else {
            Advance(pack.length);
        }
    }
    ++units_;
    return Step::Unit;
}

void MarkEndOfRecord(uint8_t* unit) {
    constexpr size_t kFirstSubmode = 2;
    constexpr size_t kSecondSubmode = 6;
    unit[kFirstSubmode] |= kSubmodeEndOfRecord;
    unit[kSecondSubmode] |= kSubmodeEndOfRecord;
}

SectorModeWriter::SectorModeWriter(File& input, File& output, MessageHandler showMessage)
    : input_(input), output_(output), showMessage_(std::move(showMessage)) {}

bool SectorModeWriter::FailIo(const File& file) {
    error_ = file.Error().empty() ? "I/O error on " + file.Path() : file.Error();
    return false;
}

bool SectorModeWriter::ConvertToSectorMode(DiscKind kind) {
    lastVideoUnit_.reset();
    lastAudioUnit_.reset();
    unitsWritten_ = 0;
    PackUnitReader reader(input_, kind, showMessage_);
    if (!reader.Start()) return FailIo(input_);
    std::array<uint8_t, kSectorModeUnitSize> unit;
    for (;;) {
        if (reader.AtEnd()) return true;
        // Polled once per pack, as the pack is about to be measured.
        if (cancelRequested_ && cancelRequested_()) {
            error_ = "cancelled";
            return false;
        }
        const PackUnitReader::Step step = reader.Next(unit.data());
        if (step == PackUnitReader::Step::End) return true;
        if (step == PackUnitReader::Step::Failed) {
            error_ = reader.Error();
            return false;
        }
        if (reader.UnitCarriesVideo()) lastVideoUnit_ = output_.Position();
        if (reader.UnitCarriesAudio()) lastAudioUnit_ = output_.Position();
        if (!output_.Write(unit.data(), unit.size())) return FailIo(output_);
        ++unitsWritten_;
    }
}

bool SectorModeWriter::MarkUnit(uint64_t offset) {
    std::array<uint8_t, kSectorModeUnitSize> unit;
    if (!output_.Seek(offset) || !output_.ReadExact(unit.data(), unit.size())) return FailIo(output_);
    MarkEndOfRecord(unit.data());
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
