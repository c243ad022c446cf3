// Real sector-mode material for the tests of the two MPEG sector writers: an
// ffmpeg stream packed into 2336-byte units, and files cut from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/sector_unit.h"
#include "session/disc_kind.h"

namespace qorvcd::test {

// The whole sector-mode file of a 3-second PAL stream (SVCD, or VCD for
// Vcd30), packed into `folder`.
std::vector<uint8_t> PackedStream(const std::string& folder, DiscKind kind);
// Writes units [first, first + count) of `units` to `path`; returns `path`.
std::string WriteUnits(const std::string& path, const std::vector<uint8_t>& units, size_t first,
                       size_t count);
inline size_t UnitCount(const std::vector<uint8_t>& units) { return units.size() / kSectorModeUnitSize; }
inline const uint8_t* UnitAt(const std::vector<uint8_t>& units, size_t i) {
    return units.data() + i * kSectorModeUnitSize;
}

}  // namespace qorvcd::test
