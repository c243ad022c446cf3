// What the video track writer shares with the parties that complete the disc
// as the tracks' sectors fall into place (entry points, search and scan
// points, the CVD track table, the track folder's records).
//
// The writer copies the tracks unit by unit and tells every observer, in the
// order they were given to it, where each track begins, what each unit was
// and where it went, and when each track and the whole writing end. An
// observer that cannot go on logs why and returns false: the writer stops.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "assembly/track_unit.h"
#include "core/disc_kind.h"
#include "core/results.h"

namespace qorvcd {

class File;
class ImageContainer;
struct BuildContext;
struct TrackEntry;

// The image, the build and the result the writing ends with.
class TrackWriteContext {
public:
    TrackWriteContext(ImageContainer& image, const BuildContext& ctx);

    ImageContainer& Image() const { return image_; }
    const BuildContext& Build() const { return ctx_; }
    DiscKind Kind() const;
    int Result() const { return result_; }
    void SetResult(int result) { result_ = result; }

    // Logs `line` and makes the result kStepFailed; returns false.
    bool Fail(const std::string& line);
    bool CantOpen(const std::string& name);
    // True while the image has no I/O error; else fails with it.
    bool ImageOk();
    // Fails, naming the file, when `position` says no sectors were reserved.
    bool CheckReserved(uint64_t position, const char* name);
    // Copies a work file into consecutive reserved Form 1 units; `patchFirst`
    // may adjust the first 2048 bytes on their way. A read error fails the
    // writing but the copy is complete as far as it goes.
    void CopyIntoSectors(File& file, uint64_t position, const std::function<void(uint8_t*)>& patchFirst);

private:
    ImageContainer& image_;
    const BuildContext& ctx_;
    int result_ = kOk;
};

// Each observer answers the calls it cares about; the others do nothing.
class TrackObserver {
public:
    virtual ~TrackObserver() = default;
    // The track starts at `firstSector`; its file is opened after this.
    virtual bool BeginTrack(const TrackEntry& /*track*/, uint32_t /*firstSector*/) { return true; }
    // A unit of the track was copied into the image.
    virtual bool OnUnit(const TrackEntry& /*track*/, const TrackUnit& /*unit*/) { return true; }
    // The track's last unit was copied.
    virtual void EndTrack(const TrackEntry& /*track*/) {}
    // Every track was written: what was completed goes into its sectors.
    virtual bool Finish() { return true; }
};

}  // namespace qorvcd
