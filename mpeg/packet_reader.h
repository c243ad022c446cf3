// Turns a multiplexed MPEG-1 or MPEG-2 program stream into a sector-mode file:
// one 2336-byte unit per pack (CD-XA subheader, the pack, 0xFF filler), the
// form in which the disc stores MPEG material one pack per Form 2 sector.
//
// A malformed stream fails the conversion with its message: a half-converted
// file would put wrongly framed sectors on the disc.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "mpeg/stream_codes.h"
#include "core/disc_kind.h"
#include "core/sector_unit.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

// The format errors of a conversion; each has its message text.
enum class PackError {
    None,
    NoPacketStart,         // no packet start after the pack header
    UnknownPacket,         // a packet id below 0xBC that is not a system header
    UnknownSystemHeader,   // the system header's stream is not one the disc knows
    UnknownStream,         // a packet id with no subheader
    NoPackStart,           // no pack start where a pack must begin
    PackTooLong,           // a pack running past 2324 bytes
};
const char* PackErrorText(PackError error);

// Subheader of a unit carrying a packet of `id`, or nothing for an id the
// disc does not know.
std::optional<Subheader> SubheaderForStream(uint8_t id, DiscKind kind);

// What one pack looks like, measured from the bytes at its start.
struct PackLayout {
    PackError error = PackError::None;
    size_t length = 0;          // bytes of the pack, at most kMaxPackSize
    uint8_t contentId = 0;      // stream id that chooses the subheader
    bool carriesStream = false; // contentId is a packet of the pack, not only announced
    bool hasSystemHeader = false;
    bool isEndCode = false;     // 00 00 01 B9: the program ends here
    bool endsProgram = false;   // the pack closes with the end code in its last 4 bytes
    bool isZeroSector = false;  // an all-zero padding sector of kMaxPackSize bytes
};

// Measures the pack at the start of `window` (the next bytes of the stream,
// at most kMaxPackSize + 4 of them; `size` is short only at end of input).
// Reads nothing outside the window.
PackLayout MeasurePack(const uint8_t* window, size_t size);

// The window MeasurePack wants: a pack area plus room for the next start code.
inline constexpr size_t kPackWindowSize = kMaxPackSize + kStartCodeSize;

// The units of a program stream, one per pack, in the order a conversion
// writes them, read one at a time: what `pack` writes into a file, and what a
// build copies into a track without writing a file first.
class PackUnitReader {
public:
    enum class Step {
        Unit,    // `unit` holds the next unit
        End,     // the stream has ended
        Failed,  // a format error (shown) or an I/O failure; see Error()
    };

    PackUnitReader(File& input, DiscKind kind, MessageHandler showMessage);
    // Measures the input and goes to its start (Next does it when not done);
    // false on an I/O failure.
    bool Start();
    // Fills `unit` (kSectorModeUnitSize bytes) from the stream's next pack.
    Step Next(uint8_t* unit);
    // True once nothing is left to read (the next step gives End).
    bool AtEnd() const;

    // Of the unit just given: it carries the stream's video or audio (the
    // unit of a closing end code counts as audio), where its pack begins in
    // the input, and how long the pack is (0 for an empty unit).
    bool UnitCarriesVideo() const { return carriesVideo_; }
    bool UnitCarriesAudio() const { return carriesAudio_; }
    uint64_t PackOffset() const { return packOffset_; }
    size_t PackLength() const { return packLength_; }
    uint64_t UnitsRead() const { return units_; }
    uint64_t InputLength() const { return length_; }
    // Bytes of the input the units so far have taken.
    uint64_t InputPosition() const { return consumed_; }
    const std::string& Error() const { return error_; }

private:
    Step Fail(PackError error);
    Step FailIo(const File& file);
    void Advance(size_t bytes);

    File& input_;
    DiscKind kind_;
    MessageHandler showMessage_;
    std::string error_;
    // A sliding window over the input: each pack is read once, and the few
    // bytes looked at beyond its end are kept for the next pack.
    std::array<uint8_t, kPackWindowSize> window_{};
    size_t held_ = 0;
    uint64_t consumed_ = 0;
    uint64_t length_ = 0;
    bool started_ = false;
    bool ended_ = false;
    // The end code takes the subheader of the pack before it.
    Subheader previous_ = kEmptyForm2Subheader;
    bool carriesVideo_ = false;
    bool carriesAudio_ = false;
    uint64_t packOffset_ = 0;
    size_t packLength_ = 0;
    uint64_t units_ = 0;
};

// Sets the end-of-record bit in both subheader copies of a sector-mode unit,
// as a conversion marks its last video and last audio units.
void MarkEndOfRecord(uint8_t* unit);

// One conversion from an open program stream into an open sector-mode file.
class SectorModeWriter {
public:
    SectorModeWriter(File& input, File& output, MessageHandler showMessage);
    // Polled once per pack; true ends the conversion ("cancelled").
    void SetCancelPoll(std::function<bool()> cancelRequested) { cancelRequested_ = std::move(cancelRequested); }

    // Converts the whole input from its start. Returns false after a format
    // error (shown through the message handler) or an I/O failure (Error()).
    bool ConvertToSectorMode(DiscKind kind);
    // Sets the end-of-record bit on the last video unit and the last audio
    // (or end-code) unit written.
    bool MarkLastUnits();

    const std::string& Error() const { return error_; }
    std::optional<uint64_t> LastVideoUnit() const { return lastVideoUnit_; }
    std::optional<uint64_t> LastAudioUnit() const { return lastAudioUnit_; }
    uint64_t UnitsWritten() const { return unitsWritten_; }

private:
    bool FailIo(const File& file);
    bool MarkUnit(uint64_t offset);

    File& input_;
    File& output_;
    MessageHandler showMessage_;
    std::function<bool()> cancelRequested_;
    std::string error_;
    std::optional<uint64_t> lastVideoUnit_;
    std::optional<uint64_t> lastAudioUnit_;
    uint64_t unitsWritten_ = 0;
};

// Writes one empty Form 2 unit (subheader 01 00 60 00, zero bytes after it):
// what stands for a stream's all-zero padding sector, and the first unit of a
// CVD still picture.
bool WriteEmptyForm2Unit(File& output);

// Converts the program stream at `inputPath` into a sector-mode file at
// `outputPath` and marks its last units. On any failure the message is shown
// (format errors) or returned in `error`, and no output file is left.
bool PackProgramStream(const std::string& inputPath, const std::string& outputPath,
                       DiscKind kind, const MessageHandler& showMessage,
                       std::string* error, const std::function<bool()>& cancelRequested = {});

}  // namespace qorvcd
