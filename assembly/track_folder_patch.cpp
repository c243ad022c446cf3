#include "assembly/track_folder_patch_p.h"

#include <span>
#include <string>

#include "content/track_list.h"
#include "image/container.h"
#include "platform/log_list.h"

namespace qorvcd {

bool TrackFolderPatch::Open(const std::optional<uint64_t>& position) {
    if (!position) return w_.Fail("The track folder's directory was not written");
    unitOffset_ = *position;
    return ReadUnit();
}

bool TrackFolderPatch::ReadUnit() {
    if (w_.Image().ReadImageAt(unitOffset_, unit_.data(), unit_.size())) return true;
    return w_.ImageOk() && w_.Fail("Can't read the track folder's directory");
}

bool TrackFolderPatch::BeginTrack(const TrackEntry& /*track*/, uint32_t firstSector) {
    const std::span<uint8_t, kTrackFileRecordSize> record(unit_.data() + kSubheaderSize + cursor_,
                                                          kTrackFileRecordSize);
    std::string found;
    if (!PutTrackFileExtent(record, TrackIdPrefix(w_.Kind()), firstSector, &found)) {
        // A build whose folder does not list the track cannot be finished.
        return w_.Fail(Format("%11s Name error!", found.c_str()));
    }
    cursor_ = NextTrackFileRecord(cursor_);
    if (cursor_ == 0) {
        w_.Image().WriteImageAt(unitOffset_, unit_.data(), unit_.size());
        unitOffset_ += kForm1UnitSize;
        if (!ReadUnit()) return false;
    }
    return w_.ImageOk();
}

bool TrackFolderPatch::Finish() {
    if (cursor_ != 0) w_.Image().WriteImageAt(unitOffset_, unit_.data(), unit_.size());
    return true;
}

}  // namespace qorvcd
