// The ENTRIES table and the play lists that start at entry points: every
// track's first unit and every entry point placed in a track take the next
// entry, and the PSD play list that starts at an entry point gets that
// entry's play-item number. An entry point the track ends before is reported
// and the writing goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "assembly/track_observer_p.h"
#include "infofiles/entries_record.h"
#include "platform/file.h"

namespace qorvcd {

// The PSD work file, completed with the entry points' play-item numbers and
// finally copied into its reserved sectors.
class PsdPlayItems final : public TrackObserver {
public:
    PsdPlayItems(TrackWriteContext& writing, uint64_t position) : w_(writing), position_(position) {}

    bool Open();
    // Sets the play item of the play list at PSD offset `playList`.
    bool SetPlayItem(uint32_t playList, uint32_t playItem);

    bool Finish() override;

private:
    TrackWriteContext& w_;
    const uint64_t position_;
    File psd_;
    uint64_t length_ = 0;
};

class EntryPointRecorder final : public TrackObserver {
public:
    EntryPointRecorder(TrackWriteContext& writing, PsdPlayItems& psd, uint64_t position)
        : w_(writing), psd_(psd), position_(position) {}

    // Reads the ENTRIES work file: its header, the table's start.
    bool Open();

    bool BeginTrack(const TrackEntry& track, uint32_t firstSector) override;
    bool OnUnit(const TrackEntry& track, const TrackUnit& unit) override;
    void EndTrack(const TrackEntry& track) override;
    bool Finish() override;

private:
    bool AddEntry(uint32_t trackNumber, uint32_t sector);

    TrackWriteContext& w_;
    PsdPlayItems& psd_;
    const uint64_t position_;
    std::optional<EntriesTable> entries_;
    // In the current track:
    size_t nextEntryPoint_ = 0;
    uint32_t lastVideoSeconds_ = 0;
};

}  // namespace qorvcd
