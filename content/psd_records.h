// The list descriptors of the PSD file (play sequence descriptor): play
// lists, selection lists and end lists, each with its layout, its encoder and
// a defensive decoder. All numbers are big-endian. A list's place is its byte
// offset in the PSD divided by 8.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "content/pbc_script.h"

namespace qorvcd {

class InspectVisitor;

inline constexpr size_t kPsdAlignment = 8;         // every descriptor starts at a multiple of 8
inline constexpr uint16_t kNoListOffset = 0xFFFF;  // a link that leads nowhere

// Play list descriptor, 16 bytes.
inline constexpr size_t kPlayListSize = 16;
inline constexpr size_t kPlayListTypeOffset = 0;
inline constexpr size_t kPlayListItemCountOffset = 1;
inline constexpr size_t kPlayListIdOffset = 2;
inline constexpr size_t kPlayListPreviousOffset = 4;
inline constexpr size_t kPlayListNextOffset = 6;
inline constexpr size_t kPlayListReturnOffset = 8;
inline constexpr size_t kPlayListPlayTimeOffset = 10;
inline constexpr size_t kPlayListWaitOffset = 12;
inline constexpr size_t kPlayListAutoWaitOffset = 13;
// The video track writer patches the play-item number of a play list that
// starts at an entry point here.
inline constexpr size_t kPlayListPlayItemOffset = 14;

// Selection list descriptor, 20 bytes plus two per selection, rounded up to 8.
inline constexpr size_t kSelectionFixedSize = 20;
inline constexpr size_t kSelectionTypeOffset = 0;
inline constexpr size_t kSelectionReservedOffset = 1;
inline constexpr size_t kSelectionCountOffset = 2;
inline constexpr size_t kSelectionBaseOffset = 3;
inline constexpr size_t kSelectionIdOffset = 4;
inline constexpr size_t kSelectionPreviousOffset = 6;
inline constexpr size_t kSelectionNextOffset = 8;
inline constexpr size_t kSelectionReturnOffset = 10;
inline constexpr size_t kSelectionDefaultOffset = 12;
inline constexpr size_t kSelectionTimeoutOffset = 14;
inline constexpr size_t kSelectionWaitOffset = 16;
inline constexpr size_t kSelectionLoopOffset = 17;
inline constexpr size_t kSelectionPlayItemOffset = 18;
inline constexpr size_t kSelectionTargetsOffset = 20;

// End list descriptor, 8 bytes.
inline constexpr size_t kEndListSize = 8;
inline constexpr size_t kEndListTypeOffset = 0;
inline constexpr size_t kEndListStopNumberOffset = 1;
inline constexpr size_t kEndListPlayItemOffset = 2;
inline constexpr size_t kEndListReservedOffset = 4;  // 4 bytes, 0

// Names, for the inspector, the list a link leads to: `offset8` is the
// link's value (never kNoListOffset, which is shown as "none").
using PsdLinkText = std::function<std::string(uint16_t offset8)>;

// Size of a selection list with `selectionCount` choices.
size_t SelectionListSize(size_t selectionCount);

struct PlayListRecord {
    uint8_t itemCount = 1;
    uint16_t listId = 0;
    uint16_t previous = 0;
    uint16_t next = 0;
    uint16_t returnTo = 0;
    uint16_t playTime = 0;  // 1/15 second
    uint8_t wait = 0;
    uint8_t autoWait = 0;
    uint16_t playItem = 0;

    // kPlayListSize bytes.
    std::vector<uint8_t> Encode() const;
    // Nothing, with `why` set, when the bytes are too few or the type byte
    // is not a play list's.
    static std::optional<PlayListRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);
    // Feeds the descriptor's fields to the inspector, links named by `linkText`.
    void Inspect(InspectVisitor& v, const PsdLinkText& linkText) const;
    bool operator==(const PlayListRecord&) const = default;
};

struct SelectionRecord {
    uint8_t baseNumber = 0;
    uint16_t listId = 0;
    uint16_t previous = 0;
    uint16_t next = 0;
    uint16_t returnTo = 0;
    uint16_t defaultList = 0;
    uint16_t timeout = 0;
    uint8_t wait = 0;
    uint8_t loop = 0;
    uint16_t playItem = 0;
    std::vector<uint16_t> targets;  // one list offset per selection

    size_t Size() const { return SelectionListSize(targets.size()); }
    // Size() bytes (zero padding included). At most 255 targets.
    std::vector<uint8_t> Encode() const;
    // Nothing, with `why` set, when the bytes are too few for the fixed part
    // or the selections it counts, or the type byte is not a selection list's.
    static std::optional<SelectionRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);
    // Feeds the descriptor's fields to the inspector, links named by `linkText`.
    void Inspect(InspectVisitor& v, const PsdLinkText& linkText) const;
    bool operator==(const SelectionRecord&) const = default;
};

struct EndListRecord {
    uint8_t stopNumber = 0;
    uint16_t playItem = 0;

    std::vector<uint8_t> Encode() const;  // kEndListSize bytes
    static std::optional<EndListRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);
    // Feeds the descriptor's fields to the inspector.
    void Inspect(InspectVisitor& v) const;
    bool operator==(const EndListRecord&) const = default;
};

// One list of a decoded PSD, found through the LOT.
struct PsdListView {
    uint16_t listId = 0;        // its index in the LOT
    uint32_t offset = 0;        // byte offset in the PSD
    uint8_t typeCode = 0;       // raw descriptor type byte
    PlayListRecord playList;    // valid for PbcListType::PlayList
    SelectionRecord selection;  // valid for PbcListType::Selection
    EndListRecord endList;      // valid for PbcListType::EndList
    std::string error;          // set when the descriptor could not be decoded
};

// Decodes every list the LOT names. False with `error` when the LOT itself
// is unreadable; a single bad descriptor is reported in its own view.
bool DecodePlaybackControl(const uint8_t* lot, size_t lotSize, const uint8_t* psd, size_t psdSize,
                           std::vector<PsdListView>& lists, std::string& error);

// Human-readable play-item number: "none", "track 2", "entry 5", "segment 1000".
std::string DescribePlayItem(uint16_t playItem);

}  // namespace qorvcd
