// The fixed sectors of track 1 that hold the Video CD control files: the
// placement reserves them, the info files name them, the layout fills them.
#pragma once

#include <cstdint>

namespace qorvcd {

inline constexpr uint32_t kInfoSector = 150;
inline constexpr uint32_t kEntriesSector = 151;
inline constexpr uint32_t kLotSector = 152;
inline constexpr uint32_t kPsdSector = 184;
// The LOT work file fills sectors 152 to 183 exactly.
inline constexpr uint64_t kLotFileSize = uint64_t(kPsdSector - kLotSector) * 2048;

}  // namespace qorvcd
