#include "iso9660/track_file_record.h"

#include <algorithm>
#include <cstring>

#include "core/sector_unit.h"

namespace qorvcd {

using namespace dirrec;

namespace {
// Identifier bytes a track-file record has room for.
constexpr size_t kIdentifierRoom = kTrackFileRecordSize - kIdentifier;
}  // namespace

size_t NextTrackFileRecord(size_t offset) {
    const size_t next = offset + kTrackFileRecordSize;
    return kForm1DataSize - next < kTrackFileRecordSize ? 0 : next;
}

bool PutTrackFileExtent(std::span<uint8_t, kTrackFileRecordSize> record, std::string_view prefix,
                        uint32_t extent, std::string* found) {
    const size_t idLength = record[kIdentifierLength];
    const char* id = reinterpret_cast<const char*>(record.data() + kIdentifier);
    if (record[kLength] != kTrackFileRecordSize || prefix.size() > kIdentifierRoom || idLength < prefix.size() ||
        std::memcmp(id, prefix.data(), prefix.size()) != 0) {
        if (found) found->assign(id, std::min(idLength, kIdentifierRoom));
        return false;
    }
    PutRecordExtent(record.data(), extent);
    return true;
}

}  // namespace qorvcd
