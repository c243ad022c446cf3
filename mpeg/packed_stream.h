// A program stream that goes onto the disc packed as it is copied: no
// sector-mode file is written for it. One pass over the stream counts its
// units and finds the last video and audio ones (which a conversion marks);
// the index it keeps lets the probe read the sector-mode file the stream
// stands for, unit by unit, before the copy makes it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/disc_kind.h"
#include "core/sector_unit.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/packet_reader.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

// What the copy needs to know of a packed stream.
struct PackedStreamFacts {
    DiscKind kind = DiscKind::Svcd;           // chooses the subheaders
    uint64_t units = 0;                       // sector-mode units it packs into
    std::optional<uint64_t> lastVideoUnit;    // unit numbers from 0, marked end of record
    std::optional<uint64_t> lastAudioUnit;

    uint64_t SectorModeBytes() const { return units * kSectorModeUnitSize; }
};

// The sector-mode file of a program stream, read from the stream itself.
class PackedStreamIndex : public SectorModeSource {
public:
    // Polled once per pack with the bytes of the stream read and in all;
    // true cancels.
    using Poll = std::function<bool(uint64_t done, uint64_t total)>;

    enum class Outcome {
        Indexed,
        FormatError,  // not a program stream the packer takes (the message was shown)
        ReadError,    // the file could not be opened or read
        Cancelled,
    };
    // Reads the stream at `path` once; `error` says why when not Indexed.
    Outcome Build(const std::string& path, DiscKind kind, const MessageHandler& showMessage, const Poll& poll,
                  std::string* error);
    const PackedStreamFacts& Facts() const { return facts_; }

    uint64_t Length() override { return facts_.SectorModeBytes(); }
    size_t ReadAt(uint64_t position, uint8_t* out, size_t size) override;
    bool Ok() const override { return input_.Ok(); }
    const std::string& Error() const { return input_.Error(); }

private:
    // One unit: where its pack lies in the stream and which subheader it has.
    struct Entry {
        uint64_t offset : 40;
        uint64_t length : 12;    // 0: an empty unit
        uint64_t subheader : 8;  // index into subheaders_
    };
    bool ComposeUnit(uint64_t index, uint8_t* unit);
    uint8_t SubheaderIndex(const uint8_t* unit);

    File input_;
    PackedStreamFacts facts_;
    std::vector<Entry> entries_;
    std::vector<Subheader> subheaders_;
};

// The units of a packed stream in order, each exactly as the sector-mode
// file would hold it.
class PackedUnitInput {
public:
    // `input` is the open stream; `facts` come from its index.
    PackedUnitInput(File& input, const PackedStreamFacts& facts);
    // Reads the next unit; false at a failure (Error()) or when the stream
    // gives fewer or other units than it did when it was indexed.
    bool Next(uint8_t* unit);
    uint64_t Position() const { return reader_.UnitsRead() * kSectorModeUnitSize; }
    const std::string& Error() const { return error_; }

private:
    File& input_;
    PackedStreamFacts facts_;
    PackUnitReader reader_;
    std::string error_;
};

}  // namespace qorvcd
