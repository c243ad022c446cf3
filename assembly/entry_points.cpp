#include "assembly/entry_points_p.h"

#include <array>
#include <string>

#include "content/psd_compiler.h"
#include "content/track_list.h"
#include "core/build_context.h"
#include "core/sector_unit.h"
#include "image/container.h"
#include "infofiles/info_file_names.h"
#include "mpeg/pack_header.h"
#include "platform/bytes.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {
// A play list's play-item field, relative to its PSD descriptor.
constexpr uint32_t kPlayListItemField = 14;
}  // namespace

// ---------------------------------------------------------------- PSD

bool PsdPlayItems::Open() {
    const std::string path = w_.Build().workFolder + PsdFileName(w_.Kind());
    if (!psd_.Open(path, FileMode::ReadWrite)) return w_.CantOpen(path);
    length_ = psd_.Length();
    return true;
}

bool PsdPlayItems::SetPlayItem(uint32_t playList, uint32_t playItem) {
    if (uint64_t(playList) + kPlayListItemField + 2 > length_) {
        return w_.Fail(Format("Entry point play list at PSD offset %u lies outside the PSD (%llu bytes)", playList,
                              static_cast<unsigned long long>(length_)));
    }
    uint8_t item[2];
    PutBe16(item, uint16_t(playItem));
    psd_.Seek(uint64_t(playList) + kPlayListItemField);
    psd_.Write(item, sizeof item);
    return psd_.Ok() || w_.Fail(psd_.Error());
}

bool PsdPlayItems::Finish() {
    if (!w_.CheckReserved(position_, "PSD")) return false;
    w_.CopyIntoSectors(psd_, position_, nullptr);
    return true;
}

// ---------------------------------------------------------------- ENTRIES

bool EntryPointRecorder::Open() {
    const std::string path = w_.Build().workFolder + InfoFileNamesOf(w_.Kind()).entriesWorkFile;
    File file;
    if (!file.Open(path, FileMode::Read)) return w_.CantOpen(path);
    std::array<uint8_t, kInfoFileSize> bytes{};
    file.Read(bytes.data(), bytes.size());
    if (!file.Ok()) return w_.Fail(file.Error());
    entries_.emplace(bytes);
    return true;
}

bool EntryPointRecorder::BeginTrack(const TrackEntry& /*track*/, uint32_t /*firstSector*/) {
    nextEntryPoint_ = 0;
    lastVideoSeconds_ = 0;
    return true;
}

bool EntryPointRecorder::AddEntry(uint32_t trackNumber, uint32_t sector) {
    std::string error;
    return entries_->Add(trackNumber, sector, error) || w_.Fail(error);
}

// The track's first unit is its entry, whatever it holds. An entry point is
// placed on the first intra picture at or after its time.
bool EntryPointRecorder::OnUnit(const TrackEntry& track, const TrackUnit& unit) {
    if (unit.First()) return AddEntry(track.number, unit.sector);
    if (!unit.facts.video) return true;
    lastVideoSeconds_ = uint32_t(unit.facts.clockReference / double(kMpegClockHz));
    if (!unit.facts.iPicture || nextEntryPoint_ >= track.entryPoints.size()) return true;
    const EntryPoint& entry = track.entryPoints[nextEntryPoint_];
    if (int64_t(unit.facts.clockReference / kMpegClockTicksPerHundredth) < int64_t(entry.key)) return true;
    if (!AddEntry(track.number, unit.sector) || !psd_.SetPlayItem(entry.value, entries_->LastPlayItem())) {
        return false;
    }
    ++nextEntryPoint_;
    return true;
}

void EntryPointRecorder::EndTrack(const TrackEntry& track) {
    if (nextEntryPoint_ >= track.entryPoints.size()) return;
    w_.Build().LogLine(Format("Entry %d seconds doesn't be used, Video total time is only %d seconds",
                              int(track.entryPoints[nextEntryPoint_].key), int(lastVideoSeconds_)));
    w_.Build().LogLine(" ");
    w_.SetResult(kEntryPointBeyondTrack);
}

bool EntryPointRecorder::Finish() {
    if (!w_.CheckReserved(position_, "ENTRIES")) return false;
    w_.Image().WriteForm1UnitAt(position_, kLastDataSubheader, entries_->Bytes().data());
    return true;
}

}  // namespace qorvcd
