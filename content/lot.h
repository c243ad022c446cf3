// The LOT (list ID offset table): 32 sectors that map each list ID n to the
// offset / 8 of its descriptor in the PSD, stored big-endian at byte 2n.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qorvcd {

inline constexpr size_t kLotSize = 65536;        // 32 sectors of 2048 bytes
inline constexpr size_t kLotReservedOffset = 0;  // 2 bytes, 0
inline constexpr size_t kLotEntrySize = 2;
inline constexpr size_t kLotMaxEntries = kLotSize / kLotEntrySize - 1;
inline constexpr uint16_t kLotUnused = 0xFFFF;  // filler after the last entry

// `offsets8` holds the offset / 8 of list IDs 1, 2, ... Callers keep the
// count within kLotMaxEntries.
std::vector<uint8_t> BuildLot(const std::vector<uint16_t>& offsets8);

// Entries from list ID 1 up to the first unused one. False with `error` on a
// short table.
bool DecodeLot(const uint8_t* data, size_t size, std::vector<uint16_t>& offsets8,
               std::string& error);

}  // namespace qorvcd
