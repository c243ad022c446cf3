#include "assembly/cvd_track_table_p.h"

#include "content/track_list.h"
#include "core/sector_unit.h"
#include "image/container.h"
#include "platform/bytes.h"

namespace qorvcd {

namespace {
constexpr size_t kTrackCountField = 10;  // big-endian: video tracks + 5
constexpr uint16_t kTrackCountBias = 5;
constexpr size_t kFirstTrackEntry = 34;
constexpr size_t kTrackEntrySize = 4;  // track number - 1, BCD address
}  // namespace

uint64_t CvdTrackTable::UserData() const { return w_.Image().SystemAreaOffset() + kSubheaderSize; }

void CvdTrackTable::Open(size_t trackCount) {
    uint8_t count[2];
    PutBe16(count, uint16_t(trackCount + kTrackCountBias));
    w_.Image().WriteImageAt(UserData() + kTrackCountField, count, sizeof count);
}

bool CvdTrackTable::BeginTrack(const TrackEntry& track, uint32_t firstSector) {
    const size_t at = kFirstTrackEntry + kTrackEntrySize * entries_++;
    if (at + kTrackEntrySize > kForm1DataSize) return true;  // the track count is far lower
    uint8_t entry[kTrackEntrySize];
    entry[0] = uint8_t(track.number - 1);
    PutMsfBcd(entry + 1, firstSector);
    w_.Image().WriteImageAt(UserData() + at, entry, sizeof entry);
    return true;
}

}  // namespace qorvcd
