// The LOT (list ID offset table): 32 sectors that map each list ID n to the
// offset / 8 of its descriptor in the PSD, stored big-endian at byte 2n.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qorvcd {

inline constexpr size_t kLotSize = 65536;        // 32 sectors of 2048 bytes
inline constexpr size_t kLotReservedOffset = 0;  // 2 bytes, 0
inline constexpr size_t kLotEntrySize = 2;
inline constexpr size_t kLotMaxEntries = kLotSize / kLotEntrySize - 1;
inline constexpr uint16_t kLotUnused = 0xFFFF;  // filler after the last entry

struct LotRecord {
    // The offset / 8 of list IDs 1, 2, ... Callers keep the count within
    // kLotMaxEntries (entries past it are not written).
    std::vector<uint16_t> offsets8;

    // The kLotSize bytes of the table.
    std::vector<uint8_t> Encode() const;
    // Entries from list ID 1 up to the first unused one; nothing, with `why`
    // set, on a short table.
    static std::optional<LotRecord> Decode(std::span<const uint8_t> bytes, std::string* why = nullptr);

    bool operator==(const LotRecord&) const = default;
};

}  // namespace qorvcd
