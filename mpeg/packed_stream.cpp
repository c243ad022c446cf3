#include "mpeg/packed_stream.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qorvcd {

namespace {

constexpr uint8_t kFillerByte = 0xFF;

}  // namespace

uint8_t PackedStreamIndex::SubheaderIndex(const uint8_t* unit) {
    const Subheader subheader = Subheader::ReadFrom(unit);
    const auto found = std::find(subheaders_.begin(), subheaders_.end(), subheader);
    if (found != subheaders_.end()) return uint8_t(found - subheaders_.begin());
    subheaders_.push_back(subheader);
    return uint8_t(subheaders_.size() - 1);
}

PackedStreamIndex::Outcome PackedStreamIndex::Build(const std::string& path, DiscKind kind,
                                                    const MessageHandler& showMessage, const Poll& poll,
                                                    std::string* error) {
    facts_ = PackedStreamFacts{};
    facts_.kind = kind;
    entries_.clear();
    subheaders_.clear();
    if (!input_.Open(path, FileMode::Read)) {
        *error = input_.Error();
        return Outcome::ReadError;
    }
    PackUnitReader reader(input_, kind, showMessage);
    if (!reader.Start()) {
        *error = input_.Error();
        return Outcome::ReadError;
    }
    std::array<uint8_t, kSectorModeUnitSize> unit;
    for (;;) {
        if (poll && poll(reader.InputPosition(), reader.InputLength())) {
            *error = "cancelled";
            return Outcome::Cancelled;
        }
        const PackUnitReader::Step step = reader.Next(unit.data());
        if (step == PackUnitReader::Step::End) break;
        if (step == PackUnitReader::Step::Failed) {
            *error = reader.Error();
            return input_.Ok() ? Outcome::FormatError : Outcome::ReadError;
        }
        const uint64_t index = entries_.size();
        if (reader.UnitCarriesVideo()) facts_.lastVideoUnit = index;
        if (reader.UnitCarriesAudio()) facts_.lastAudioUnit = index;
        entries_.push_back({reader.PackOffset(), reader.PackLength(), SubheaderIndex(unit.data())});
    }
    facts_.units = entries_.size();
    return Outcome::Indexed;
}

bool PackedStreamIndex::ComposeUnit(uint64_t index, uint8_t* unit) {
    const Entry& entry = entries_[index];
    if (entry.length == 0) {
        std::memset(unit, 0, kSectorModeUnitSize);
        kEmptyForm2Subheader.WriteTo(unit);
        return true;
    }
    std::memset(unit, kFillerByte, kSectorModeUnitSize);
    subheaders_[entry.subheader].WriteTo(unit);
    if (index == facts_.lastVideoUnit || index == facts_.lastAudioUnit) MarkEndOfRecord(unit);
    return input_.Seek(entry.offset) && input_.ReadExact(unit + kSubheaderSize, entry.length);
}

size_t PackedStreamIndex::ReadAt(uint64_t position, uint8_t* out, size_t size) {
    size_t done = 0;
    std::array<uint8_t, kSectorModeUnitSize> unit;
    while (done < size && position < Length()) {
        const uint64_t index = position / kSectorModeUnitSize;
        const size_t within = size_t(position % kSectorModeUnitSize);
        if (!ComposeUnit(index, unit.data())) break;
        const size_t piece = std::min(size - done, kSectorModeUnitSize - within);
        std::memcpy(out + done, unit.data() + within, piece);
        done += piece;
        position += piece;
    }
    return done;
}

PackedUnitInput::PackedUnitInput(File& input, const PackedStreamFacts& facts)
    : input_(input), facts_(facts), reader_(input, facts.kind, {}) {}

bool PackedUnitInput::Next(uint8_t* unit) {
    const uint64_t index = reader_.UnitsRead();
    const PackUnitReader::Step step = reader_.Next(unit);
    if (step == PackUnitReader::Step::Failed) {
        error_ = reader_.Error();
        return false;
    }
    if (step == PackUnitReader::Step::End || index >= facts_.units) {
        error_ = input_.Path() + " no longer packs into the " + std::to_string(facts_.units) + " units it did";
        return false;
    }
    if (index == facts_.lastVideoUnit || index == facts_.lastAudioUnit) MarkEndOfRecord(unit);
    return true;
}

}  // namespace qorvcd
